#include "connection_impl.h"
#include "connection_string.h"
#include "jet_convert.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <cctype>
#include <cstring>

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

void prepareConnection(sqlite3* db, const std::string& password) {
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_create_function_v2(db, "rnd", -1, SQLITE_UTF8, nullptr, rndFunction, nullptr, nullptr,
                               nullptr);
    checkIntact(db);
    checkPassword(db, password);
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
    } catch (const DataError& e) {
        throw DataError(path + ": " + e.what());
    }
    impl_ = std::move(impl);
}

void Connection::close() {
    impl_.reset();
}

bool Connection::connected() const {
    return impl_ != nullptr;
}

Connection::Impl& Connection::impl() {
    if (!impl_) throw DataError("the database is not open");
    return *impl_;
}

}  // namespace data
