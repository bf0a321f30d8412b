// What a connection lets the database file do.  The file comes from outside
// the program: only the program's own statements run on it, never the
// file's triggers or its definition of the view v_b, and a statement cannot
// grow SQLite's temporary storage or one value without bound.
#pragma once

#include <sqlite3.h>

#include <cstdint>

namespace data {

// SQLite's memory in this process, temporary tables and sorts included
// (they are kept in memory): past it a statement fails with "out of memory".
inline constexpr std::int64_t kSqliteHeapLimit = 64ll << 20;
// The longest text or blob a statement may read or make.
inline constexpr int kLongestValue = 32 << 20;

// Before anything runs on the file: triggers off, temporary storage in
// memory and bounded.
void guardAgainstFile(sqlite3* db);

// The program carries question ids (b1.zd1, b3.zd3) in 32 bits: a file
// holding one outside that range is refused (DataError) rather than read as
// another question.
void checkQuestionIds(sqlite3* db);

// After the file's tables and view passed their checks: our own v_b, in the
// connection's TEMP schema, which takes precedence over the file's; the
// file's own views stay unused.
void useOwnView(sqlite3* db);

}  // namespace data
