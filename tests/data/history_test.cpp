// The history tables on files of either shape: an older file gets them when
// it is opened, a file whose history tables are not ours is refused.
#include "datam.h"
#include "test_db.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

using data::Connection;
using data::DataError;

namespace {

// The program's tables, their definitions and every value, as text.
std::string programTables(const std::string& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::string all;
    for (const char* table : {"b1", "b2", "b3", "b4", "b5", "b6", "v_b", "dbinfo"}) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, (std::string("SELECT * FROM ") + table).c_str(), -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                all += std::string(text ? text : "<null>") + "|";
            }
        sqlite3_finalize(st);
        all += testdb::scalar(file, std::string("SELECT sql FROM sqlite_schema WHERE name = '") + table + "'") + "\n";
    }
    sqlite3_close(db);
    return all;
}

void open(Connection& connection, const std::string& file) {
    connection.setConnectionString(testdb::connectionString(file));
    connection.open();
}

const char* const kHistoryTables[] = {"history_homework", "history_answer", "question_schedule", "daily_choice"};

}  // namespace

TEST(HistoryTables, AnOlderFileGetsThemAndKeepsEverythingElse) {
    for (const bool tagged : {false, true}) {
        SCOPED_TRACE(tagged ? "bank with unit and paper columns" : "bank of an older file");
        testdb::TempDir dir;
        const std::string file = dir.path() + "/kelvma.dat";
        testdb::createDatabase(file);
        if (!tagged) testdb::exec(file, "ALTER TABLE b1 DROP COLUMN zd16; ALTER TABLE b1 DROP COLUMN zd17");
        testdb::exec(file, "INSERT INTO b1 (zd1, zd9, zd10) VALUES (3001, 3, 2), (3002, 3, 2)");
        const std::string before = programTables(file);
        {
            Connection connection;
            open(connection, file);
        }
        for (const char* table : kHistoryTables)
            EXPECT_EQ(testdb::scalar(file, std::string("SELECT type FROM sqlite_schema WHERE name = '") + table + "'"),
                      "table")
                << table;
        EXPECT_EQ(testdb::scalar(file, "SELECT count(*) FROM pragma_index_info('b1_bank')"), tagged ? "4" : "2");
        EXPECT_EQ(programTables(file), before);

        // Opened again: already there, nothing added twice.
        const std::string schema = testdb::scalar(file, "SELECT group_concat(sql, ';') FROM sqlite_schema");
        Connection again;
        open(again, file);
        EXPECT_EQ(testdb::scalar(file, "SELECT group_concat(sql, ';') FROM sqlite_schema"), schema);
    }
}

TEST(HistoryTables, AFileWhoseHistoryIsNotOursIsRefusedUntouched) {
    const struct {
        const char* what;
        const char* sql;
    } cases[] = {
        {"a view in the place of a table", "CREATE VIEW history_answer AS SELECT 1 AS homework"},
        {"a column missing",
         "CREATE TABLE question_schedule (question INTEGER PRIMARY KEY, grade INTEGER, seen INTEGER, step INTEGER)"},
        {"a column of another type",
         "CREATE TABLE daily_choice (day TEXT, grade INTEGER, unit INTEGER, question INTEGER)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testdb::TempDir dir;
        const std::string file = dir.path() + "/kelvma.dat";
        testdb::createDatabase(file);
        testdb::exec(file, c.sql);
        const std::string before = testdb::readFile(file);
        Connection connection;
        connection.setConnectionString(testdb::connectionString(file));
        EXPECT_THROW(connection.open(), DataError);
        EXPECT_EQ(testdb::readFile(file), before);
    }
}
