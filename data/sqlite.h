// The one SQLite wrapper of the program and its tools: an open database file
// and a prepared statement, each released on destruction.  Failures throw
// DataError with SQLite's text.
#pragma once

#include "datam.h"

#include <sqlite3.h>

#include <string>
#include <string_view>
#include <vector>

namespace data {

// The SQLite error text of db.
std::string errorText(sqlite3* db);

// The operating system's reason for a failed write (a full disk, a file
// too large), when SQLite has one: " (No space left on device)".
std::string systemReason(sqlite3* db);

// One database handle.  A failed open keeps the handle, so that its error
// text can be read, until the object is closed or destroyed.
class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens path with the sqlite3_open_v2 flags and extended result codes;
    // false on failure (errorText() says why).
    bool open(const std::string& path, int flags);
    // Closes now; false when SQLite cannot (a statement is still open).
    bool close();
    // Runs one or more statements that return nothing; throws DataError.
    void exec(const char* sql);
    void exec(const std::string& sql) { exec(sql.c_str()); }

    sqlite3* handle() const { return db_; }
    bool isOpen() const { return db_ != nullptr; }
    std::string errorText() const { return data::errorText(db_); }

private:
    sqlite3* db_ = nullptr;
};

// One prepared statement of exactly one SQL statement (UTF-8, SQLite
// dialect).  Finalized on destruction, which also ends any read it holds.
// Parameters are numbered from 1, columns from 0.
class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // True on a row, false when done; throws DataError on failure.
    bool step();
    // Ready to run again, the bindings cleared.
    void reset();

    Statement& bind(int index, long long value);
    Statement& bind(int index, const std::string& text);
    // An empty blob binds NULL.
    Statement& bind(int index, const std::vector<unsigned char>& blob);
    Statement& bindNull(int index);

    // Text of a column of the current row; NULL reads "".
    std::string text(int column) const;
    long long integer(int column) const;

    sqlite3_stmt* get() const { return stmt_; }

private:
    void check(int rc) const;

    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace data
