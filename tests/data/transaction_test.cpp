// One action's writes as one transaction: all or nothing, a failing
// statement shows the notice and the others go on, errors roll back.
#include "datam.h"
#include "gbk.h"
#include "test_db.h"
#include "transaction.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class TransactionTest : public ::testing::Test {
public:
    void SetUp() override {
        file = dir.path() + "/dat/kelvma.dat";
        testdb::createDatabase(file);
        datam.programDir = dir.path();
        datam.showNotice = [this](const std::string& text) { notices.push_back(gbk::toUtf8(text)); };
        datam.OpenDatabase();
    }

    std::string slot(int n) { return testdb::scalar(file, "select zd3 from b3 where zd1=" + std::to_string(n)); }
    void write(int n, int id) {
        datam.RunCommand("update b3 set zd3=" + std::to_string(id) + " where zd1=" + std::to_string(n));
    }

    testdb::TempDir dir;
    std::string file;
    data::Tdatam datam;
    std::vector<std::string> notices;
};

TEST_F(TransactionTest, AnActionIsWrittenWholeOrNotAtAll) {
    const struct {
        const char* what;
        std::function<void(TransactionTest&)> action;
        std::vector<std::string> slots;  // b3.zd3 of slots 1..3 afterwards
        std::size_t notices;
    } cases[] = {
        {"committed",
         [](TransactionTest& t) {
             data::Transaction tx(t.datam);
             t.write(1, 11), t.write(2, 12), t.write(3, 13);
             tx.commit();
         },
         {"11", "12", "13"}, 0},
        {"a failing statement in the middle: the others go on",
         [](TransactionTest& t) {
             data::Transaction tx(t.datam);
             t.write(1, 11);
             t.datam.RunCommand("update b3 set nosuchcolumn=1 where zd1=2");
             t.write(3, 13);
             tx.commit();
         },
         {"11", "0", "13"}, 1},
        {"an error raised on the way rolls back",
         [](TransactionTest& t) {
             try {
                 data::Transaction tx(t.datam);
                 t.write(1, 11), t.write(2, 12);
                 throw std::runtime_error("damaged picture");
             } catch (const std::runtime_error&) {
             }
         },
         {"0", "0", "0"}, 0},
        {"an inner scope rolled back: the outer one writes nothing more",
         [](TransactionTest& t) {
             data::Transaction outer(t.datam);
             t.write(1, 11);
             {
                 data::Transaction inner(t.datam);
                 t.write(2, 12);
             }  // left without commit
             t.write(3, 13);
             outer.commit();
         },
         {"0", "0", "0"}, 2},
        {"nested scopes commit with the outer one",
         [](TransactionTest& t) {
             data::Transaction outer(t.datam);
             {
                 data::Transaction inner(t.datam);
                 t.write(1, 11);
                 inner.commit();
             }
             EXPECT_EQ(t.slot(1), "0") << "not visible before the outer commit";
             t.write(2, 12);
             outer.commit();
         },
         {"11", "12", "0"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (int n = 1; n <= 3; ++n) testdb::exec(file, "update b3 set zd3=0 where zd1=" + std::to_string(n));
        notices.clear();
        c.action(*this);
        EXPECT_EQ((std::vector<std::string>{slot(1), slot(2), slot(3)}), c.slots);
        EXPECT_EQ(notices.size(), c.notices);
        for (const std::string& n : notices) EXPECT_EQ(n, "系统数据错!");
        EXPECT_EQ(datam.ADOConnection1.transactionDepth(), 0);
    }
}

TEST_F(TransactionTest, AWriterThatWaitsPastTheBusyTimeoutGetsTheNotice) {
    data::Connection other;
    other.setConnectionString(testdb::connectionString(file));
    other.open();
    other.beginTransaction();  // holds the write lock throughout
    {
        data::Transaction tx(datam);
        write(1, 11);
        tx.commit();
    }
    other.rollbackTransaction();
    EXPECT_EQ(notices, (std::vector<std::string>{"系统数据错!", "系统数据错!", "系统数据错!"}));
    EXPECT_EQ(slot(1), "0");
    // The next action goes through.
    data::Transaction tx(datam);
    write(1, 11);
    tx.commit();
    EXPECT_EQ(slot(1), "11");
}

}  // namespace
