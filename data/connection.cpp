#include "connection_impl.h"
#include "connection_string.h"
#include "file_guard.h"
#include "history.h"
#include "jet_convert.h"
#include "outbox.h"
#include "schema.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace data {
namespace {

// How long a statement waits for a file locked by another connection.
constexpr int kBusyTimeoutMs = 5000;

// rnd(x): a pseudo-random number in [0, 1), new on every call.
void rndFunction(sqlite3_context* context, int, sqlite3_value**) {
    unsigned long long bits = 0;
    sqlite3_randomness(sizeof bits, &bits);
    sqlite3_result_double(context, static_cast<double>(bits >> 11) * 0x1.0p-53);
}

std::string dataSourcePath(const std::map<std::string, std::string>& settings) {
    auto it = settings.find("data source");
    if (it == settings.end() || it->second.empty())
        throw DataError("the connection string names no Data Source");
    std::string path = it->second;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string settingOrEmpty(const std::map<std::string, std::string>& settings,
                           const std::string& key) {
    auto it = settings.find(key);
    return it == settings.end() ? std::string() : it->second;
}

void checkIntact(sqlite3* db) {
    Statement check(db, "PRAGMA quick_check");
    if (!check.step()) throw DataError("the database check returned nothing");
    auto text = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
    if (!text || std::strcmp(text, "ok") != 0)
        throw DataError(std::string("the database file is damaged: ") + (text ? text : ""));
}

std::string dbinfoValue(sqlite3* db, const char* name) {
    Statement query(db, "SELECT value FROM dbinfo WHERE name = ?");
    sqlite3_bind_text(query.get(), 1, name, -1, SQLITE_STATIC);
    if (!query.step()) throw DataError(std::string("the database has no ") + name);
    auto text = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 0));
    return text ? text : "";
}

void checkPassword(sqlite3* db, const std::string& password) {
    if (!schema::passwordMatches(dbinfoValue(db, "password-salt"), dbinfoValue(db, "password-sha256"), password))
        throw DataError("wrong database password");
}

// The affinity a column of ours must have: i integer, t text, b binary.
char affinityOf(schema::Kind kind) {
    switch (kind) {
    case schema::Kind::Integer: return 'i';
    case schema::Kind::Text:
    case schema::Kind::DateTime: return 't';
    case schema::Kind::Blob: return 'b';
    }
    return 'n';
}

// SQLite's affinity rules for a declared column type, as i, t, b or r/n.
char affinityOf(std::string type) {
    for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (type.find("INT") != std::string::npos) return 'i';
    if (type.find("CHAR") != std::string::npos || type.find("CLOB") != std::string::npos ||
        type.find("TEXT") != std::string::npos)
        return 't';
    if (type.empty() || type.find("BLOB") != std::string::npos) return 'b';
    return 'n';
}

// A file that passes the checks but lacks a table or a column, or holds a
// table of another kind, would fail statement after statement later on:
// reject it at the door instead.
// The kind of the object called name: table, view, ...  Throws when there
// is none.
std::string objectType(sqlite3* db, const char* name) {
    Statement kind(db, "SELECT type FROM sqlite_schema WHERE lower(name) = ?");
    sqlite3_bind_text(kind.get(), 1, name, -1, SQLITE_STATIC);
    if (!kind.step()) throw DataError(std::string("the database has no table ") + name);
    return kind.text(0);
}

// Lower-case column name -> declared type.
std::map<std::string, std::string> declaredColumns(sqlite3* db, const char* table) {
    std::map<std::string, std::string> columns;
    Statement info(db, "SELECT lower(name), type FROM pragma_table_info(?)");
    sqlite3_bind_text(info.get(), 1, table, -1, SQLITE_STATIC);
    while (info.step()) columns[info.text(0)] = info.text(1);
    return columns;
}

void checkTable(sqlite3* db, const schema::Table& table) {
    const std::string type = objectType(db, table.name);
    if (type != "table") throw DataError(std::string(table.name) + " is a " + type + ", not a table");
    const auto columns = declaredColumns(db, table.name);
    for (const schema::Column& c : table.columns) {
        auto it = columns.find(c.name);
        if (it == columns.end()) {
            if (c.optional) continue;
            throw DataError(std::string("the table ") + table.name + " has no column " + c.name);
        }
        if (affinityOf(it->second) != affinityOf(c.kind))
            throw DataError(std::string("the column ") + table.name + "." + c.name + " is declared " +
                            (it->second.empty() ? "without a type" : it->second));
    }
}

void checkView(sqlite3* db) {
    const std::string type = objectType(db, schema::kViewName);
    if (type != "table" && type != "view")
        throw DataError(std::string(schema::kViewName) + " is a " + type + ", not a table");
    const auto columns = declaredColumns(db, schema::kViewName);
    for (const char* name : schema::viewColumns())
        if (!columns.count(name))
            throw DataError(std::string("the table ") + schema::kViewName + " has no column " + name);
}

// A file that passes the checks but lacks a table or a column, or holds a
// table of another kind, would fail statement after statement later on:
// reject it at the door instead.
void checkTables(sqlite3* db) {
    for (const schema::Table& table : schema::tables()) checkTable(db, table);
    checkView(db);
}

void runPragma(sqlite3* db, const char* sql) {
    Statement pragma(db, sql);
    while (pragma.step()) {
    }
}

void prepareConnection(sqlite3* db, const std::string& password) {
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // The file comes from outside the program: no schema-level tricks
    // (writable_schema, triggers calling our functions), and damaged pages
    // are caught where SQLite reads them.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    guardAgainstFile(db);
    runPragma(db, "PRAGMA cell_size_check = ON");
    sqlite3_create_function_v2(db, "rnd", -1, SQLITE_UTF8, nullptr, rndFunction, nullptr, nullptr,
                               nullptr);
    checkIntact(db);
    checkPassword(db, password);
    checkTables(db);
    history::checkShape(db);  // the pupil's history, when the file has it
    outbox::checkShape(db);   // the class outbox, when the file has it
    checkQuestionIds(db);
    useOwnView(db);
    if (sqlite3_db_readonly(db, "main") == 1) throw DataError("the database file is read-only");
}

// Write-ahead log with synchronous=NORMAL (see docs/database.md): a commit
// is one append to the log, a crash of the program never loses a committed
// action, a power cut may lose the last few.  Only a file that passed every
// check gets here: switching the mode writes to the file.
//
// Switching a rollback-journal file to the log upgrades a read to a write,
// and there SQLite returns "database is locked" at once instead of waiting
// (two connections waiting for each other would never end).  Two programs
// opening a fresh file together meet exactly that, so the switch is retried
// for as long as any other statement would wait.
std::string switchToWal(sqlite3* db) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
        {
            Statement journal(db, "PRAGMA journal_mode = WAL");
            try {
                if (!journal.step()) return "";
                auto mode = reinterpret_cast<const char*>(sqlite3_column_text(journal.get(), 0));
                return mode ? mode : "";
            } catch (const DataError&) {
                if ((sqlite3_errcode(db) & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline)
                    throw;
            }
        }  // the failed statement lets go of its locks before the pause
        sqlite3_sleep(20);
    }
}

void chooseJournal(sqlite3* db) {
    if (switchToWal(db) == "wal") {
        runPragma(db, "PRAGMA synchronous = NORMAL");
    } else {
        // A file system without shared memory for the log: the rollback
        // journal with a full sync of every commit is just as safe.
        std::fprintf(stderr, "aoshu: the database stays in rollback-journal mode\n");
        runPragma(db, "PRAGMA synchronous = FULL");
    }
}

}  // namespace

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::setConnectionString(std::string s) {
    connectionString_ = std::move(s);
}

const std::string& Connection::connectionString() const {
    return connectionString_;
}

void Connection::open() {
    if (connected()) return;
    auto settings = parseConnectionString(connectionString_);
    std::string path = dataSourcePath(settings);
    const std::string password = settingOrEmpty(settings, "jet oledb:database password");
    // A Jet 4.0 file becomes one of ours here, once; other formats fail.
    convertDataFileInPlace(path, password);
    auto impl = std::make_unique<Impl>();
    // Never create the file; an absent database is an error.
    if (!impl->database.open(path, SQLITE_OPEN_READWRITE))
        throw DataError("cannot open " + path + ": " + impl->database.errorText());
    try {
        prepareConnection(impl->db(), password);
        // An older file gets the history tables; before the switch to the
        // log, so that a failure leaves the file as it was.
        history::addMissingTables(impl->db());
        outbox::addMissingTable(impl->db());
        chooseJournal(impl->db());
    } catch (const DataError& e) {
        throw DataError(path + ": " + e.what());
    }
    impl_ = std::move(impl);
    transactionDepth_ = 0;
}

void Connection::beginTransaction() {
    Impl& i = impl();
    if (transactionDepth_++ > 0) return;
    try {
        Statement begin(i.db(), "BEGIN IMMEDIATE");
        begin.step();
        i.transaction = Impl::Transaction::Active;
    } catch (const DataError&) {
        i.transaction = Impl::Transaction::Lost;
        throw;
    }
}

void Connection::commitTransaction() {
    if (transactionDepth_ == 0) return;
    if (--transactionDepth_ > 0) return;
    Impl& i = impl();
    const bool lost = i.transaction == Impl::Transaction::Lost;
    i.transaction = Impl::Transaction::None;
    if (sqlite3_get_autocommit(i.db())) {
        if (lost) throw DataError("the transaction was rolled back; nothing of it was written");
        return;
    }
    if (sqlite3_exec(i.db(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string why = errorText(i.db());
        if (!sqlite3_get_autocommit(i.db())) sqlite3_exec(i.db(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw DataError("commit failed, nothing of the transaction was written: " + why);
    }
}

void Connection::rollbackTransaction() noexcept {
    if (transactionDepth_ == 0 || !impl_) {
        transactionDepth_ = 0;
        return;
    }
    // Rolling back an inner scope ends the whole transaction: the outer
    // scope's later writes do not run on their own.
    const bool outermost = --transactionDepth_ == 0;
    if (!sqlite3_get_autocommit(impl_->db())) sqlite3_exec(impl_->db(), "ROLLBACK", nullptr, nullptr, nullptr);
    impl_->transaction = outermost ? Impl::Transaction::None : Impl::Transaction::Lost;
}

void checkWriteAllowed(Connection::Impl& impl, Statement& statement) {
    if (impl.transaction == Connection::Impl::Transaction::Lost && !sqlite3_stmt_readonly(statement.get()))
        throw DataError("the transaction of this action was rolled back; the statement was not run");
}

void noteTransactionState(Connection::Impl& impl) {
    if (impl.transaction == Connection::Impl::Transaction::Active && sqlite3_get_autocommit(impl.db()))
        impl.transaction = Connection::Impl::Transaction::Lost;
}

void Connection::close() {
    impl_.reset();
    transactionDepth_ = 0;
}

bool Connection::connected() const {
    return impl_ != nullptr;
}

Connection::Impl& Connection::impl() {
    if (!impl_) throw DataError("the database is not open");
    return *impl_;
}

}  // namespace data
