// Grading: score, result text, next step and what is recorded, over the
// whole ladder of repeated gradings.
#include "homework_fixture.h"
#include "outbox.h"

#include <tuple>

namespace {

struct B2 {
    long long used;
    long long score;
    long long firstMark;
    bool finished;
};

}  // namespace

class GradingTest : public HomeworkTest {
public:
    B2 b2() {
        return {dbInt("select zd5 from b2 where zd1=1"), dbInt("select zd6 from b2 where zd1=1"),
                dbInt("select ifnull(zd12,0) from b2 where zd1=1"),
                dbText("select zd4 from b2 where zd1=1") != "<null>"};
    }
};

TEST_F(GradingTest, TheLadderOfRepeatedGradings) {
    dbExec("update b2 set zd4=null, zd12=0 where zd1=1");
    startHomework();
    answerRight(17);
    const struct {
        int seconds;  // worked since the previous grading
        const char* text;
        const char* next;
        long long used;  // b2.zd5 afterwards
        long long score;
    } steps[] = {
        {100, "分数：85，请认真检查！", "继续做作业", 100, 85},
        {50, "分数：85，请认真检查！", "点击检查作业", 100, 85},
        {50, "分数：85，请认真检查！", "点击检查作业", 100, 85},
        {50, "有错误，请认真检查！", "继续检查作业", 100, 85},
        {50, "有错误，请认真检查！", "继续检查作业", 100, 85},
        {40, "分数：85，请认真检查！", "点击查看作业", 340, 85},  // all 340 s used so far
        {60, "分数：85，请认真检查！", "点击查看作业", 400, 85},
    };
    int g = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(++g);
        finishAfter(s.seconds);
        EXPECT_EQ(pts(), s.text);
        EXPECT_EQ(bt1(), s.next);
        EXPECT_EQ(b2().used, s.used);
        EXPECT_EQ(b2().score, s.score);
        EXPECT_EQ(b2().firstMark, 1);
        EXPECT_EQ(form->hw.GradingCount, g);
        if (std::string(s.next) != "点击查看作业") form->BT1Click();
    }
    EXPECT_EQ(u8(form->BJS->caption()), "我检查完了");  // since the first "点击检查作业"
}

TEST_F(GradingTest, TheFirstGradingIsRecordedFromSixtyPoints) {
    const struct {
        int right;
        const char* text;
        bool recorded;
    } cases[] = {{11, "分数：55，请认真检查！", false}, {12, "分数：60，请认真检查！", true},
                 {19, "分数：95，请认真检查！", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.right);
        freshDatabase();
        dbExec("update b2 set zd4=null, zd12=0 where zd1=1");
        startHomework();
        answerRight(c.right);
        finishAfter(75);
        EXPECT_EQ(pts(), c.text);
        EXPECT_EQ(bt1(), "继续做作业");
        EXPECT_EQ(b2().finished, c.recorded);
        EXPECT_EQ(b2().firstMark, c.recorded ? 1 : 0);
        EXPECT_EQ(b2().used, c.recorded ? 75 : 0);
        EXPECT_EQ(b2().score, c.recorded ? c.right * 5 : 0);
        EXPECT_EQ(dbInt("select sum(zd6) from b3"), c.right);
    }
}

TEST_F(GradingTest, APerfectHomeworkCountsItsQuestionsAndOffersTheWayOut) {
    dbExec("update b2 set zd4=null, zd12=0 where zd1=1");
    startHomework();
    answerRight(20);
    const long long before = dbInt("select sum(zd7) from b1 where zd1 between 3001 and 3020");
    const long long easy = dbInt("select count(*) from b1 where zd5<=3 and zd1 between 3001 and 3020");
    finishAfter(200);
    EXPECT_EQ(pts(), "作业全部正确！");
    EXPECT_EQ(bt1(), "点击进入电脑");
    EXPECT_EQ(b2().score, 100);
    EXPECT_EQ(b2().used, 200);
    EXPECT_EQ(b2().firstMark, 0);
    EXPECT_EQ(dbInt("select sum(zd7) from b1 where zd1 between 3001 and 3020"), before + 20);
    form->BT1Click();  // "点击进入电脑"
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(dbInt("select sum(zd7) from b1 where zd1 between 3001 and 3020"), before + 20 + easy);
}

TEST_F(GradingTest, EverySlotIsWrittenWithTheLatestAnswers) {
    startHomework();
    answerRight(20);
    answer(4, -1);
    finishAfter(10);
    EXPECT_EQ(dbText("select zd4 from b3 where zd1=4"), "@");
    EXPECT_EQ(dbInt("select zd6 from b3 where zd1=4"), 0);
    EXPECT_EQ(dbText("select zd4 from b3 where zd1=1"), "B");
    EXPECT_EQ(dbInt("select zd6 from b3 where zd1=1"), 1);
    form->BT1Click();
    answer(1, 0);
    answer(4, 3);
    finishAfter(10);
    EXPECT_EQ(dbText("select zd4 from b3 where zd1=1"), "A");
    EXPECT_EQ(dbInt("select zd6 from b3 where zd1=1"), 0);
    EXPECT_EQ(dbText("select zd4 from b3 where zd1=4"), "D");
    EXPECT_EQ(dbInt("select zd6 from b3 where zd1=4"), 1);
}

TEST_F(GradingTest, SmallHomeworksScoreByTheirOwnCount) {
    const struct {
        int grade;
        int unit;
        int right;  // first `right` slots answered correctly (others unanswered)
        const char* text;
    } cases[] = {
        {10, 0, 0, "分数：0，请认真检查！"},  // no questions at all
        {11, 1, 3, "作业全部正确！"},        // 3 x (100 / 3) makes 100
        {11, 1, 2, "分数：67，请认真检查！"},
        {11, 0, 2, "分数：50，请认真检查！"},
    };
    const std::vector<std::vector<int>> keys = {{}, {1, 3, 0}, {1, 3, 0}, {2, 0, 3, 1}};
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        freshDatabase();
        dbExec("update b5 set zd5=" + std::to_string(c.grade) + ", zd6=" + std::to_string(c.unit));
        start();
        form->c2->setItemIndex(c.unit);
        handle([this] { form->ExtractHomework(); });
        form->BJS->setCaption("我做完了"_gbk);
        const std::vector<int>& k = keys[static_cast<std::size_t>(i++)];
        for (int slot = 1; slot <= c.right; ++slot) answer(slot, k[static_cast<std::size_t>(slot - 1)]);
        finishAfter(5);
        EXPECT_EQ(pts(), c.text);
    }
}

// In class mode every grading also goes to the class outbox, in the same
// transaction as the history: both or neither.
TEST_F(GradingTest, InClassModeEachGradingGoesToTheOutboxWithTheHistory) {
    startHomework();
    datam->classMember = data::outbox::Member{"实验小学", "三年级二班", "王小明"};
    answerRight(17);
    finishAfter(100);
    form->BT1Click();
    finishAfter(50);
    ASSERT_EQ(dbInt("select count(*) from class_outbox where sent is null"), 2);
    EXPECT_EQ(dbInt("select count(distinct id) from class_outbox"), 2);
    const data::outbox::Entry e = data::outbox::fromText(dbText("select entry from class_outbox order by seq limit 1"));
    EXPECT_EQ(e.id, dbText("select id from class_outbox order by seq limit 1"));
    EXPECT_EQ(std::make_tuple(e.school, e.className, e.pupil, e.grade, e.score, e.grading, e.seconds),
              std::make_tuple(std::string("实验小学"), std::string("三年级二班"), std::string("王小明"), 3, 85, 1, 100));
    EXPECT_EQ(e.gradeName, "三年级上");
    ASSERT_EQ(e.answers.size(), 20u);
    for (int n = 1; n <= 20; ++n) {
        const auto& a = e.answers[static_cast<std::size_t>(n - 1)];
        EXPECT_EQ(a.slot, n);
        EXPECT_EQ(a.question, 3000 + n);
        EXPECT_EQ(a.rightLetter, 'A' + kKeys[static_cast<std::size_t>(n - 1)]);
        EXPECT_EQ(a.right, n <= 17);
        EXPECT_FALSE(a.text.empty());
    }
    EXPECT_EQ(dbInt("select count(*) from history_homework"), 2);

    // An outbox that cannot be written takes the whole grading back.
    dbExec("drop table class_outbox");
    form->BT1Click();
    finishAfter(50);
    EXPECT_EQ(pts(), "系统数据错!");
    EXPECT_EQ(dbInt("select count(*) from history_homework"), 2);
}

TEST_F(GradingTest, WithoutClassModeTheOutboxStaysEmpty) {
    startHomework();
    answerRight(20);
    finishAfter(100);
    EXPECT_EQ(dbInt("select count(*) from history_homework"), 1);
    EXPECT_EQ(dbInt("select count(*) from class_outbox"), 0);
}
