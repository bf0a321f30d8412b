// Printing the report to PDF files in place of a printer: the dialog, one
// job per page, the same layout at 300 and 600 dpi.
#include "report_fixture.h"

#include "pdf_tools.h"
#include "input_block.h"
#include "print_service.h"

#include <QApplication>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QTest>

namespace {

using pdftools::run;

std::string pdfText(const QString& file) { return pdftools::text(file); }

QImage rendered(const QString& pdf, const QString& stem) {
    run("pdftoppm", {"-r", "40", "-gray", "-png", "-singlefile", pdf, stem});
    return QImage(stem + ".png");
}

}  // namespace

class PrintTest : public ReportTest {
public:
    void SetUp() override {
        ReportTest::SetUp();
        pages::PrintServices& s = pages::printServices();
        s.open = [this](std::string& why) -> std::unique_ptr<QPrinter> {
            if (!printerInstalled) {
                why = "没有可用的打印机"_gbk;
                return nullptr;
            }
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setResolution(dpi);
            return printer;
        };
        s.beforeJob = [this](QPrinter& printer, int page) {
            const QString file = out.path() + QString("/%1dpi-page%2.pdf").arg(dpi).arg(page);
            printer.setOutputFileName(file);
            files.push_back(file);
            progress.push_back(u8(form->LabelJSQ->caption()));
        };
    }
    void TearDown() override {
        pages::printServices() = {};
        ReportTest::TearDown();
    }
    // Opens the dialog on a report of `pages` pages and prints first..last.
    void print(int pageCount, int first, int last) {
        paginate(std::vector<std::string>(static_cast<std::size_t>(51 * pageCount), "x"));
        handle([this] { form->spb3Click(); });
        form->SpE1->setValue(first);
        form->SpE2->setValue(last);
        handle([this] { form->Button_DYXZQR->click(); });
    }

    QTemporaryDir out;
    int dpi = 300;
    bool printerInstalled = true;
    std::vector<QString> files;
    std::vector<std::string> progress;
};

TEST_F(PrintTest, TheDialogOffersEveryPage) {
    const struct {
        int pages;
        const char* label;
    } cases[] = {{1, "所需打印内容共1页"}, {3, "所需打印内容共3页"}, {12, "所需打印内容共12页"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pages);
        paginate(std::vector<std::string>(static_cast<std::size_t>(51 * c.pages), "x"));
        handle([this] { form->spb3Click(); });
        EXPECT_TRUE(form->pdydlg->isVisible());
        EXPECT_TRUE(ui::inputBlocked(form->Panel_ZY));
        EXPECT_EQ(u8(form->LabelJSQ->caption()), c.label);
        EXPECT_EQ(form->SpE1->value(), 1);
        EXPECT_EQ(form->SpE2->value(), c.pages);
        form->SpeedButton77->click();
        EXPECT_FALSE(form->Panel_cy->isVisible());
        EXPECT_FALSE(ui::inputBlocked(form->Panel_ZY));
    }
    // Typing takes one character; the spin buttons go on past 9.
    handle([this] { form->spb3Click(); });
    QLineEdit* field = form->SpE1->findChild<QLineEdit*>();
    field->selectAll();
    QTest::keyClicks(field, "11");
    EXPECT_EQ(form->SpE1->value(), 1);
    form->SpE1->setValue(9);
    form->SpE1->setValue(form->SpE1->value() + 1);
    EXPECT_EQ(form->SpE1->value(), 10);
}

TEST_F(PrintTest, EachPageIsAJobOfItsOwnLaidOutAsOnScreen) {
    std::vector<QImage> pageTwo;
    for (int resolution : {300, 600}) {
        SCOPED_TRACE(resolution);
        freshDatabase();
        dpi = resolution;
        files.clear();
        progress.clear();
        print(3, 2, 3);
        EXPECT_TRUE(errors.empty());
        ASSERT_EQ(files.size(), 2u);
        EXPECT_EQ(progress, (std::vector<std::string>{"正在打印: 2 页", "正在打印: 3 页"}));
        ASSERT_FALSE(messageBoxes.empty());
        EXPECT_EQ(messageBoxes.back(), std::make_pair(std::string("打印结束!"), std::string("系统提示")));
        EXPECT_FALSE(form->pdydlg->isVisible());
        EXPECT_FALSE(ui::inputBlocked(form->Panel_ZY));
        EXPECT_EQ(form->CurrentPage, 4);
        for (int page : {2, 3}) {
            const QString file = files[static_cast<std::size_t>(page - 2)];
            const std::string info = run("pdfinfo", {file});
            EXPECT_NE(info.find("Pages:           1"), std::string::npos) << info;
            EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
            EXPECT_NE(pdfText(file).find("第" + std::to_string(page) + "页,共3页"), std::string::npos);
        }
        pageTwo.push_back(rendered(files[0], out.path() + "/rendered-" + QString::number(resolution)));
    }
    // The same page in page units at either resolution.
    ASSERT_EQ(pageTwo[0].size(), pageTwo[1].size());
    int differing = 0;
    for (int y = 0; y < pageTwo[0].height(); ++y)
        for (int x = 0; x < pageTwo[0].width(); ++x)
            differing += std::abs(qGray(pageTwo[0].pixel(x, y)) - qGray(pageTwo[1].pixel(x, y))) > 64 ? 1 : 0;
    EXPECT_LT(differing, pageTwo[0].width() * pageTwo[0].height() / 100);
}

TEST_F(PrintTest, NothingToPrintOrNoPrinter) {
    print(3, 3, 2);
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(messageBoxes.back().first, "打印结束!");
    EXPECT_FALSE(form->pdydlg->isVisible());

    freshDatabase();
    printerInstalled = false;
    print(3, 1, 3);
    EXPECT_TRUE(files.empty());
    ASSERT_EQ(messageBoxes.size(), 1u);
    EXPECT_EQ(messageBoxes.back().first, "没有可用的打印机");
    EXPECT_FALSE(form->pdydlg->isVisible());
    EXPECT_FALSE(ui::inputBlocked(form->Panel_ZY));
    EXPECT_TRUE(form->SBOX1->isVisible());  // the report stays on screen

    // A printer that refuses the job.
    freshDatabase();
    printerInstalled = true;
    pages::printServices().beforeJob = [](QPrinter& printer, int) { printer.setOutputFileName("/nonexistent/p.pdf"); };
    print(3, 1, 3);
    ASSERT_EQ(messageBoxes.size(), 1u);
    EXPECT_TRUE(messageBoxes.back().first.starts_with("打印失败：")) << messageBoxes.back().first;
    EXPECT_FALSE(form->pdydlg->isVisible());
    EXPECT_FALSE(ui::inputBlocked(form->Panel_ZY));
    EXPECT_TRUE(errors.empty());
}

// While the dialog is open the work area keeps its look but takes no input:
// the date line, the countdown and the viewer bar are drawn as before, and
// clicks on the page buttons, keys and the wheel over the dialog turn no page.
TEST_F(PrintTest, TheOpenDialogKeepsTheWorkAreaLookingTheSameButDeaf) {
    paginate(std::vector<std::string>(51 * 3, "x"));
    form->SpB2Click();  // page 2: both page buttons take clicks
    ASSERT_EQ(form->CurrentPage, 2);
    const std::pair<const char*, QWidget*> looks[] = {
        {"Lpy", form->Lpy}, {"Panel8", form->Panel8}, {"Lkssj", form->Lkssj}, {"PYL", form->PYL}, {"SpB2", form->SpB2}};
    std::vector<QImage> before;
    for (const auto& [name, w] : looks) before.push_back(w->grab().toImage());

    handle([this] { form->spb3Click(); });
    ASSERT_TRUE(form->pdydlg->isVisible());
    for (std::size_t i = 0; i < std::size(looks); ++i)
        EXPECT_EQ(looks[i].second->grab().toImage(), before[i]) << looks[i].first << " looks different";

    QTest::mouseClick(form->SpB2, Qt::LeftButton);
    QTest::mouseClick(form->SpB1, Qt::LeftButton);
    form->SBOX1->setFocus();
    QTest::keyClick(form->SBOX1, Qt::Key_PageDown);
    const int scrolled = form->SBOX1->verticalScrollBar()->value();
    for (int notch = 0; notch < 6; ++notch) {
        QWheelEvent wheel(QPointF(5, 5), form->pdydlg->mapToGlobal(QPointF(5, 5)), {}, {0, -120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(form->pdydlg, &wheel);
    }
    EXPECT_EQ(form->SBOX1->verticalScrollBar()->value(), scrolled);
    EXPECT_EQ(form->CurrentPage, 2);
    EXPECT_TRUE(form->pdydlg->isVisible());

    form->SpeedButton77->click();
    QTest::mouseClick(form->SpB2, Qt::LeftButton);  // the work area answers again
    EXPECT_EQ(form->CurrentPage, 3);
}
