#include "datam.h"
#include "gbk.h"
#include "test_db.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

using data::DataError;
using data::DateTime;

class DataModule : public ::testing::Test {
protected:
    void SetUp() override {
        file = dir.path() + "/dat/kelvma.dat";
        testdb::createDatabase(file);
        datam.DataModuleCreate();
        datam.programDir = dir.path();
        datam.showNotice = [this](const std::string& text) { notices.push_back(text); };
        datam.OpenDatabase();
    }

    // Questions grade*1000+1 .. grade*1000+count in the homework pool.
    void addQuestions(int grade, int count) {
        testdb::exec(file, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                               std::to_string(count) + ") INSERT INTO b1 (zd1, zd2, zd5, zd6, zd7, zd9, zd10, zd11) "
                               "SELECT " + std::to_string(grade) + " * 1000 + i, 'q', 1, 'k', 0, " +
                               std::to_string(grade) + ", 2, 0 FROM n");
    }

    std::vector<long long> column(const char* name) {
        std::vector<long long> values;
        for (; !datam.a_ls.eof(); datam.a_ls.next())
            values.push_back(datam.a_ls.fieldByName(name).asInteger());
        return values;
    }

    testdb::TempDir dir;
    std::string file;
    data::Tdatam datam;
    std::vector<std::string> notices;
};

TEST_F(DataModule, TopReturnsAtMostNRowsInOrder) {
    addQuestions(5, 3);
    addQuestions(6, 25);
    datam.RunQuery("select top 20 zd1,zd2,zd6,zd9,zd11,zd14 from b1 where zd9=5 and zd10=2 order by zd1");
    EXPECT_EQ(column("zd1"), (std::vector<long long>{5001, 5002, 5003}));
    datam.RunQuery("select top 20 zd1,zd2,zd6,zd9,zd11,zd14 from b1 where zd9=6 and zd10=2 order by zd1 desc");
    std::vector<long long> ids = column("ZD1");
    ASSERT_EQ(ids.size(), 20u);
    EXPECT_EQ(ids.front(), 6025);
    EXPECT_EQ(ids.back(), 6006);
    EXPECT_TRUE(notices.empty());
}

TEST_F(DataModule, RndBreaksTiesBothWays) {
    testdb::exec(file, "UPDATE b4 SET zd4 = 5 WHERE zd1 = 201;"
                       "INSERT INTO b4 VALUES (202, 'a', 12, 0, 't', 'h'), (203, 'b', 12, 0, 't', 'h');");
    std::set<long long> chosen;
    for (int i = 0; i < 200 && chosen.size() < 2; ++i) {
        datam.RunQuery("select top 1 * from b4 where zd3=12 order by zd4,rnd(zd1)");
        ASSERT_EQ(datam.a_ls.recordCount(), 1u);
        chosen.insert(datam.a_ls.fieldByName("zd1").asInteger());
    }
    EXPECT_EQ(chosen, (std::set<long long>{202, 203}));
}

TEST_F(DataModule, DateTimeRoundTrip) {
    datam.RunCommand("update b2 set zd3='2026-12-7 8:5',zd5=0,zd6=0 where zd1=1");
    datam.RunQuery("select * from b2 where zd1=1");
    EXPECT_EQ(datam.a_ls.fieldByName("zd3").asDateTime(), (DateTime{2026, 12, 7, 8, 5, 0}));
    EXPECT_FALSE(datam.a_ls.fieldByName("zd4").asDateTime().has_value());
    EXPECT_EQ(testdb::scalar(file, "SELECT zd3 FROM b2"), "2026-12-07 08:05:00");
    EXPECT_TRUE(notices.empty());
}

TEST_F(DataModule, FailedCommandsShowTheNoticeAndChangeNothing) {
    const char* commands[] = {
        "update b2 set zd3='2026-2-30 8:5',zd5=99 where zd1=1",
        "update b2 set zd5=99,zd77=1 where zd1=1",
        "update b2 set zd5=99,zd6='abc' where zd1=1",
        "update b2 set zd5=99 where zd1=1; delete from b3",
        "update b9 set zd5=99",
    };
    for (const char* command : commands) {
        notices.clear();
        datam.RunCommand(command);
        EXPECT_EQ(notices, std::vector<std::string>{"系统数据错!"_gbk}) << command;
    }
    EXPECT_EQ(testdb::scalar(file, "SELECT zd5 FROM b2"), "0");
    EXPECT_EQ(testdb::scalar(file, "SELECT quote(zd3) FROM b2"), "NULL");
    EXPECT_EQ(testdb::scalar(file, "SELECT count(*) FROM b3"), "20");
}

TEST_F(DataModule, FailedQueriesShowTheNoticeAndLeaveTheResultClosed) {
    const std::string queries[] = {
        "select * from a_stzb",
        "select zd99 from b5 where zd1=1",
        "selec * from b5",
        "update b5 set zd5=9 where zd1=1",
        "select * from b5 where zd2='\x81'",
    };
    for (const auto& query : queries) {
        datam.RunQuery("SELECT zd2,zd5,zd6 FROM b5 where zd1=1");
        notices.clear();
        datam.RunQuery(query);
        EXPECT_EQ(notices, std::vector<std::string>{"系统数据错!"_gbk}) << query;
        EXPECT_FALSE(datam.a_ls.active()) << query;
        EXPECT_TRUE(datam.a_ls.eof()) << query;
        EXPECT_THROW(datam.a_ls.fieldByName("zd5"), DataError) << query;
        EXPECT_THROW(datam.a_ls.next(), DataError) << query;
    }
    EXPECT_EQ(testdb::scalar(file, "SELECT zd5 FROM b5"), "3");
}

TEST_F(DataModule, FieldsReadAsNullAtTheEndOfAResult) {
    datam.RunQuery("select * from b4 where zd3=7 order by zd4");
    EXPECT_TRUE(datam.a_ls.active());
    EXPECT_TRUE(datam.a_ls.eof());
    EXPECT_EQ(datam.a_ls.recordCount(), 0u);
    EXPECT_TRUE(datam.a_ls.fieldByName("zd2").isNull());
    EXPECT_EQ(datam.a_ls.fieldByName("zd2").asString(), "");
    EXPECT_EQ(datam.a_ls.fieldByName("zd4").asInteger(), 0);
    EXPECT_THROW(datam.a_ls.fieldByName("zd77"), DataError);

    datam.RunQuery("SELECT zd2,zd5,zd6 FROM b5 where zd1=1");
    EXPECT_EQ(datam.a_ls.fieldByName("Zd5").asInteger(), 3);
    datam.a_ls.next();
    EXPECT_TRUE(datam.a_ls.eof());
    EXPECT_EQ(datam.a_ls.fieldByName("zd5").asInteger(), 0);
    EXPECT_TRUE(notices.empty());
}

TEST_F(DataModule, SecondRunQueryReplacesTheFirst) {
    datam.RunQuery("SELECT zd2,zd5,zd6 FROM b5 where zd1=1");
    datam.RunQuery("select * from b2 where zd1=1");
    EXPECT_EQ(datam.a_ls.fieldByName("zd12").asInteger(), 0);
    EXPECT_THROW(datam.a_ls.fieldByName("zd2"), DataError);
    EXPECT_TRUE(notices.empty());
}

TEST_F(DataModule, ResultStaysReadableWhileItsTableIsUpdated) {
    datam.RunQuery("select * from b3 where zd2=1 order by zd1");
    std::vector<long long> seen;
    for (; !datam.a_ls.eof(); datam.a_ls.next()) {
        long long slot = datam.a_ls.fieldByName("zd1").asInteger();
        seen.push_back(datam.a_ls.fieldByName("zd3").asInteger());
        datam.RunCommand("update  b3 set zd3=" + std::to_string(1000 + slot) + ",zd4='',zd5=0 where zd1=" +
                         std::to_string(slot));
        datam.RunCommand("update b3 set zd2=2 where zd1=" + std::to_string(slot + 1));
    }
    EXPECT_EQ(seen, std::vector<long long>(20, 0));
    EXPECT_EQ(testdb::scalar(file, "SELECT sum(zd3) FROM b3"), std::to_string(20 * 1000 + 210));
    EXPECT_TRUE(notices.empty());
}

TEST_F(DataModule, ChineseTextRoundTrip) {
    datam.RunCommand("update b4 set zd2='速算与巧算' where zd1=201"_gbk);
    EXPECT_EQ(testdb::scalar(file, "SELECT zd2 FROM b4 WHERE zd1 = 201"), "速算与巧算");
    datam.RunQuery("select * from b4 where zd2='速算与巧算'"_gbk);
    ASSERT_FALSE(datam.a_ls.eof());
    EXPECT_EQ(datam.a_ls.fieldByName("zd2").asString(), "速算与巧算"_gbk);
    EXPECT_EQ(datam.a_ls.fieldByName("zd6").asString(), "有"_gbk);
    EXPECT_TRUE(notices.empty());
}

TEST_F(DataModule, FieldConversions) {
    testdb::exec(file, "UPDATE b5 SET zd2 = ' -42 ' WHERE zd1 = 1;"
                       "INSERT INTO b1 (zd1, zd9, zd11, zd12) VALUES (5001, 5, 1, x'FFD8FF00E0');"
                       "UPDATE b2 SET zd3 = '2026-1-2 3:4', zd4 = 'soon';");
    datam.RunQuery("SELECT zd2,zd5,zd6 FROM b5 where zd1=1");
    EXPECT_EQ(datam.a_ls.fieldByName("zd2").asInteger(), -42);
    datam.RunCommand("update b5 set zd2='4x2' where zd1=1");
    datam.RunQuery("SELECT zd2,zd5,zd6 FROM b5 where zd1=1");
    EXPECT_THROW(datam.a_ls.fieldByName("zd2").asInteger(), DataError);
    EXPECT_THROW(datam.a_ls.fieldByName("zd2").asDateTime(), DataError);

    datam.RunQuery("select * from b2 where zd1=1");
    EXPECT_EQ(datam.a_ls.fieldByName("zd3").asDateTime(), (DateTime{2026, 1, 2, 3, 4, 0}));
    EXPECT_THROW(datam.a_ls.fieldByName("zd4").asDateTime(), DataError);

    datam.aft.close();
    datam.aft.setSql("select zd1,zd11,zd12 from b1 where zd1=5001");
    datam.aft.open();
    EXPECT_EQ(datam.aft.fieldByName("zd12").asBytes(),
              (std::vector<unsigned char>{0xFF, 0xD8, 0xFF, 0x00, 0xE0}));
    datam.aft.close();
    EXPECT_TRUE(notices.empty());
}

// A counter raised past the largest integer stays there, an integer: the
// STRICT column would refuse the REAL that plain overflow gives.
TEST_F(DataModule, CountersSaturateAtTheLargestInteger) {
    addQuestions(3, 1);
    testdb::exec(file, "UPDATE b4 SET zd4 = 9223372036854775807 WHERE zd1 = 201;"
                       "UPDATE b1 SET zd7 = 9223372036854775806 WHERE zd1 = 3001;"
                       "UPDATE b2 SET zd5 = 9223372036854775800 WHERE zd1 = 1");
    datam.RunCommand("update b4 set zd4=zd4+1 where zd1=201");
    datam.RunCommand("update b1 set zd7=zd7+1 where zd1=3001");
    datam.RunCommand("update b1 set zd7=zd7+1 where zd1=3001");
    datam.RunCommand("update b2 set zd5=zd5+60 where zd1=1");
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(testdb::scalar(file, "SELECT typeof(zd4) || ' ' || zd4 FROM b4 WHERE zd1 = 201"),
              "integer 9223372036854775807");
    EXPECT_EQ(testdb::scalar(file, "SELECT zd7 FROM b1 WHERE zd1 = 3001"), "9223372036854775807");
    EXPECT_EQ(testdb::scalar(file, "SELECT zd5 FROM b2"), "9223372036854775807");
}

// The handlers' own statements are tested through the handlers (tests/homework,
// tests/app); here only what the view v_b adds: each answer slot with the
// question it holds, an empty slot with nulls.
TEST_F(DataModule, TheViewJoinsEachSlotWithItsQuestion) {
    addQuestions(3, 3);
    testdb::exec(file, "UPDATE b3 SET zd3 = 3001, zd4 = 'B' WHERE zd1 = 1; UPDATE b3 SET zd3 = 3002 WHERE zd1 = 2");
    datam.RunQuery("select * from v_b where zd102=1 order by zd101");
    EXPECT_TRUE(notices.empty());
    ASSERT_EQ(datam.a_ls.recordCount(), 20u);
    EXPECT_EQ(datam.a_ls.fieldByName("zd1").asInteger(), 3001);
    EXPECT_EQ(datam.a_ls.fieldByName("zd104").asString(), "B");
    EXPECT_EQ(datam.a_ls.fieldByName("zd9").asInteger(), 3);
    datam.a_ls.next();
    EXPECT_EQ(datam.a_ls.fieldByName("zd1").asInteger(), 3002);
    datam.a_ls.next();
    EXPECT_TRUE(datam.a_ls.fieldByName("zd1").isNull());
}

}  // namespace
