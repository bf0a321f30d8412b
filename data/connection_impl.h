// The SQLite side of Connection, shared by the connection and query code.
#pragma once

#include "datam.h"
#include "sqlite.h"

namespace data {

struct Connection::Impl {
    Database database;
    // The outermost transaction of the program: none, running, or lost
    // (it could not start, or SQLite rolled it back after a failure).
    enum class Transaction { None, Active, Lost } transaction = Transaction::None;

    sqlite3* db() const { return database.handle(); }
};

// Runs a statement of the program inside the transaction rules: a write
// while the transaction is lost throws DataError without running; a
// statement after which SQLite is no longer inside the transaction marks
// it lost.  step is called once per result row until it returns false.
template <class Step>
void runGuarded(Connection::Impl& impl, Statement& statement, Step&& step);

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
