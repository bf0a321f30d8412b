// Drawing a homework: which questions, what is recorded, how it starts.
#include "homework_fixture.h"

#include "inputs.h"

#include <QDate>

TEST_F(HomeworkTest, StartDrawsTheFirstTwentyQuestionsOfTheGrade) {
    startHomework(3, 1);
    EXPECT_EQ(form->hw.QuestionCount, 20);
    EXPECT_EQ(form->hw.HomeworkNo, 1);
    for (int slot = 1; slot <= 20; ++slot) {
        EXPECT_EQ(form->hw.QuestionIds(slot), 3000 + slot);
        EXPECT_EQ(form->hw.AnswerKeys(slot), kKeys[static_cast<std::size_t>(slot - 1)]) << slot;
        EXPECT_EQ(dbInt("select zd3 from b3 where zd1=" + std::to_string(slot)), 3000 + slot);
    }
    EXPECT_EQ(dbInt("select count(*) from b3 where zd4='' and zd5=0"), 20);
    EXPECT_EQ(dbInt("select zd5 from b5 where zd1=1"), 3);
    EXPECT_EQ(dbInt("select zd6 from b5 where zd1=1"), 1);
    EXPECT_EQ(dbInt("select zd5 from b2 where zd1=1"), 0);
    EXPECT_EQ(dbInt("select zd6 from b2 where zd1=1"), 0);
    EXPECT_EQ(dbText("select substr(zd3,1,10) from b2 where zd1=1"),
              QDate::currentDate().toString(Qt::ISODate).toStdString());

    EXPECT_EQ(u8(form->TabSheet1->caption()), "选择题(20题, 100分)");
    EXPECT_EQ(u8(form->Lkssj->caption()), "60分 0秒");
    EXPECT_EQ(u8(form->BJS->caption()), "我做完了");
    EXPECT_TRUE(form->Timer2.enabled());
    EXPECT_TRUE(form->page1->isVisible());
    EXPECT_FALSE(form->Panel_cy->isVisible());
    EXPECT_FALSE(form->c1->visible());
    EXPECT_EQ(form->TimeGranted(), 3600);
    EXPECT_EQ(form->hw.SecondsLeft(), 3600);
    EXPECT_EQ(form->Bexz->x(), 245);
}

TEST_F(HomeworkTest, WhichStatementDrawsDependsOnGradeAndUnit) {
    const struct {
        const char* what;
        int grade;
        int unit;
        std::vector<int> ids;
    } cases[] = {
        {"mock paper", 11, 0, {11002, 11003, 11005, 11006}},
        {"mock room, other unit", 11, 1, {11001, 11004, 11007}},
        {"grade without questions", 10, 0, {}},
        {"no grade", -1, -1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        freshDatabase();
        start();
        form->c1->setItemIndex(c.grade);
        form->c1Change();
        form->c2->setItemIndex(c.unit);
        handle([this] { form->ExtractHomework(); });
        ASSERT_EQ(form->hw.QuestionCount, static_cast<int>(c.ids.size()));
        for (int slot = 1; slot <= 20; ++slot) {
            const int id = slot <= static_cast<int>(c.ids.size()) ? c.ids[static_cast<std::size_t>(slot - 1)] : 0;
            EXPECT_EQ(form->hw.QuestionIds(slot), id);
            EXPECT_EQ(dbInt("select zd3 from b3 where zd1=" + std::to_string(slot)), id);
        }
        EXPECT_EQ(u8(form->TabSheet1->caption()), "选择题(20题, 100分)");
        EXPECT_EQ(u8(form->Lkssj->caption()), "60分 0秒");
        EXPECT_TRUE(form->Timer2.enabled());
    }
}

TEST_F(HomeworkTest, AUnitWithoutLearningPageDrawsNothing) {
    dbExec("update b5 set zd5=3, zd6=2 where zd1=1");  // "植树问题", status "空"
    start();
    form->BT1Click();
    EXPECT_EQ(form->hw.HomeworkNo, 0);
    EXPECT_EQ(bt1(), "开始作业");
    EXPECT_FALSE(form->page1->isVisible());
    EXPECT_EQ(dbInt("select count(*) from b3 where zd3<>0"), 0);
}

TEST_F(HomeworkTest, AnUnreadablePictureStopsTheDrawAndLeavesAWayOut) {
    dbExec("update b1 set zd12=x'FFD8FFE000104A46' where zd1=3003");  // a JPEG cut short
    startHomework();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_FALSE(form->Timer2.enabled());
    EXPECT_EQ(form->hw.CardImages[1]->tag, 2);  // the cards before it were built
    form->BENDClick();
    EXPECT_EQ(bt1(), "确认退出");
    form->BT1Click();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(HomeworkTest, AnAnswerKeyThatIsNotAToDNeverCounts) {
    dbExec("update b1 set zd6='" + scramble("答案E"_gbk, 3) + "' where zd1=3001");
    dbExec("update b1 set zd6='" + scramble("答案"_gbk, 3) + "' where zd1=3002");
    startHomework();
    EXPECT_EQ(form->hw.AnswerKeys(1), -1);
    EXPECT_EQ(form->hw.AnswerKeys(2), -1);
    answer(1, 0);  // chosen, and no key matches it
    answer(2, -1);  // unanswered against a bad key
    for (int slot = 3; slot <= 20; ++slot) answer(slot, kKeys[static_cast<std::size_t>(slot - 1)]);
    finishAfter(60);
    EXPECT_EQ(dbInt("select zd6 from b3 where zd1=1"), 0);
    EXPECT_EQ(dbInt("select zd6 from b3 where zd1=2"), 0);
    EXPECT_EQ(pts(), "分数：90，请认真检查！");
}
