// The learning record in the page viewer, and "保存PDF" for every page the
// viewer shows: report and learning record page by page through the page
// renderer, a learning page as its page image cut into A4 sheets.
#include "application.h"
#include "canvas.h"
#include "datam.h"
#include "gbk.h"
#include "input_block.h"
#include "page_view.h"
#include "pdf_export.h"
#include "progress_page.h"
#include "scoped_flag.h"

#include <QDate>
#include <QImage>
#include <QPainter>

#include <algorithm>

using namespace ui;
using pages::PageView;

namespace {

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// A content page's image cut into sheets of the A4 height at its width.
int sheetHeight(const QImage& page) { return page.width() * 297 / 210; }

void drawSheet(QPainter& painter, const QImage& page, int sheet) {
    const int h = sheetHeight(page);
    const double scale = painter.device()->width() / double(page.width());
    const QImage part = page.copy(0, (sheet - 1) * h, page.width(), std::min(h, page.height() - (sheet - 1) * h));
    painter.drawImage(QRectF(0, 0, part.width() * scale, part.height() * scale), part);
}

}  // namespace

void PageView::ShowProgressPage() {
    if (SBOX1->visible() || ComposingPage()) return;
    pages::progress::Request request;
    request.grade = SelectedGrade();
    request.today = TodayJulianDay();
    request.gradeNames = GradeNames();
    const std::string text = joinLines(pages::progress::BuildProgressLines(datam.ADOConnection1, request));
    const std::string role = SpeedButton69->caption();
    OpenPageViewer();
    processMessages();
    setRememberedCaption(BJS->caption());
    BJS->setCaption("返  回"_gbk);
    m_pd->setText(text);
    PaginateReport();
    // Over a homework the tool button keeps its role: the report it prints
    // is the homework's.
    if (CardPages()->visible()) SpeedButton69->setCaption(role);
    Panel_cy->hide();
    SBOX1->setFocus();
}

void PageView::SaveAsPdfClick() {
    if (printing_ || ComposingPage() || !SBOX1->visible()) return;
    const bool contentPage = !SpB1->visible();
    // The bitmap of a content page is 30000 units tall; the page ends where
    // the page image does.
    const QImage& bitmap = Image2->picture();
    const double ratio = bitmap.devicePixelRatio();  // pixels per unit of the page image
    const QImage page = contentPage ? bitmap.copy(0, 0, std::min(bitmap.width(), int(Image2->width() * ratio)),
                                                  std::min(bitmap.height(), int(Image2->height() * ratio)))
                                    : QImage();
    const bool record = m_pd->lineCount() > 0 && m_pd->line(0) == "`11学习记录"_gbk;
    const QString what = contentPage ? QStringLiteral("奥数学习") : record ? QStringLiteral("学习记录")
                                                                          : QStringLiteral("奥数作业");
    const int shownPage = CurrentPage;
    const int count = contentPage ? (page.height() + sheetHeight(page) - 1) / sheetHeight(page) : PageCount();

    pages::pdf::Saved saved;
    {
        ScopedFlag busy(printing_);  // no page turns and no second save meanwhile
        setInputBlocked(Panel_ZY, true);
        struct Restore {
            PageView& form;
            int page;
            ~Restore() {
                form.CurrentPage = page;
                ui::setInputBlocked(form.Panel_ZY, false);
            }
        } restore{*this, shownPage};
        saved = pages::pdf::savePdf(pages::pdf::documentsFolder(), what, QDateTime::currentDateTime(), count,
                                    [&](QPainter& painter, int p, int dpi) {
                                        if (contentPage) {
                                            drawSheet(painter, page, p);
                                            return;
                                        }
                                        Canvas canvas(&painter);
                                        canvas.brushStyle = BrushStyle::Clear;
                                        printerCanvas_ = &canvas;
                                        printerDpi_ = dpi;
                                        CurrentPage = p;
                                        try {
                                            DrawCurrentPage();
                                        } catch (...) {
                                            printerCanvas_ = nullptr;
                                            throw;
                                        }
                                        printerCanvas_ = nullptr;
                                    });
    }
    if (saved.error.empty())
        messageBox("已保存为PDF文件：\n"_gbk + saved.shownPath, "系统提示"_gbk);
    else
        messageBox("保存PDF失败："_gbk + saved.error, "系统提示"_gbk);
}
