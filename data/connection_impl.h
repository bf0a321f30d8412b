// The SQLite side of Connection, shared by the connection and query code.
#pragma once

#include "datam.h"

#include <sqlite3.h>

#include <string_view>

namespace data {

struct Connection::Impl {
    sqlite3* db = nullptr;
    // The outermost transaction of the program: none, running, or lost
    // (it could not start, or SQLite rolled it back after a failure).
    enum class Transaction { None, Active, Lost } transaction = Transaction::None;

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

// Runs a statement of the program inside the transaction rules: a write
// while the transaction is lost throws DataError without running; a
// statement after which SQLite is no longer inside the transaction marks
// it lost.  step is called once per result row until it returns false.
template <class Step>
void runGuarded(Connection::Impl& impl, Statement& statement, Step&& step);

// The SQLite error text of db.
std::string errorText(sqlite3* db);

}  // namespace data

namespace data {

void checkWriteAllowed(Connection::Impl& impl, Statement& statement);
void noteTransactionState(Connection::Impl& impl);

template <class Step>
void runGuarded(Connection::Impl& impl, Statement& statement, Step&& step) {
    checkWriteAllowed(impl, statement);
    try {
        while (step()) {
        }
    } catch (...) {
        noteTransactionState(impl);
        throw;
    }
    noteTransactionState(impl);
}

}  // namespace data
