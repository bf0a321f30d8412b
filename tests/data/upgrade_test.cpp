// Merging new content into a pupil's database: what is carried over, the
// older shapes of the pupil's file, the bad cases at start-up, two programs
// starting at once, and kills during a merge.
#include "datam.h"
#include "jet_convert.h"
#include "jet_fixtures.h"
#include "test_db.h"
#include "upgrade.h"
#include "upgrade_start.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using namespace data::upgrade;

namespace {

std::string rows(const std::string& file, const std::string& columns, const std::string& from) {
    return testdb::scalar(file, "SELECT group_concat(r, char(10)) FROM (SELECT " + columns + " AS r " + from + ")");
}

// What the report of the last homework shows: each slot's question text,
// key, grade, analysis, picture, and the answer given.
std::string report(const std::string& file) {
    return rows(file, "zd101 || '|' || ifnull(zd2, '') || '|' || ifnull(zd6, '') || '|' || ifnull(zd9, '') || '|' || "
                      "ifnull(zd14, '') || '|' || zd104 || '|' || ifnull((SELECT hex(zd12) FROM b1 WHERE b1.zd1 = "
                      "v_b.zd1), '')",
                "FROM v_b WHERE zd102 = 1 ORDER BY zd101");
}

void addVersion(const std::string& file, const std::string& sequence) {
    testdb::exec(file, "INSERT INTO dbinfo VALUES ('schema-version', '2'), ('content-sequence', '" + sequence +
                           "'), ('content-digest', 'digest" + sequence + "')");
}

// Grade 3 with units 0..units-1 and the questions first..last (3000 + n),
// all in unit 0; posts 201 and 202.
void addContent(const std::string& file, int units, int first, int last, const std::string& textSuffix) {
    for (int u = 0; u < units; ++u)
        testdb::exec(file, "INSERT INTO b4 VALUES (" + std::to_string(u + 1) + ", 'u', 3, " + std::to_string(u) +
                               ", '', '')");
    testdb::exec(file, "INSERT INTO b4 VALUES (202, 'p', 12, 0, '', '')");
    testdb::exec(file, "WITH RECURSIVE n(i) AS (SELECT " + std::to_string(first) + " UNION ALL SELECT i + 1 FROM n "
                           "WHERE i < " + std::to_string(last) + ") INSERT INTO b1 (zd1, zd2, zd5, zd6, zd7, zd9, "
                           "zd10, zd11, zd12, zd14, zd15, zd16) SELECT 3000 + i, 'q' || i || '" + textSuffix +
                           "', 1, 'kA', 0, 3, 2, 0, NULL, 'a' || i, NULL, 0 FROM n");
}

void openWithConnection(const std::string& file) {
    data::Connection connection;
    connection.setConnectionString(testdb::connectionString(file));
    connection.open();
}

enum class Shape { Current, NoHistory, NoBankColumns };

// The pupil's copy of an older content (sequence 1): grade 3 with 4 units,
// questions 3001..3025, a graded homework of 3001..3020 with its history,
// counters and a remembered unit 3.
void makeUserCopy(const std::string& file, Shape shape) {
    testdb::createDatabase(file);
    addVersion(file, "1");
    addContent(file, 4, 1, 25, "");
    if (shape == Shape::NoBankColumns)
        testdb::exec(file, "ALTER TABLE b1 DROP COLUMN zd16; ALTER TABLE b1 DROP COLUMN zd17");
    testdb::exec(file, "UPDATE b1 SET zd12 = x'FFD8FF01' WHERE zd1 = 3003;"
                       "UPDATE b1 SET zd7 = 5 WHERE zd1 = 3001; UPDATE b1 SET zd7 = 2 WHERE zd1 = 3002;"
                       "UPDATE b4 SET zd4 = 7 WHERE zd1 = 202; UPDATE b4 SET zd4 = 3 WHERE zd1 = 201;"
                       "UPDATE b5 SET zd5 = 3, zd6 = 3;"
                       "UPDATE b2 SET zd3 = '2026-12-01 10:00:00', zd4 = '2026-12-01 10:20:00', zd5 = 1200, zd6 = 85;"
                       "UPDATE b3 SET zd3 = 3000 + zd1, zd4 = CASE WHEN zd1 % 3 = 0 THEN 'B' ELSE 'A' END, zd6 = 1");
    if (shape == Shape::NoHistory) return;
    openWithConnection(file);  // adds the history tables and the schedule
    testdb::exec(file, "INSERT INTO history_homework VALUES (1, 3, 0, NULL, 2461011, '2026-12-01 10:00:00', "
                       "'2026-12-01 10:20:00', 1200, 85, 1);"
                       "INSERT INTO history_answer SELECT 1, zd1, zd3, zd4, zd4 = 'A' FROM b3;"
                       "UPDATE question_schedule SET seen = 2461011, step = 1, due = 2461012 WHERE question = 3003;"
                       "UPDATE question_schedule SET seen = 2461011, step = 2, due = 2461014 WHERE question = 3006;"
                       "INSERT INTO daily_choice SELECT 2461011, 3, 0, zd3 FROM b3;"
                       "INSERT INTO class_outbox (id, entry, written, sent) VALUES ('a', '{}', 'w', 's'), "
                       "('b', '{}', 'w', NULL)");
}

// The installed database of the newer content (sequence 2): grade 3 now has
// 2 units; 3002 is reworded, 3003 removed, 3026..3030 are new.
void makeInstalled(const std::string& file) {
    testdb::createDatabase(file);
    addVersion(file, "2");
    addContent(file, 2, 1, 30, "");
    testdb::exec(file, "UPDATE b1 SET zd2 = 'q2 reworded' WHERE zd1 = 3002; DELETE FROM b1 WHERE zd1 = 3003");
}

struct Files {
    testdb::TempDir dir;
    std::string installed = dir.path() + "/installed/kelvma.dat";
    std::string user = dir.path() + "/user/kelvma.dat";
};

}  // namespace

TEST(Upgrade, CarriesTheRecordIntoTheNewContentInEveryShape) {
    for (const Shape shape : {Shape::Current, Shape::NoHistory, Shape::NoBankColumns}) {
        SCOPED_TRACE(static_cast<int>(shape));
        Files f;
        makeInstalled(f.installed);
        makeUserCopy(f.user, shape);
        const std::string reportBefore = report(f.user);

        const MergeCounts counts = mergeRecord(f.installed, f.user, f.user, testdb::kPassword);

        EXPECT_EQ(counts.keptQuestions, 2);  // 3002 reworded, 3003 removed
        EXPECT_EQ(counts.questions, 29 + 2);
        EXPECT_EQ(report(f.user), reportBefore);
        EXPECT_EQ(report(f.user + ".old"), reportBefore);
        EXPECT_EQ(testdb::scalar(f.user + ".old", "SELECT value FROM dbinfo WHERE name = 'content-sequence'"), "1");
        EXPECT_EQ(readVersion(f.user), readVersion(f.installed));
        EXPECT_EQ(testdb::scalar(f.user, "SELECT count(*) FROM b1 WHERE zd1 BETWEEN 3026 AND 3030"), "5");
        EXPECT_EQ(testdb::scalar(f.user, "SELECT zd2 FROM b1 WHERE zd1 = 3002"), "q2 reworded");
        EXPECT_EQ(rows(f.user, "zd1 || ':' || zd7", "FROM b1 WHERE zd7 > 0 ORDER BY zd1"), "3001:5\n3002:2\n1003002:2");
        EXPECT_EQ(testdb::scalar(f.user, "SELECT group_concat(zd4) FROM b4 WHERE zd3 = 12 ORDER BY zd1"), "3,7");
        EXPECT_EQ(testdb::scalar(f.user, "SELECT count(*) FROM b1 WHERE zd10 = 3 AND zd9 = 3"), "2");
        // Schedule rows for every drawable question, new ones unseen.
        EXPECT_EQ(testdb::scalar(f.user, "SELECT count(*) FROM question_schedule"), "29");
        EXPECT_EQ(testdb::scalar(f.user, "SELECT count(*) FROM question_schedule WHERE question > 3025 AND seen IS "
                                         "NULL AND step = 0"), "5");
        const bool history = shape != Shape::NoHistory;
        EXPECT_EQ(testdb::scalar(f.user, "SELECT count(*) FROM history_answer"), history ? "20" : "0");
        EXPECT_EQ(testdb::scalar(f.user, "SELECT ifnull(step || ',' || due, '-') FROM question_schedule WHERE "
                                         "question = 3006"), history ? "2,2461014" : "-");
        // Class gradings not sent yet still go after the upgrade.
        if (history) EXPECT_EQ(rows(f.user, "id || ':' || ifnull(sent, '-')", "FROM class_outbox ORDER BY seq"), "a:s\nb:-");
        // The day's choice is made afresh from the new content.
        EXPECT_EQ(testdb::scalar(f.user, "SELECT count(*) FROM daily_choice"), "0");
        EXPECT_NO_THROW(openWithConnection(f.user));
    }
}

// The remembered unit is kept where the grade still has it, else moved to
// its last unit.
TEST(Upgrade, TheRememberedUnitStaysValid) {
    const std::pair<int, std::string> cases[] = {{0, "3,0"}, {1, "3,1"}, {3, "3,1"}, {-1, "3,0"}};
    for (const auto& [unit, expected] : cases) {
        SCOPED_TRACE(unit);
        Files f;
        makeInstalled(f.installed);
        makeUserCopy(f.user, Shape::NoHistory);
        testdb::exec(f.user, "UPDATE b5 SET zd6 = " + std::to_string(unit));
        mergeRecord(f.installed, f.user, f.user, testdb::kPassword);
        EXPECT_EQ(testdb::scalar(f.user, "SELECT zd5 || ',' || zd6 FROM b5"), expected);
    }
}

TEST(Upgrade, AKeptQuestionStaysKeptThroughASecondMergeAndGoesWhenNoLongerInTheReport) {
    Files f;
    makeInstalled(f.installed);
    makeUserCopy(f.user, Shape::Current);
    const std::string reportBefore = report(f.user);
    mergeRecord(f.installed, f.user, f.user, testdb::kPassword);
    testdb::exec(f.installed, "UPDATE dbinfo SET value = '3' WHERE name = 'content-sequence'");
    mergeRecord(f.installed, f.user, f.user, testdb::kPassword);
    EXPECT_EQ(report(f.user), reportBefore);
    EXPECT_EQ(testdb::scalar(f.user, "SELECT group_concat(zd1) FROM b1 WHERE zd10 = 3"), "1003002,1003003");

    testdb::exec(f.user, "UPDATE b3 SET zd3 = 3001");  // a new homework was drawn
    mergeRecord(f.installed, f.user, f.user, testdb::kPassword);
    EXPECT_EQ(testdb::scalar(f.user, "SELECT count(*) FROM b1 WHERE zd10 = 3"), "0");
}

TEST(Upgrade, AFileThatFailsItsChecksIsNotMerged) {
    struct Case {
        const char* name;
        bool damageInstalled;
        std::function<void(const std::string&)> damage;
    };
    const Case cases[] = {
        {"installed: not a database", true, [](const std::string& p) { testdb::writeFile(p, std::string(4096, 'x')); }},
        {"installed: no dbinfo", true, [](const std::string& p) { testdb::exec(p, "DROP TABLE dbinfo"); }},
        {"installed: no b3", true, [](const std::string& p) { testdb::exec(p, "DROP TABLE b3"); }},
        {"copy: not a database", false, [](const std::string& p) { testdb::writeFile(p, "SQLite format 3"); }},
        {"copy: another password", false,
         [](const std::string& p) { testdb::exec(p, "UPDATE dbinfo SET value = '00' WHERE name = 'password-salt'"); }},
        {"copy: b2 without zd6", false, [](const std::string& p) { testdb::exec(p, "ALTER TABLE b2 DROP COLUMN zd6"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Files f;
        makeInstalled(f.installed);
        makeUserCopy(f.user, Shape::Current);
        c.damage(c.damageInstalled ? f.installed : f.user);
        const std::string before = testdb::readFile(f.user);
        if (c.damageInstalled)
            EXPECT_THROW(mergeRecord(f.installed, f.user, f.user, testdb::kPassword), InstalledDamaged);
        else
            EXPECT_THROW(mergeRecord(f.installed, f.user, f.user, testdb::kPassword), CopyDamaged);
        EXPECT_TRUE(testdb::readFile(f.user) == before);
        EXPECT_FALSE(fs::exists(f.user + ".old"));
        EXPECT_FALSE(fs::exists(f.user + ".merging"));
    }
}

TEST(UpgradeAtStart, SaysWhatHappenedAndKeepsTheRightFile) {
    {
        SCOPED_TRACE("a damaged installed database leaves the copy");
        Files f;
        makeInstalled(f.installed);
        makeUserCopy(f.user, Shape::Current);
        testdb::writeFile(f.installed, "garbage");
        const std::string before = testdb::readFile(f.user);
        const StartResult r = upgradeAtStart(f.installed, f.user, testdb::kPassword, false);
        EXPECT_FALSE(r.merged);
        EXPECT_NE(r.notice.find("损坏"), std::string::npos);
        EXPECT_TRUE(testdb::readFile(f.user) == before);
    }
    {
        SCOPED_TRACE("a damaged copy is set aside and replaced");
        Files f;
        makeInstalled(f.installed);
        testdb::createDatabase(f.user);
        testdb::exec(f.user, "DROP TABLE dbinfo");
        const std::string before = testdb::readFile(f.user);
        const StartResult r = upgradeAtStart(f.installed, f.user, testdb::kPassword, false);
        std::string aside;
        for (const auto& e : fs::directory_iterator(fs::path(f.user).parent_path()))
            if (e.path().filename().string().starts_with("kelvma.dat.damaged-")) aside = e.path().string();
        ASSERT_FALSE(aside.empty());
        EXPECT_TRUE(testdb::readFile(aside) == before);
        EXPECT_NE(r.notice.find(aside), std::string::npos);
        EXPECT_TRUE(testdb::readFile(f.user) == testdb::readFile(f.installed));
    }
    {
        SCOPED_TRACE("a merge, then a start that needs none removes the backup and the consumed source");
        Files f;
        makeInstalled(f.installed);
        makeUserCopy(f.user, Shape::Current);
        StartResult r = upgradeAtStart(f.installed, f.user, testdb::kPassword, false);
        EXPECT_TRUE(r.merged) << r.detail;
        EXPECT_TRUE(r.notice.empty());
        EXPECT_TRUE(fs::exists(f.user + ".old"));
        r.inUse = InUse();  // that program ends
        EXPECT_FALSE(upgradeAtStart(f.installed, f.user, testdb::kPassword, true).merged);
        EXPECT_FALSE(fs::exists(f.user + ".old"));
        EXPECT_FALSE(fs::exists(f.installed));
    }
}

TEST(UpgradeAtStart, TwoProgramsStartingAtOnceMergeOnce) {
    Files f;
    makeInstalled(f.installed);
    makeUserCopy(f.user, Shape::Current);
    StartResult results[2];
    std::thread a([&] { results[0] = upgradeAtStart(f.installed, f.user, testdb::kPassword, false); });
    std::thread b([&] { results[1] = upgradeAtStart(f.installed, f.user, testdb::kPassword, false); });
    a.join();
    b.join();
    EXPECT_EQ(results[0].merged + results[1].merged, 1) << results[0].detail << " / " << results[1].detail;
    EXPECT_EQ(testdb::scalar(f.user, "SELECT count(*) FROM history_homework"), "1");
}

// A program of the same user still running (on another desktop) holds the
// copy: a start with new content leaves the copy to it and merges at a
// later start, when the copy is free.
TEST(UpgradeAtStart, AProgramUsingTheCopyIsNotMergedUnder) {
    Files f;
    makeInstalled(f.installed);
    makeUserCopy(f.user, Shape::Current);
    const std::string before = testdb::readFile(f.user);
    const std::string same = f.user + ".same";  // the content the copy has: nothing to merge
    fs::copy_file(f.user, same);
    {
        const StartResult running = upgradeAtStart(same, f.user, testdb::kPassword, false, 1);
        EXPECT_FALSE(running.merged);
        ASSERT_TRUE(running.inUse.held());
        const StartResult second = upgradeAtStart(f.installed, f.user, testdb::kPassword, false, 1);
        EXPECT_FALSE(second.merged) << second.detail;
        EXPECT_TRUE(testdb::readFile(f.user) == before);
        // With nothing to merge, a start does not wait for the running one.
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_TRUE(upgradeAtStart(same, f.user, testdb::kPassword, false, 5).inUse.held());
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(4));
    }
    EXPECT_TRUE(upgradeAtStart(f.installed, f.user, testdb::kPassword, false, 1).merged);
}

// A Jet 4.0 file beside the program (or installed) carries no version: the
// start neither reads it as a damaged database nor locks it, so that its
// conversion, which locks it for itself, runs at once.
TEST(UpgradeAtStart, AJetFileIsLeftToItsConversion) {
    SKIP_WITHOUT_JET_FIXTURES();
    Files f;
    fs::create_directories(fs::path(f.installed).parent_path());
    fs::copy_file(jetfixtures::path("small.mdb"), f.installed);
    makeUserCopy(f.user, Shape::Current);
    const std::string before = testdb::readFile(f.user);
    StartResult installedJet = upgradeAtStart(f.installed, f.user, testdb::kPassword, false, 1);
    EXPECT_TRUE(installedJet.notice.empty()) << installedJet.notice;
    EXPECT_TRUE(testdb::readFile(f.user) == before);
    installedJet.inUse = InUse();

    const StartResult besideJet = upgradeAtStart(f.installed + ".new", f.installed, testdb::kPassword, true, 1);
    EXPECT_TRUE(besideJet.notice.empty());
    EXPECT_TRUE(data::convertDataFileInPlace(f.installed, testdb::kPassword, std::chrono::milliseconds(500)));
}

// A merge in a child process killed at a random moment: the copy is the old
// one or the whole new one, and it opens.
TEST(Upgrade, AKillDuringAMergeLeavesTheOldCopyOrTheWholeNewOne) {
    Files f;
    fs::create_directories(fs::path(f.installed).parent_path());
    fs::copy_file(BUNDLED_DATABASE, f.installed);
    testdb::exec(f.installed, "INSERT OR REPLACE INTO dbinfo VALUES ('content-sequence', '99')");
    const std::string pristine = f.dir.path() + "/pristine.dat";
    fs::copy_file(BUNDLED_DATABASE, pristine);
    openWithConnection(pristine);
    testdb::exec(pristine, "UPDATE b1 SET zd7 = 4 WHERE zd1 IN (SELECT zd1 FROM b1 LIMIT 30);"
                           "INSERT INTO history_homework VALUES (1, 1, 0, NULL, 2461011, 'a', 'b', 60, 50, 1)");
    fs::create_directories(fs::path(f.user).parent_path());

    // One merge untimed by kills: the kills land over its whole length.
    fs::copy_file(pristine, f.user);
    const auto t0 = std::chrono::steady_clock::now();
    mergeRecord(f.installed, f.user, f.user, testdb::kPassword);
    const auto length = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);

    std::mt19937 random(19);
    int old = 0, merged = 0;
    for (int run = 0; run < 30; ++run) {
        SCOPED_TRACE(run);
        fs::copy_file(pristine, f.user, fs::copy_options::overwrite_existing);
        const pid_t child = fork();
        if (child == 0) {
            try {
                mergeRecord(f.installed, f.user, f.user, testdb::kPassword);
            } catch (...) {
                _exit(2);
            }
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (length.count() * 5 / 4 + 1)));
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const std::string sequence =
            testdb::scalar(f.user, "SELECT ifnull(max(value), '') FROM dbinfo WHERE name = 'content-sequence'");
        (sequence == "99" ? merged : old)++;
        EXPECT_EQ(testdb::scalar(f.user, "PRAGMA integrity_check"), "ok");
        EXPECT_EQ(testdb::scalar(f.user, "SELECT count(*) FROM b1 WHERE zd7 = 4"), "30");
        EXPECT_EQ(testdb::scalar(f.user, "SELECT count(*) FROM history_homework"), "1");
        EXPECT_NO_THROW(openWithConnection(f.user));
        fs::remove(f.user + ".old");
    }
    std::printf("merge %lld ms; 30 kills: %d left the old copy, %d the new one\n",
                static_cast<long long>(length.count() / 1000), old, merged);
}
