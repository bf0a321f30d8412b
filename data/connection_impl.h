// The SQLite side of Connection, shared by the connection and query code.
#pragma once

#include "datam.h"

#include <sqlite3.h>

#include <string_view>

namespace data {

struct Connection::Impl {
    sqlite3* db = nullptr;

    Impl() = default;
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
};

// One prepared statement of exactly one SQL statement (UTF-8, SQLite
// dialect).  Finalized on destruction, which also ends any read it holds.
class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // True on a row, false when done; throws DataError on failure.
    bool step();
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// The SQLite error text of db.
std::string errorText(sqlite3* db);

}  // namespace data
