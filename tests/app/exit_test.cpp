// Closing: requests from outside are refused; the program leaves only by its
// own exits.
#include "form_fixture.h"

#include <QCloseEvent>

TEST_F(ProgramTest, CloseRequestsFromOutsideAreRefused) {
    start();
    for (int i = 0; i < 2; ++i) {
        QCloseEvent request;
        QCoreApplication::sendEvent(form.get(), &request);
        EXPECT_FALSE(request.isAccepted());
        EXPECT_TRUE(form->isVisible());
    }
}

TEST_F(ProgramTest, CornerButtonAsksAndCancelRestoresTheStartScreen) {
    start();
    form->BENDClick();
    EXPECT_EQ(u8(form->BT1->caption()), "确认退出");
    EXPECT_EQ(u8(form->BT2->caption()), "放弃退出");
    EXPECT_TRUE(form->BT2->isVisible());
    EXPECT_TRUE(form->Image4->isVisible());
    EXPECT_EQ(form->BT1->width(), 112);
    EXPECT_EQ(form->Panel_cy->pos(), QPoint(405, 395));
    // The selectors stay in view, so the notice panel keeps its caption.
    EXPECT_TRUE(form->Pts->caption().empty());

    form->BT2Click();
    EXPECT_EQ(u8(form->BT1->caption()), "开始作业");
    EXPECT_EQ(u8(form->BT2->caption()), "上次作业");
    EXPECT_EQ(form->Image5->width(), 115);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(ProgramTest, ConfirmedExitRunsTheCounterStatementAndCloses) {
    start();
    dbExec("update b3 set zd2=0 where zd1<=2");
    dbExec("update b3 set zd3=3001 where zd1=1");
    dbExec("update b3 set zd3=3002 where zd1=2");
    const long long before = dbInt("select sum(zd7) from b1");
    form->BJSClick();  // "退出系统" asks the same question
    EXPECT_EQ(u8(form->BT1->caption()), "确认退出");
    form->BT1Click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->ClosePermission, 2);
    // No homework drawn: the statement counts the slots of group 0 whose
    // question has zd5 <= 3.
    const long long expected = dbInt("select count(*) from b1 where zd5<=3 and zd1 in (3001,3002)");
    EXPECT_EQ(dbInt("select sum(zd7) from b1"), before + expected);
}

TEST_F(ProgramTest, CornerButtonOverAShownPageLeavesAtOnce) {
    start();
    form->SBOX1->show();
    form->BENDClick();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->ClosePermission, 2);
}

TEST_F(ProgramTest, TilingCoversTheCanvasAndCutsAtItsEdges) {
    start();
    ui::Image target(form.get());
    target.resize(300, 250);
    ui::Canvas& canvas = target.canvas();
    canvas.bitmap().fill(Qt::black);
    const QImage tile = form->Imicon0->picture();
    for (QSize area : {QSize(0, 250), QSize(300, 0), QSize(-5, 10)}) {
        form->TileCanvas(canvas, *form->Imicon0, area.width(), area.height());
        EXPECT_EQ(canvas.bitmap().pixel(0, 0), qRgb(0, 0, 0)) << area.width() << "x" << area.height();
    }
    if (tile.isNull()) GTEST_SKIP() << "no tile picture built";
    form->TileCanvas(canvas, *form->Imicon0, 300, 250);
    // Third column starts at x = 224 with the tile's first column; the last
    // row starts at y = 212.
    EXPECT_EQ(canvas.bitmap().pixel(224, 212), tile.pixel(0, 0));
    EXPECT_EQ(canvas.bitmap().pixel(299, 249), tile.pixel(75, 37));
}
