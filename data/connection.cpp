#include "connection_impl.h"
#include "connection_string.h"
#include "history.h"
#include "jet_convert.h"

#include <QByteArray>
#include <QCryptographicHash>

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

bool isBlankTail(std::string_view tail) {
    return std::all_of(tail.begin(), tail.end(), [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) || c == ';';
    });
}

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
    QByteArray salt = QByteArray::fromHex(QByteArray::fromStdString(dbinfoValue(db, "password-salt")));
    QByteArray expected = QByteArray::fromStdString(dbinfoValue(db, "password-sha256")).toLower();
    QByteArray digest =
        QCryptographicHash::hash(salt + QByteArray::fromStdString(password), QCryptographicHash::Sha256)
            .toHex();
    if (digest != expected) throw DataError("wrong database password");
}

// The tables and columns the program's statements use, with the affinity
// each column must have (i integer, t text, b binary; v: any, for the view).
struct RequiredTable {
    const char* name;
    bool view;
    std::vector<std::pair<const char*, char>> columns;
    // Columns newer files have and older ones (an earlier copy, a converted
    // Jet file) lack: checked for their affinity only where present.
    std::vector<std::pair<const char*, char>> optional = {};
};

const std::vector<RequiredTable>& requiredTables() {
    static const std::vector<RequiredTable> tables = {
        {"b1", false, {{"zd1", 'i'}, {"zd2", 't'}, {"zd5", 'i'}, {"zd6", 't'}, {"zd7", 'i'}, {"zd9", 'i'},
                       {"zd10", 'i'}, {"zd11", 'i'}, {"zd12", 'b'}, {"zd14", 't'}, {"zd15", 'b'}},
               {{"zd16", 'i'}, {"zd17", 'i'}}},
        {"b2", false, {{"zd1", 'i'}, {"zd3", 't'}, {"zd4", 't'}, {"zd5", 'i'}, {"zd6", 'i'}, {"zd12", 'i'}}},
        {"b3", false, {{"zd1", 'i'}, {"zd2", 'i'}, {"zd3", 'i'}, {"zd4", 't'}, {"zd5", 'i'}, {"zd6", 'i'}}},
        {"b4", false, {{"zd1", 'i'}, {"zd2", 't'}, {"zd3", 'i'}, {"zd4", 'i'}, {"zd5", 't'}, {"zd6", 't'}}},
        {"b5", false, {{"zd1", 'i'}, {"zd2", 't'}, {"zd5", 'i'}, {"zd6", 'i'}}},
        {"b6", false, {{"zd1", 'i'}, {"zd2", 'i'}, {"zd3", 'i'}, {"zd4", 'i'}, {"zd5", 'b'}}},
        {"v_b", true, {{"zd101", 'v'}, {"zd102", 'v'}, {"zd104", 'v'}, {"zd1", 'v'}, {"zd2", 'v'}, {"zd6", 'v'},
                       {"zd9", 'v'}, {"zd14", 'v'}}},
    };
    return tables;
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

void checkAffinity(const char* table, const char* column, const std::string& declared, char affinity) {
    if (affinity != 'v' && affinityOf(declared) != affinity)
        throw DataError(std::string("the column ") + table + "." + column + " is declared " +
                        (declared.empty() ? "without a type" : declared));
}

// A file that passes the checks but lacks a table or a column, or holds a
// table of another kind, would fail statement after statement later on:
// reject it at the door instead.
void checkTables(sqlite3* db) {
    for (const RequiredTable& table : requiredTables()) {
        Statement kind(db, "SELECT type FROM sqlite_schema WHERE lower(name) = ?");
        sqlite3_bind_text(kind.get(), 1, table.name, -1, SQLITE_STATIC);
        if (!kind.step()) throw DataError(std::string("the database has no table ") + table.name);
        const auto* kindText = reinterpret_cast<const char*>(sqlite3_column_text(kind.get(), 0));
        const std::string type = kindText ? kindText : "";
        if (type != "table" && !(table.view && type == "view"))
            throw DataError(std::string(table.name) + " is a " + type + ", not a table");

        std::map<std::string, std::string> columns;  // lower-case name -> declared type
        Statement info(db, "SELECT lower(name), type FROM pragma_table_info(?)");
        sqlite3_bind_text(info.get(), 1, table.name, -1, SQLITE_STATIC);
        while (info.step()) {
            auto text = [&](int i) {
                auto t = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), i));
                return std::string(t ? t : "");
            };
            columns[text(0)] = text(1);
        }
        for (const auto& [name, affinity] : table.columns) {
            if (!columns.count(name))
                throw DataError(std::string("the table ") + table.name + " has no column " + name);
            checkAffinity(table.name, name, columns.at(name), affinity);
        }
        for (const auto& [name, affinity] : table.optional)
            if (columns.count(name))
                checkAffinity(table.name, name, columns.at(name), affinity);
    }
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
    runPragma(db, "PRAGMA cell_size_check = ON");
    sqlite3_create_function_v2(db, "rnd", -1, SQLITE_UTF8, nullptr, rndFunction, nullptr, nullptr,
                               nullptr);
    checkIntact(db);
    checkPassword(db, password);
    checkTables(db);
    history::checkShape(db);  // the pupil's history, when the file has it
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

std::string errorText(sqlite3* db) {
    return db ? sqlite3_errmsg(db) : "out of memory";
}

Connection::Impl::~Impl() {
    if (db) sqlite3_close_v2(db);
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, &tail) != SQLITE_OK)
        throw DataError(errorText(db));
    if (!stmt_) throw DataError("empty statement");
    // Jet runs one statement per text; a second one is an error, not ignored.
    if (!isBlankTail(sql.substr(tail - sql.data()))) {
        sqlite3_finalize(stmt_);
        throw DataError("more than one statement in one text");
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

bool Statement::step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw DataError(errorText(db_));
}

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
    if (sqlite3_open_v2(path.c_str(), &impl->db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        throw DataError("cannot open " + path + ": " + errorText(impl->db));
    try {
        prepareConnection(impl->db, password);
        // An older file gets the history tables; before the switch to the
        // log, so that a failure leaves the file as it was.
        history::addMissingTables(impl->db);
        chooseJournal(impl->db);
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
        Statement begin(i.db, "BEGIN IMMEDIATE");
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
    if (sqlite3_get_autocommit(i.db)) {
        if (lost) throw DataError("the transaction was rolled back; nothing of it was written");
        return;
    }
    if (sqlite3_exec(i.db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string why = errorText(i.db);
        if (!sqlite3_get_autocommit(i.db)) sqlite3_exec(i.db, "ROLLBACK", nullptr, nullptr, nullptr);
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
    if (!sqlite3_get_autocommit(impl_->db)) sqlite3_exec(impl_->db, "ROLLBACK", nullptr, nullptr, nullptr);
    impl_->transaction = outermost ? Impl::Transaction::None : Impl::Transaction::Lost;
}

void checkWriteAllowed(Connection::Impl& impl, Statement& statement) {
    if (impl.transaction == Connection::Impl::Transaction::Lost && !sqlite3_stmt_readonly(statement.get()))
        throw DataError("the transaction of this action was rolled back; the statement was not run");
}

void noteTransactionState(Connection::Impl& impl) {
    if (impl.transaction == Connection::Impl::Transaction::Active && sqlite3_get_autocommit(impl.db))
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
