#include "connection_string.h"
#include "datam.h"
#include "test_db.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace {

using data::Connection;
using data::DataError;
using data::Query;
using data::Tdatam;

// What the connection makes of the program's string: the settings it reads
// and the ones the Jet provider would have used.
TEST(ConnectionString, NamesTheFileBelowTheProgramAndItsPassword) {
    const auto settings = data::parseConnectionString(Tdatam::BuildConnectionString("/opt/aoshu"));
    const struct {
        const char* key;
        std::string value;
    } expected[] = {
        {"provider", "Microsoft.Jet.OLEDB.4.0"},
        {"user id", "Admin"},
        {"data source", R"(/opt/aoshu\dat\kelvma.dat)"},
        {"mode", "Share Deny None"},
        {"jet oledb:database password", testdb::kPassword},
        {"jet oledb:engine type", "5"},
        {"jet oledb:database locking mode", "1"},
        {"jet oledb:new database password", ""},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.key);
        ASSERT_TRUE(settings.count(e.key));
        EXPECT_EQ(settings.at(e.key), e.value);
    }
    EXPECT_EQ(settings.size(), 19u);
}

TEST(ConnectionString, RootDirectoryKeepsItsSlash) {
    std::string s = Tdatam::BuildConnectionString("/");
    EXPECT_NE(s.find(R"(;Data Source=/\dat\kelvma.dat;Mode=)"), std::string::npos) << s;
}

TEST(OpenDatabase, FindsTheFileBelowAProgramDirWithSpacesAndChinese) {
    testdb::TempDir dir;
    std::string programDir = dir.path() + "/奥数 程序";
    testdb::createDatabase(programDir + "/dat/kelvma.dat");
    Tdatam datam;
    datam.DataModuleCreate();
    EXPECT_FALSE(datam.ADOConnection1.connected());
    datam.programDir = programDir;
    datam.OpenDatabase();
    EXPECT_TRUE(datam.ADOConnection1.connected());
}

struct AcceptedString {
    const char* name;
    const char* folder;  // where the file lies, below the temp dir
    std::string password;
    std::string text;    // {file} stands for the file's path
};

TEST(ConnectionOpen, ParsesKeysAndQuotedValues) {
    const AcceptedString cases[] = {
        {"keys in any case", "d", testdb::kPassword,
         "data source={file};JET OLEDB:DATABASE PASSWORD=739184026551903"},
        {"blanks around keys and values", "d", testdb::kPassword,
         " Data Source = {file} ; Jet OLEDB:Database Password = \"739184026551903\" ;"},
        {"quoted path with a semicolon", "a;b", testdb::kPassword,
         "Data Source=\"{file}\";Jet OLEDB:Database Password=739184026551903"},
        {"doubled quote in a password", "d", "pa\"ss'",
         "Jet OLEDB:Database Password=\"pa\"\"ss'\";Data Source={file}"},
        {"later key wins", "d", testdb::kPassword,
         "Data Source=/nowhere;Data Source={file};Jet OLEDB:Database Password=739184026551903"},
    };
    for (const auto& c : cases) {
        testdb::TempDir dir;
        std::string file = dir.path() + "/" + c.folder + "/kelvma.dat";
        testdb::createDatabase(file, c.password);
        std::string text = c.text;
        text.replace(text.find("{file}"), 6, file);
        Connection connection;
        connection.setConnectionString(text);
        EXPECT_NO_THROW(connection.open()) << c.name;
        EXPECT_TRUE(connection.connected()) << c.name;
    }
}

TEST(ConnectionOpen, BackslashesInDataSourceArePathSeparators) {
    testdb::TempDir dir;
    testdb::createDatabase(dir.path() + "/dat/kelvma.dat");
    Connection connection;
    connection.setConnectionString(testdb::connectionString(dir.path() + "\\dat\\kelvma.dat"));
    EXPECT_NO_THROW(connection.open());
}

struct BrokenFile {
    const char* name;
    std::function<void(const std::string& file)> make;
    const char* said;  // what the pupil's error box says of it, in Chinese
};

void truncateTo(const std::string& file, std::size_t size) {
    testdb::writeFile(file, testdb::readFile(file).substr(0, size));
}

void overwritePage2(const std::string& file) {
    std::string bytes = testdb::readFile(file);
    for (std::size_t i = 4096; i < 8192 && i < bytes.size(); ++i) bytes[i] = '\xAB';
    testdb::writeFile(file, bytes);
}

bool hasSideFiles(const std::string& dir) {
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename() != "kelvma.dat") return true;
    return false;
}

TEST(ConnectionOpen, RejectsBadFilesAndLeavesThemUntouched) {
    const BrokenFile cases[] = {
        {"missing file", [](const std::string&) {}, "无法读取"},
        {"empty file", [](const std::string& f) { testdb::writeFile(f, ""); }, "是一个空文件；程序只能打开自己的数据库文件"},
        {"text file",
         [](const std::string& f) { testdb::writeFile(f, std::string(5000, 'x') + "\n不是数据库\n"); },
         "的格式无法识别"},
        {"wrong password", [](const std::string& f) { testdb::createDatabase(f, "123456"); }, "数据库的密码不对"},
        {"no dbinfo", [](const std::string& f) { testdb::createDatabase(f, testdb::kPassword, false); },
         "数据库里没有表 dbinfo"},
        {"no password rows",
         [](const std::string& f) {
             testdb::createDatabase(f);
             testdb::exec(f, "DELETE FROM dbinfo");
         },
         "数据库里没有"},
        {"truncated",
         [](const std::string& f) {
             testdb::createDatabase(f);
             truncateTo(f, 2 * 4096);
         },
         "数据库文件已损坏"},
        {"damaged page",
         [](const std::string& f) {
             testdb::createDatabase(f);
             overwritePage2(f);
         },
         "数据库文件已损坏"},
        {"unit tag of the wrong kind",
         [](const std::string& f) {
             testdb::createDatabase(f);
             testdb::exec(f, "ALTER TABLE b1 DROP COLUMN zd16");
             testdb::exec(f, "ALTER TABLE b1 ADD COLUMN zd16 TEXT");
         },
         "列 b1.zd16 的类型不对"},
    };
    for (const auto& c : cases) {
        testdb::TempDir dir;
        std::string file = dir.path() + "/kelvma.dat";
        c.make(file);
        bool existed = std::filesystem::exists(file);
        std::string before = testdb::readFile(file);

        Connection connection;
        connection.setConnectionString(testdb::connectionString(file));
        try {
            connection.open();
            ADD_FAILURE() << c.name << ": opened";
        } catch (const DataError& e) {
            EXPECT_NE(e.shownDetail().find(c.said), std::string::npos) << c.name << ": " << e.shownDetail();
        }
        EXPECT_FALSE(connection.connected()) << c.name;
        EXPECT_EQ(std::filesystem::exists(file), existed) << c.name;
        EXPECT_EQ(testdb::readFile(file), before) << c.name;
        EXPECT_FALSE(hasSideFiles(dir.path())) << c.name;
    }
}

// A file from before the question bank had tags (an earlier copy, a
// converted Jet file) has neither the unit nor the paper column.
TEST(ConnectionOpen, AcceptsAFileWithoutTheQuestionTags) {
    testdb::TempDir dir;
    std::string file = dir.path() + "/kelvma.dat";
    testdb::createDatabase(file);
    testdb::exec(file, "ALTER TABLE b1 DROP COLUMN zd16");
    testdb::exec(file, "ALTER TABLE b1 DROP COLUMN zd17");
    Connection connection;
    connection.setConnectionString(testdb::connectionString(file));
    EXPECT_NO_THROW(connection.open());
}

TEST(ConnectionOpen, RejectsAStringWithoutDataSource) {
    Connection connection;
    connection.setConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin");
    EXPECT_THROW(connection.open(), DataError);
}

TEST(SharedOpen, ReadersDoNotWaitAndAWriteWaitsForAnotherWrite) {
    testdb::TempDir dir;
    std::string file = dir.path() + "/kelvma.dat";
    testdb::createDatabase(file);
    Connection first, second;
    first.setConnectionString(testdb::connectionString(file));
    second.setConnectionString(testdb::connectionString(file));
    first.open();
    second.open();
    EXPECT_EQ(testdb::scalar(file, "pragma journal_mode"), "wal");

    first.beginTransaction();
    Query(first, "update b3 set zd5=5 where zd1=1").execSql();
    // The log lets a reader go on while a write is under way; it sees the
    // file as it was before the write.
    Query rows(second, "select zd5 from b3 where zd1=1");
    rows.open();
    EXPECT_EQ(rows.fieldByName("zd5").asInteger(), 0);

    std::atomic<bool> finished{false};
    std::string writeError;
    std::thread writing([&] {
        try {
            Query(second, "update b3 set zd5=zd5+2 where zd1=1").execSql();
        } catch (const DataError& e) {
            writeError = e.what();
        }
        finished = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(finished) << "the second write should wait for the first";
    first.commitTransaction();
    writing.join();

    EXPECT_EQ(writeError, "");
    EXPECT_EQ(testdb::scalar(file, "select zd5 from b3 where zd1=1"), "7");
}

// A fresh file is in rollback-journal mode; the first open switches it to
// the log.  Another program writing at that moment must make the open wait,
// not fail with "database is locked".
TEST(SharedOpen, TheSwitchToTheLogWaitsForAnotherProgramsWrite) {
    testdb::TempDir dir;
    std::string file = dir.path() + "/kelvma.dat";
    testdb::createDatabase(file);
    ASSERT_EQ(testdb::scalar(file, "pragma journal_mode"), "delete");

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "begin immediate; update b3 set zd5=3 where zd1=1", nullptr, nullptr, nullptr),
              SQLITE_OK);
    std::thread committing([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(other, "commit", nullptr, nullptr, nullptr);
    });

    Connection program;
    program.setConnectionString(testdb::connectionString(file));
    std::string openError;
    try {
        program.open();
    } catch (const DataError& e) {
        openError = e.what();
    }
    committing.join();
    sqlite3_close(other);

    EXPECT_EQ(openError, "");
    EXPECT_EQ(testdb::scalar(file, "pragma journal_mode"), "wal");
    EXPECT_EQ(testdb::scalar(file, "select zd5 from b3 where zd1=1"), "3");
}

}  // namespace

namespace {

TEST(ErrorDetail, SaysEachJoinedProblemWithItsPlaceAndKeepsUnknownOnes) {
    EXPECT_EQ(data::chineseDetail("/a/kelvma.dat: the Jet file has no table b6; "
                                  "the Jet file's table b1 has no column zd3"),
              "/a/kelvma.dat：Access 数据库里没有表 b6；Access 数据库的表 b1 缺少列 zd3");
    EXPECT_EQ(data::chineseDetail("a problem nobody has named yet"), "a problem nobody has named yet");
}

}  // namespace
