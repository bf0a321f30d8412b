#include "sqlite.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace data {
namespace {

bool isBlankTail(std::string_view tail) {
    return std::all_of(tail.begin(), tail.end(), [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) || c == ';';
    });
}

}  // namespace

std::string errorText(sqlite3* db) {
    return db ? sqlite3_errmsg(db) : "out of memory";
}

std::string systemReason(sqlite3* db) {
    const int error = db ? sqlite3_system_errno(db) : 0;
    return error ? std::string(" (") + std::strerror(error) + ")" : std::string();
}

Database::~Database() {
    if (db_) sqlite3_close_v2(db_);
}

bool Database::open(const std::string& path, int flags) {
    if (db_) close();
    const bool opened = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) == SQLITE_OK;
    if (db_) sqlite3_extended_result_codes(db_, 1);
    return opened;
}

bool Database::close() {
    if (!db_) return true;
    if (sqlite3_close(db_) != SQLITE_OK) return false;
    db_ = nullptr;
    return true;
}

void Database::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string why = message ? message : errorText();
        sqlite3_free(message);
        throw DataError(why);
    }
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

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

void Statement::check(int rc) const {
    if (rc != SQLITE_OK) throw DataError(errorText(db_));
}

Statement& Statement::bind(int index, long long value) {
    check(sqlite3_bind_int64(stmt_, index, value));
    return *this;
}

Statement& Statement::bind(int index, const std::string& text) {
    check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::bind(int index, const std::vector<unsigned char>& blob) {
    if (blob.empty()) return bindNull(index);
    check(sqlite3_bind_blob(stmt_, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::bindNull(int index) {
    check(sqlite3_bind_null(stmt_, index));
    return *this;
}

std::string Statement::text(int column) const {
    auto t = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return t ? t : "";
}

long long Statement::integer(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

}  // namespace data
