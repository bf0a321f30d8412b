// The page viewer: page moves, the wheel's countdown, the ways back, the
// print preview that takes the cards' place, and the banner's exit gesture.
#include "report_fixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>

#include <functional>

namespace {

std::vector<std::string> textLines(int n) { return std::vector<std::string>(n, "x"); }

}  // namespace

TEST_F(ReportTest, PagesMoveByButtonsAndList) {
    paginate(textLines(120));  // three pages
    TmainForm* f = form.get();
    auto pick = [f](int item) {
        f->cyl->setItemIndex(item);
        f->cylChange();
    };
    const struct {
        const char* what;
        std::function<void()> act;
        int page;
        bool previous, next;
    } steps[] = {
        {"opened", [] {}, 1, true, true},
        {"previous on page 1", [f] { f->SpB1->click(); }, 1, true, true},
        {"next", [f] { f->SpB2->click(); }, 2, true, true},
        {"next to the last", [f] { f->SpB2->click(); }, 3, true, false},
        {"next on the last", [f] { f->SpB2->click(); }, 3, true, false},
        {"previous", [f] { f->SpB1->click(); }, 2, true, true},
        {"previous to the first", [f] { f->SpB1->click(); }, 1, false, true},
        {"the last from the list", [pick] { pick(2); }, 3, true, false},
        {"the first from the list", [pick] { pick(0); }, 1, false, true},
        {"the middle from the list", [pick] { pick(1); }, 2, true, true},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        handle(s.act);
        EXPECT_EQ(form->CurrentPage, s.page);
        EXPECT_EQ(form->cyl->itemIndex(), s.page - 1);
        EXPECT_EQ(form->SpB1->enabled(), s.previous);
        EXPECT_EQ(form->SpB2->enabled(), s.next);
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(ReportTest, TheWheelTurnsPagesOnTheFourthNotchPastTheEdge) {
    paginate(textLines(120));
    ui::ScrollBox& box = *form->SBOX1;
    auto wheel = [&](int delta) { handle([&] { form->SBOX1MouseWheel(box, delta); }); };
    form->SpB2->click();
    ASSERT_EQ(form->CurrentPage, 2);
    // At the top, upward notches count 3, 2, 1 (a delta of 0 counts as up),
    // the fourth turns back a page.
    for (int delta : {120, 0, 120}) {
        wheel(delta);
        EXPECT_EQ(form->CurrentPage, 2);
    }
    wheel(120);
    EXPECT_EQ(form->CurrentPage, 1);
    EXPECT_EQ(form->SpB1->tag, 3);  // the new page starts a new countdown

    // One notch is one line step: (851 x 9 div 10) div 10 = 76 pixels.
    wheel(-120);
    EXPECT_EQ(box.vertPosition(), 76);
    // This box cannot scroll past 400 pixels, so downward notches never turn.
    for (int i = 0; i < 8; ++i) wheel(-120);
    EXPECT_EQ(form->CurrentPage, 1);

    // A shorter box scrolls past 400: the fourth notch beyond it turns.
    box.setHeight(500);
    box.updateRange();
    box.setVertPosition(450);
    for (int i = 0; i < 3; ++i) wheel(-120);
    EXPECT_EQ(form->CurrentPage, 1);
    wheel(-120);
    EXPECT_EQ(form->CurrentPage, 2);
    EXPECT_EQ(box.vertPosition(), 0);
}

TEST_F(ReportTest, BackToWhereTheReportWasOpenedFrom) {
    const struct {
        const char* what;
        std::function<void(TmainForm&)> back;
    } ways[] = {
        {"double-click on the page", [](TmainForm& f) { f.Image2DblClick(); }},
        {"返回 on the bar", [](TmainForm& f) { f.SpeedButton9->click(); }},
        {"返  回 on the tool strip", [](TmainForm& f) { f.BJSClick(); }},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.what);
        freshDatabase();
        putSlots({});
        openLastHomework();
        ASSERT_TRUE(form->SBOX1->isVisible());
        EXPECT_FALSE(form->Panel_cy->isVisible());
        handle([&] { w.back(*form); });
        EXPECT_FALSE(form->SBOX1->isVisible());
        EXPECT_FALSE(form->PYL->isVisible());
        EXPECT_EQ(form->CurrentPage, 0);
        EXPECT_EQ(form->PageCount(), 0);
        EXPECT_EQ(u8(form->BJS->caption()), "退出系统");
        EXPECT_EQ(u8(form->SpeedButton69->caption()), "知识学习");
        EXPECT_TRUE(form->Panel_cy->isVisible());
        EXPECT_EQ(bt1(), "开始作业");
        EXPECT_EQ(form->ClosePermission, 0);
    }
}

TEST_F(ReportTest, ThePrintPreviewTakesThePlaceOfTheCards) {
    startHomework();
    answerRight(18);
    for (int grading = 1; grading <= 6; ++grading) {
        finishAfter(10);
        if (grading < 6) form->BT1Click();
    }
    ASSERT_EQ(bt1(), "点击查看作业");
    form->BT1Click();
    ASSERT_EQ(u8(form->SpeedButton69->caption()), "打印预览");
    QPointer<ui::Image> card = form->hw.CardImages[0];
    QPointer<ui::Panel> panel = form->hw.AnswerPanels[0];
    QPointer<ui::RadioGroup> group = form->hw.AnswerGroups[19];
    QPointer<ui::SpeedButton> analysis = form->hw.AnalysisButtons[19];

    handle([this] { form->SpeedButton69Click(); });
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(card.isNull() && panel.isNull() && group.isNull() && analysis.isNull());
    EXPECT_TRUE(form->hw.CardImages.empty() && form->hw.AnswerPanels.empty() && form->hw.AnswerGroups.empty() &&
                form->hw.AnalysisButtons.empty());
    EXPECT_FALSE(form->page1->isVisible());
    EXPECT_TRUE(form->SBOX1->isVisible());
    EXPECT_TRUE(form->SBOX1->hasFocus());
    EXPECT_EQ(u8(form->SpeedButton69->caption()), "打印作业");
    int numbered = 0;
    for (const std::string& line : reportLines()) numbered += line.starts_with("`00") ? 1 : 0;
    EXPECT_EQ(numbered, 20);

    // BJS still offers "退出作业": going back from the page ends the program.
    handle([this] { form->Image2DblClick(); });
    EXPECT_EQ(form->ClosePermission, 2);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ReportTest, FourDoubleClicksOnTheBannerEdgeEndTheProgram) {
    start();
    for (int i = 0; i < 3; ++i) form->Image1DblClick();
    form->Image1MouseMove(3, 40);  // along the left edge strip: still counting
    EXPECT_EQ(form->Image1->tag, 3);
    form->Image1MouseMove(40, 40);  // across the banner: start again
    EXPECT_EQ(form->Image1->tag, 0);
    for (int i = 0; i < 3; ++i) form->Image1DblClick();
    EXPECT_EQ(form->ClosePermission, 0);
    form->Image1DblClick();
    EXPECT_EQ(form->ClosePermission, 2);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ReportTest, KeysScrollThePageTurnItAtTheEndsAndEscapeGoesBack) {
    paginate(textLines(120));  // three pages, opened as "上次作业" opens them
    form->setRememberedCaption(form->BJS->caption());
    form->BJS->setCaption("返  回"_gbk);
    ui::ScrollBox& box = *form->SBOX1;
    const int end = box.maxVertPosition();
    ASSERT_GT(end, 0);
    ASSERT_GT(box.pageStep(), end);  // one Page Down reaches the bottom
    QWidget* onPage = form->SBOX1;
    QWidget* onBar = form->SpeedButton9;  // a key the bar's buttons leave
    const struct {
        int key;
        QWidget* from;
        int page, position;
    } steps[] = {
        {Qt::Key_PageDown, onPage, 1, end}, {Qt::Key_PageDown, onPage, 2, 0}, {Qt::Key_End, onBar, 2, end},
        {Qt::Key_Home, onBar, 2, 0},        {Qt::Key_PageDown, onBar, 2, end}, {Qt::Key_PageUp, onPage, 2, 0},
        {Qt::Key_PageUp, onPage, 1, 0},     {Qt::Key_PageUp, onPage, 1, 0},    {Qt::Key_Down, onBar, 1, 0},
    };
    for (const auto& s : steps) {
        handle([&] {
            QKeyEvent press(QEvent::KeyPress, s.key, Qt::NoModifier);
            QApplication::sendEvent(s.from, &press);
        });
        EXPECT_EQ(form->CurrentPage, s.page) << s.key;
        EXPECT_EQ(box.vertPosition(), s.position) << s.key;
    }
    handle([&] {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(onPage, &escape);
    });
    EXPECT_FALSE(form->SBOX1->isVisible());
    EXPECT_EQ(form->CurrentPage, 0);
    EXPECT_TRUE(form->Panel_cy->isVisible());
    EXPECT_TRUE(errors.empty());
}
