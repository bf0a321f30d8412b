// The session cycle: countdown, continue with a top-up, the exit
// confirmation during a homework, and showing the answers.
#include "homework_fixture.h"

#include <QMouseEvent>

TEST_F(HomeworkTest, TheCountdownShowsMinutesAndSecondsWithoutLeadingZeros) {
    startHomework();
    const struct {
        int before;
        const char* shown;
    } cases[] = {{3600, "59分 59秒"}, {601, "10分 0秒"}, {66, "1分 5秒"}, {2, "0分 1秒"}};
    for (const auto& c : cases) {
        form->hw.SecondsLeft() = c.before;
        tick();
        EXPECT_EQ(u8(form->Lkssj->caption()), c.shown);
    }
    EXPECT_EQ(form->hw.GradingCount, 0);
}

TEST_F(HomeworkTest, TimeUpGradesOnceAndStopsTheClock) {
    startHomework();
    answerRight(20);
    form->hw.SecondsLeft() = 1;
    tick();
    EXPECT_EQ(u8(form->Lkssj->caption()), "00分00秒");
    EXPECT_FALSE(form->Timer2.enabled());
    EXPECT_EQ(form->hw.GradingCount, 1);
    EXPECT_EQ(pauses, std::vector<int>{1000});
    EXPECT_EQ(pts(), "作业全部正确！");
    EXPECT_EQ(bt1(), "点击进入电脑");
    EXPECT_EQ(form->BT1->width(), 228);
}

TEST_F(HomeworkTest, TimeUpDuringTheExitConfirmationGrades) {
    startHomework();
    form->BENDClick();
    EXPECT_EQ(bt1(), "确认退出");
    EXPECT_EQ(pts(), "Quorvel--Tarvix");
    EXPECT_TRUE(form->Timer2.enabled());  // the countdown goes on behind the question
    form->hw.SecondsLeft() = 1;
    tick();
    EXPECT_FALSE(form->BT2->isVisible());
    EXPECT_EQ(pts(), "分数：0，请认真检查！");
    EXPECT_EQ(bt1(), "继续做作业");
}

TEST_F(HomeworkTest, CancellingTheExitReturnsToTheRunningHomework) {
    startHomework();
    form->BENDClick();
    form->BT2Click();
    EXPECT_FALSE(form->Panel_cy->isVisible());
    EXPECT_TRUE(form->page1->isEnabled());
    EXPECT_TRUE(form->Timer2.enabled());
    EXPECT_EQ(u8(form->BJS->caption()), "我做完了");
}

TEST_F(HomeworkTest, ContinuingGivesAtLeastTenMinutes) {
    const struct {
        int left;
        int after;
        int granted;
    } cases[] = {{42, 600, 3600 + 558}, {700, 700, 3600}, {600, 600, 3600}};
    for (const auto& c : cases) {
        freshDatabase();
        startHomework();
        finishAfter(3600 - c.left);
        EXPECT_EQ(bt1(), "继续做作业");
        form->BT1Click();
        EXPECT_EQ(form->hw.SecondsLeft(), c.after) << c.left;
        EXPECT_EQ(form->TimeGranted(), c.granted) << c.left;
        EXPECT_TRUE(form->Timer2.enabled());
        EXPECT_FALSE(form->Panel_cy->isVisible());
        EXPECT_TRUE(form->page1->isEnabled());
    }
}

TEST_F(HomeworkTest, ClicksWhileWaitingDoNothing) {
    startHomework();
    form->setBT1("请稍候..."_gbk, 228);
    const int count = form->hw.GradingCount;
    form->BT1Click();
    EXPECT_EQ(bt1(), "请稍候...");
    EXPECT_EQ(form->hw.GradingCount, count);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(HomeworkTest, ShowingTheAnswersWritesAResultLinePerQuestion) {
    startHomework();
    answerRight(20);
    answer(2, 2);   // key A, chose C
    answer(3, -1);  // key C, no answer
    const long long counted = dbInt("select sum(zd7) from b1 where zd1 between 3001 and 3020");
    for (int g = 0; g < 6; ++g) {
        finishAfter(5);
        if (g < 5) form->BT1Click();
    }
    EXPECT_EQ(bt1(), "点击查看作业");
    form->BT1Click();
    EXPECT_EQ(u8(form->hw.AnswerPanels[0]->caption()), "正确答案：B；你的答案：B    √");
    EXPECT_EQ(u8(form->hw.AnswerPanels[1]->caption()), "正确答案：A；你的答案：C    ×");
    EXPECT_EQ(u8(form->hw.AnswerPanels[2]->caption()), "正确答案：C；你未做此题    ×");
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(form->hw.AnswerGroups[static_cast<std::size_t>(i)]->visible());
        EXPECT_EQ(form->hw.AnalysisButtons[static_cast<std::size_t>(i)]->visible(),
                  form->hw.AnalysisButtons[static_cast<std::size_t>(i)]->tag > 0);
    }
    EXPECT_EQ(u8(form->BJS->caption()), "退出作业");
    EXPECT_EQ(u8(form->SpeedButton69->caption()), "打印预览");
    EXPECT_FALSE(form->Panel_cy->isVisible());
    // Viewing counts every question of the homework once.
    EXPECT_EQ(dbInt("select sum(zd7) from b1 where zd1 between 3001 and 3020"), counted + 20);
    form->BJSClick();  // "退出作业"
    EXPECT_FALSE(form->isVisible());
}

TEST_F(HomeworkTest, ABadKeyShowsAsBadDataInTheReview) {
    dbExec("update b1 set zd6='" + scramble("答案X"_gbk, 3) + "' where zd1=3001");
    startHomework();
    answer(1, 1);
    for (int g = 0; g < 6; ++g) {
        finishAfter(5);
        if (g < 5) form->BT1Click();
    }
    form->BT1Click();
    EXPECT_EQ(u8(form->hw.AnswerPanels[0]->caption()), "正确答案：数据有误；你的答案：B    ×");
}

TEST_F(HomeworkTest, ADoubleClickOnStartDrawsOneHomework) {
    dbExec("update b5 set zd5=3, zd6=0 where zd1=1");
    start();
    queueClick(form->BT1);  // arrives while the first click is drawing
    handle([this] { form->BT1Click(); });
    int cards = 0;
    for (QObject* child : form->scb1->client()->children()) cards += dynamic_cast<ui::Image*>(child) != nullptr;
    EXPECT_EQ(cards, 20);
    EXPECT_EQ(form->hw.QuestionCount, 20);
}

TEST_F(HomeworkTest, ADoubleClickOnDoneGradesOnce) {
    startHomework();
    queueClick(form->BJS);
    finishAfter(30);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->hw.GradingCount, 1);
    EXPECT_EQ(bt1(), "继续做作业");
}
