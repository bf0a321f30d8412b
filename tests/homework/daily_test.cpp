// A fresh homework every day: a pupil on the real window over many days,
// with a clock of the test's own and answers fixed in advance.
#include "daily_choice.h"
#include "homework_fixture.h"

#include "inputs.h"

#include <QDateTime>

#include <algorithm>
#include <map>
#include <set>

namespace {

class TestClock : public daily::Clock {
public:
    QDateTime at;
    QDateTime now() const override { return at; }
};

const QDate kFirstDay(2026, 3, 2);

}  // namespace

class DailyTest : public HomeworkTest {
public:
    void SetUp() override {
        HomeworkTest::SetUp();
        daily::setClock(&clock);
    }
    void TearDown() override {
        daily::setClock(nullptr);
        HomeworkTest::TearDown();
    }

    void setDay(int day, int hour = 16) { clock.at = QDateTime(kFirstDay.addDays(day), QTime(hour, 0)); }

    // Grade 3 gets a bank of `perUnit` copies of a question without picture
    // in each of the units 0, 1, 2 (ids from 3100), beside the 22 questions
    // of the seed content.
    void growBank(int perUnit) {
        dbExec("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
               std::to_string(3 * perUnit - 1) +
               ") INSERT INTO b1 (zd1, zd2, zd5, zd6, zd7, zd9, zd10, zd11, zd14, zd16) "
               "SELECT 3100 + i, s.zd2, s.zd5, s.zd6, 0, 3, 2, 0, s.zd14, i % 3 FROM n JOIN b1 s ON s.zd1 = 3001");
    }

    // Starts the program and a homework of grade 3; the question ids drawn.
    std::vector<int> draw(int unit, int grade = 3) {
        form.reset();
        datam.reset();
        startHomework(grade, unit);
        std::vector<int> ids;
        for (int slot = 1; slot <= form->hw.QuestionCount; ++slot) ids.push_back(form->hw.QuestionIds(slot));
        return ids;
    }

    // Answers each slot right or wrong as the rule says, and grades.
    template <class Rule>
    void gradeAnswers(Rule&& right) {
        for (int slot = 1; slot <= form->hw.QuestionCount; ++slot) {
            const int key = form->hw.AnswerKeys(slot);
            answer(slot, right(form->hw.QuestionIds(slot)) ? key : (key + 1) % 4);
        }
        finishAfter(300);
    }

    std::set<int> marked(int grade, int mark) {
        std::set<int> ids;
        for (int id : all("select zd1 from b1 where zd9=" + std::to_string(grade) + " and zd10=" + std::to_string(mark)))
            ids.insert(id);
        return ids;
    }

    std::vector<int> all(const std::string& sql) {
        std::vector<int> out;
        const long long n = dbInt("select count(*) from (" + sql + ")");
        for (long long i = 0; i < n; ++i) out.push_back(static_cast<int>(dbInt(sql + " limit 1 offset " + std::to_string(i))));
        return out;
    }

    TestClock clock;
};

// The pupil of the simulation answers a question wrong the first time when
// its id is a multiple of 5, and the second time too when it is a multiple
// of 10; right otherwise.  The test keeps the ladder of each question as the
// rule describes it and checks every day's homework against it.
TEST_F(DailyTest, APupilOverSixtyDays) {
    constexpr int kDays = 60;
    growBank(150);
    std::map<int, int> unitOf;  // id -> unit, -1 for none
    for (int id : all("select zd1 from b1 where zd9=3 and zd10 in (1,2) order by zd1"))
        unitOf[id] = static_cast<int>(dbInt("select ifnull(zd16, -1) from b1 where zd1=" + std::to_string(id)));
    struct Ladder {
        int sights = 0;
        int step = 0;  // 0: never wrong
        int due = 0;
        int seen = 0;
    };
    std::map<int, Ladder> ladder;
    const int steps[] = {1, 3, 7, 14, 30};
    std::vector<int> previous;
    int unseenDrawn = 0;
    int wrongsBack = 0;
    int seenDrawn = 0;

    for (int day = 0; day < kDays; ++day) {
        SCOPED_TRACE("day " + std::to_string(day));
        setDay(day);
        const int unit = day % 2;
        const std::vector<int> ids = draw(unit);
        ASSERT_EQ(ids.size(), 20u);
        EXPECT_EQ(marked(3, 2), std::set<int>(ids.begin(), ids.end()));
        const std::set<int> drawn(ids.begin(), ids.end());

        // What was due, never seen or seen when the day began.
        std::set<int> due;
        std::map<int, std::set<int>> unseen;  // unit -> ids
        std::vector<int> seen;
        for (const auto& [id, u] : unitOf) {
            auto it = ladder.find(id);
            if (it == ladder.end()) unseen[u].insert(id);
            else if (it->second.step > 0 && it->second.due <= day) due.insert(id);
            else seen.push_back(id);
        }
        ASSERT_LE(due.size(), 20u);
        for (int id : due) EXPECT_TRUE(drawn.count(id)) << "due wrong " << id << " not drawn";
        wrongsBack += static_cast<int>(due.size());

        // Then the chosen unit's unseen, the other units' in unit order, the
        // untagged, and last the questions seen longest ago.
        std::size_t room = 20 - due.size();
        for (int u : {unit, 1 - unit, 2, -1}) {
            const std::set<int>& group = unseen[u];
            const auto taken = static_cast<std::size_t>(
                std::count_if(group.begin(), group.end(), [&](int id) { return drawn.count(id); }));
            EXPECT_EQ(taken, std::min(room, group.size())) << "unit " << u;
            room -= taken;
            unseenDrawn += static_cast<int>(taken);
        }
        int newestDrawn = -1;
        int oldestLeft = kDays;
        for (int id : seen) {
            if (drawn.count(id)) newestDrawn = std::max(newestDrawn, ladder[id].seen);
            else oldestLeft = std::min(oldestLeft, ladder[id].seen);
        }
        EXPECT_LE(newestDrawn, oldestLeft) << "a question seen later came before one seen earlier";
        seenDrawn += static_cast<int>(room);
        if (!previous.empty()) {
            EXPECT_NE(ids, previous) << "a new day, the same homework";
        }

        std::map<int, bool> right;
        for (int id : ids) right[id] = !(id % 5 == 0 && ladder[id].sights == 0) && !(id % 10 == 0 && ladder[id].sights == 1);
        gradeAnswers([&](int id) { return right[id]; });
        gradeAnswers([](int) { return true; });  // a later grading does not count
        if (day % 9 == 4) {  // back in the evening, after the gradings: the same homework
            setDay(day, 20);
            EXPECT_EQ(draw(unit), ids);
            setDay(day);
        }
        for (int id : ids) {
            Ladder& l = ladder[id];
            ++l.sights;
            l.seen = day;
            l.step = !right[id] ? 1 : l.step == 0 ? 0 : std::min(l.step + 1, 5);
            l.due = l.step ? day + steps[l.step - 1] : 0;
        }
        previous = ids;
    }
    // The days went through every step of the choice.
    EXPECT_GT(wrongsBack, 100);
    EXPECT_GT(unseenDrawn, 400);
    EXPECT_GT(seenDrawn, 100);
    EXPECT_EQ(dbInt("select count(*) from history_homework"), 2 * kDays);
    EXPECT_EQ(dbInt("select count(*) from history_answer"), 40 * kDays);
    EXPECT_EQ(dbInt("select count(*) from question_schedule where step > 0"),
              std::count_if(ladder.begin(), ladder.end(), [](const auto& l) { return l.second.step > 0; }));

    // The report still shows the last homework: its start and its answers.
    EXPECT_EQ(dbText("select zd3 from b2 where zd1=1"),
              kFirstDay.addDays(kDays - 1).toString(Qt::ISODate).toStdString() + " 16:00:00");
    EXPECT_EQ(all("select zd1 from v_b where zd102=1 and zd1 is not null order by zd101"), previous);

    // A clock set back counts as the day of the last homework.
    setDay(kDays - 5);
    EXPECT_EQ(draw((kDays - 1) % 2), previous);
}

// The mock room: papers 1, 2, 3 of two questions each.  A paper drawn but
// not graded is not finished; after the last paper, the one finished
// longest ago comes again.
TEST_F(DailyTest, TheMockRoomDrawsTheFirstPaperNotFinished) {
    dbExec("update b1 set zd17=2, zd10=1 where zd1 in (11005, 11006)");
    dbExec("INSERT INTO b1 (zd1, zd2, zd5, zd6, zd7, zd9, zd10, zd11, zd14, zd17) "
           "SELECT CASE zd1 WHEN 11002 THEN 11100 ELSE 11101 END, zd2, zd5, zd6, 0, 11, 1, 0, zd14, 3 FROM b1 WHERE zd1 IN (11002, 11003)");
    const struct {
        int day;
        bool graded;
        std::vector<int> paper;
    } days[] = {
        {0, true, {11002, 11003}},  {0, true, {11002, 11003}},  // the same day: the same paper
        {1, false, {11005, 11006}}, {2, true, {11005, 11006}},  {3, true, {11100, 11101}},
        {4, true, {11002, 11003}},  {5, true, {11005, 11006}},  {6, true, {11100, 11101}},
    };
    for (const auto& d : days) {
        SCOPED_TRACE("day " + std::to_string(d.day));
        setDay(d.day);
        EXPECT_EQ(draw(0, 11), d.paper);
        EXPECT_EQ(marked(11, 0), std::set<int>(d.paper.begin(), d.paper.end()));
        if (d.graded) gradeAnswers([](int) { return false; });
    }
    // The homework of the mock room's other unit never holds a paper's question.
    form.reset();
    datam.reset();
    start();
    form->c1->setItemIndex(11);
    form->c1Change();
    form->c2->setItemIndex(1);
    handle([this] { form->ExtractHomework(); });
    EXPECT_EQ(form->hw.QuestionCount, 3);
    EXPECT_EQ(form->hw.QuestionIds(1), 11001);
}

// A grade of at most 20 questions, and a file from before units and papers,
// draw as before: every question, in zd1 order, every day.
TEST_F(DailyTest, SmallGradesAndOlderFilesDrawAsBefore) {
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older ? "older file" : "tagged file");
        freshDatabase();
        if (older) {
            dbExec("ALTER TABLE b1 DROP COLUMN zd16");
            dbExec("ALTER TABLE b1 DROP COLUMN zd17");
        }
        const std::vector<int> grade4 = all("select zd1 from b1 where zd9=4 order by zd1");
        ASSERT_EQ(grade4.size(), 3u);
        for (int day : {0, 1, 7}) {
            setDay(day);
            EXPECT_EQ(draw(0, 4), grade4);
            gradeAnswers([](int id) { return id % 2 == 0; });
        }
        // Grade 3 untagged: 20 of 22 tie, and each day breaks the tie its
        // own way, the same way all day.
        if (older) {
            std::set<std::vector<int>> homeworks;
            for (int day : {20, 21, 22, 23, 23, 24}) {
                setDay(day);
                homeworks.insert(draw(0));
            }
            EXPECT_GE(homeworks.size(), 2u) << "the ties go the same way every day";
            EXPECT_LE(homeworks.size(), 5u);
        }
        // Grade 3 untagged, or its 20 tagged questions of unit 0: a new day
        // brings the two left out back first.
        setDay(30);
        const std::vector<int> first = draw(0);
        ASSERT_EQ(first.size(), 20u);
        gradeAnswers([](int) { return true; });
        setDay(31);
        const std::vector<int> second = draw(0);
        for (int id : all("select zd1 from b1 where zd9=3"))
            if (std::find(first.begin(), first.end(), id) == first.end()) {
                EXPECT_NE(std::find(second.begin(), second.end(), id), second.end()) << id;
            }
    }
}
