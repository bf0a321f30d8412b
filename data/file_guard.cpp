#include "file_guard.h"

#include "datam.h"
#include "schema.h"
#include "sqlite.h"

namespace data {

void guardAgainstFile(sqlite3* db) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kLongestValue);
    // A runaway query (an endless recursive view, a huge sort) would fill the
    // temp folder; in memory it meets the heap limit instead.
    if (sqlite3_hard_heap_limit64(-1) == 0 || sqlite3_hard_heap_limit64(-1) > kSqliteHeapLimit)
        sqlite3_hard_heap_limit64(kSqliteHeapLimit);
    Statement temp(db, "PRAGMA temp_store = MEMORY");
    while (temp.step()) {
    }
}

void checkQuestionIds(sqlite3* db) {
    Statement outside(db,
                      "SELECT zd1 FROM b1 WHERE zd1 NOT BETWEEN -2147483648 AND 2147483647 "
                      "UNION ALL SELECT zd3 FROM b3 WHERE zd3 NOT BETWEEN -2147483648 AND 2147483647 LIMIT 1");
    if (outside.step())
        throw DataError("the question id " + outside.text(0) +
                        " lies outside the program's range of question ids (32 bits)");
}

void useOwnView(sqlite3* db) {
    if (sqlite3_exec(db, schema::ownViewSql(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw DataError("cannot define the view " + std::string(schema::kViewName) + ": " + errorText(db));
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
}

}  // namespace data
