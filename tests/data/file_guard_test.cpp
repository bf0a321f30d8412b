// A file that passes the checks but carries statements of its own: its
// view v_b and its triggers never run, and a runaway statement meets a bound
// instead of filling the disk.
#include "datam.h"
#include "gbk.h"
#include "test_db.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The program's file with a view v_b of the same columns that never ends
// (a recursive count, sorted), and triggers that empty b1 on any write to
// b3 or b2.
void makeHostileFile(const std::string& file) {
    testdb::createDatabase(file);
    testdb::exec(file, R"sql(
        INSERT INTO b1 (zd1, zd2, zd5, zd6, zd7, zd9, zd10, zd11) VALUES (3001, 'q', 1, 'k', 0, 3, 2, 0);
        UPDATE b3 SET zd3 = 3001, zd4 = 'B' WHERE zd1 = 1;
        DROP VIEW v_b;
        CREATE VIEW v_b AS
          WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r)
          SELECT n AS zd101, 1 AS zd102, 'x' AS zd104, n AS zd1, 'x' AS zd2, 'x' AS zd6, 3 AS zd9, 'x' AS zd14
          FROM r ORDER BY -n;
        CREATE TRIGGER wipe_b3 AFTER UPDATE ON b3 BEGIN DELETE FROM b1; END;
        CREATE TRIGGER wipe_b2 BEFORE UPDATE ON b2 BEGIN DELETE FROM b1; END;
    )sql");
}

class HostileFile : public ::testing::Test {
protected:
    void SetUp() override {
        file = dir.path() + "/dat/kelvma.dat";
        makeHostileFile(file);
        datam.DataModuleCreate();
        datam.programDir = dir.path();
        datam.showNotice = [this](const std::string& text) { notices.push_back(text); };
        datam.OpenDatabase();
    }
    testdb::TempDir dir;
    std::string file;
    data::Tdatam datam;
    std::vector<std::string> notices;
};

TEST_F(HostileFile, TheReportReadsOurViewNotTheFiles) {
    const auto start = Clock::now();
    datam.RunQuery("select * from v_b where zd102=1 order by zd101");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(notices.empty());
    ASSERT_EQ(datam.a_ls.recordCount(), 20u);
    EXPECT_EQ(datam.a_ls.fieldByName("zd1").asInteger(), 3001);
    EXPECT_EQ(datam.a_ls.fieldByName("zd104").asString(), "B");
}

TEST_F(HostileFile, TheFilesTriggersDoNotRunOnOurWrites) {
    datam.RunCommand("update b3 set zd4='C' where zd1=1");
    datam.RunCommand("update b2 set zd5=zd5+60 where zd1=1");
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(testdb::scalar(file, "SELECT count(*) FROM b1"), "1");
    EXPECT_EQ(testdb::scalar(file, "SELECT zd4 FROM b3 WHERE zd1 = 1"), "C");
    EXPECT_EQ(testdb::scalar(file, "SELECT zd5 FROM b2"), "60");
}

// Even a statement of ours that runs away (here an endless sorted count)
// ends at the memory bound with the notice, instead of filling the disk.
TEST_F(HostileFile, ARunawayStatementEndsAtTheBoundWithTheNotice) {
    const auto start = Clock::now();
    datam.RunQuery("with recursive r(n) as (select 1 union all select n + 1 from r) select n from r order by -n");
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::cout << "the runaway statement ended after " << took.count() << " ms\n";
    EXPECT_LT(took, std::chrono::seconds(30));
    EXPECT_EQ(notices, std::vector<std::string>{"系统数据错!"_gbk});
    EXPECT_FALSE(datam.a_ls.active());
    // The connection goes on.
    notices.clear();
    datam.RunQuery("select zd5 from b2 where zd1=1");
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(datam.a_ls.active());
}

}  // namespace
