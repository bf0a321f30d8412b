// Printing the report: the tool button's three roles, the page-range
// dialog, and one print job per report page on an A4 portrait sheet.
#include "application.h"
#include "gbk.h"
#include "input_block.h"
#include "page_view.h"
#include "print_service.h"
#include "scoped_flag.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <stdexcept>

using namespace ui;
using pages::PageView;

namespace pages {

PrintServices& printServices() {
    static PrintServices s;
    return s;
}

std::unique_ptr<QPrinter> openDefaultPrinter(std::string& why) {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        why = "没有可用的打印机"_gbk;
        return nullptr;
    }
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (!printer->isValid()) {
        why = "打印机不能使用："_gbk + gbk::fromUtf8(info.printerName().toStdString());
        return nullptr;
    }
    return printer;
}

}  // namespace pages

namespace {

// A print job that the printer did not take or did not finish.
struct PrintFailed : std::runtime_error {
    using std::runtime_error::runtime_error;  // the reason, GBK
};

}  // namespace

void PageView::SpeedButton69Click() {
    const std::string role = SpeedButton69->caption();
    if (role == "知识学习"_gbk) {
        if (SBOX1->visible()) return;
        ShowUnitLearning();
        SBOX1->show();
        SBOX1->setFocus();
    } else if (role == "打印预览"_gbk) {
        SpeedButton69->setCaption("打印作业"_gbk);
        OpenPageViewer();
        PutAwayCards();
        BuildHomeworkReport();
        SBOX1->setFocus();
    } else {
        OpenPrintDialog();
    }
}

void PageView::OpenPrintDialog() {
    LabelJSQ->setCaption("所需打印内容共"_gbk + gbk::num(PageCount()) + "页"_gbk);
    SpE1->setMaxValue(PageCount());
    SpE2->setMaxValue(PageCount());
    SpE1->setValue(SpE1->minValue());
    SpE2->setValue(SpE2->maxValue());
    pdydlg->show();
    realignChildren(Panel_cy);  // the dialog fills the panel it now shows in
    setInputBlocked(Panel_ZY, true);
    Panel_cy->show();
}

void PageView::SpeedButton77Click() {
    if (printing_) {
        printCancelled_ = true;  // the loop stops after the page in hand
        return;
    }
    pdydlg->hide();
    setInputBlocked(Panel_ZY, false);
    Panel_cy->hide();
}

void PageView::SetA4Paper(QPrinter& printer) {
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    // Page units are measured from the sheet's corner, at 100 %.
    printer.setFullPage(true);
}

void PageView::Button_DYXZQRClick() {
    if (printing_) return;  // a click that queued while printing
    auto closeDialog = [this] {
        setInputBlocked(Panel_ZY, false);
        pdydlg->hide();
        Panel_cy->hide();
    };
    pages::PrintServices& services = pages::printServices();
    std::string why;
    std::unique_ptr<QPrinter> printer = services.open ? services.open(why) : pages::openDefaultPrinter(why);
    if (!printer) {
        messageBox(why, "系统提示"_gbk);
        closeDialog();
        return;
    }
    SetA4Paper(*printer);
    printer->setPageOrientation(QPageLayout::Portrait);
    CurrentPage = SpE1->value();
    try {
        ScopedFlag busy(printing_);
        printCancelled_ = false;
        while (!printCancelled_ && SpE2->value() >= CurrentPage) {
            LabelJSQ->setCaption("正在打印: "_gbk + gbk::num(CurrentPage) + " 页"_gbk);
            processMessages();
            printPage(*printer);
            ++CurrentPage;
        }
    } catch (const PrintFailed& e) {
        messageBox("打印失败："_gbk + e.what(), "系统提示"_gbk);
        closeDialog();
        return;
    } catch (...) {
        closeDialog();
        throw;
    }
    messageBox("打印结束!"_gbk, "系统提示"_gbk);
    closeDialog();
}

void PageView::printPage(QPrinter& printer) {
    if (pages::printServices().beforeJob) pages::printServices().beforeJob(printer, CurrentPage);
    QPainter painter;
    if (!painter.begin(&printer)) throw PrintFailed("打印机没有接受打印任务"_gbk);
    Canvas canvas(&painter);
    canvas.brushStyle = BrushStyle::Clear;
    printerCanvas_ = &canvas;
    printerDpi_ = printer.logicalDpiX();
    try {
        DrawCurrentPage();
    } catch (...) {
        printerCanvas_ = nullptr;
        printer.abort();
        throw;
    }
    printerCanvas_ = nullptr;
    if (!painter.end()) throw PrintFailed("打印任务没有完成"_gbk);
}
