#include "test_db.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testdb {
namespace {

const char* kSchema = R"(
CREATE TABLE b1 (zd1 INTEGER PRIMARY KEY, zd2 TEXT, zd5 INTEGER, zd6 TEXT, zd7 INTEGER,
                 zd9 INTEGER, zd10 INTEGER, zd11 INTEGER, zd12 BLOB, zd14 TEXT, zd15 BLOB) STRICT;
CREATE TABLE b2 (zd1 INTEGER PRIMARY KEY, zd3 TEXT, zd4 TEXT, zd5 INTEGER, zd6 INTEGER,
                 zd12 INTEGER) STRICT;
CREATE TABLE b3 (zd1 INTEGER PRIMARY KEY, zd2 INTEGER, zd3 INTEGER, zd4 TEXT, zd5 INTEGER,
                 zd6 INTEGER) STRICT;
CREATE TABLE b4 (zd1 INTEGER PRIMARY KEY, zd2 TEXT, zd3 INTEGER, zd4 INTEGER, zd5 TEXT,
                 zd6 TEXT) STRICT;
CREATE TABLE b5 (zd1 INTEGER PRIMARY KEY, zd2 TEXT, zd5 INTEGER, zd6 INTEGER) STRICT;
CREATE TABLE b6 (zd1 INTEGER PRIMARY KEY, zd2 INTEGER, zd3 INTEGER, zd4 INTEGER, zd5 BLOB) STRICT;
CREATE VIEW v_b AS
  SELECT b3.zd1 AS zd101, b3.zd2 AS zd102, b3.zd4 AS zd104,
         b1.zd1 AS zd1, b1.zd2 AS zd2, b1.zd6 AS zd6, b1.zd9 AS zd9, b1.zd14 AS zd14
  FROM b3 LEFT JOIN b1 ON b1.zd1 = b3.zd3;
INSERT INTO b2 VALUES (1, NULL, NULL, 0, 0, 0);
INSERT INTO b5 VALUES (1, 'x', 3, 2);
INSERT INTO b4 VALUES (201, '每日一帖', 12, 0, '固定', '有');
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20)
INSERT INTO b3 SELECT i, 1, 0, '', 0, 0 FROM n;
)";

struct Db {
    sqlite3* db = nullptr;
    explicit Db(const std::string& file, int flags) {
        if (sqlite3_open_v2(file.c_str(), &db, flags, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + file);
    }
    ~Db() { sqlite3_close(db); }
};

void run(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error(message + " in " + sql);
    }
}

std::string quoted(const std::string& s) {
    return "'" + s + "'";  // the test values hold no quotes
}

}  // namespace

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "datatest-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void createDatabase(const std::string& file, const std::string& password, bool withDbinfo) {
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    Db db(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    run(db.db, kSchema);
    if (!withDbinfo) return;
    QByteArray salt = QByteArray::fromHex("5a17c0ffee");
    QByteArray digest = QCryptographicHash::hash(salt + QByteArray::fromStdString(password),
                                                 QCryptographicHash::Sha256);
    run(db.db, "CREATE TABLE dbinfo (name TEXT PRIMARY KEY, value TEXT NOT NULL) STRICT;");
    run(db.db, "INSERT INTO dbinfo VALUES ('password-salt', " + quoted(salt.toHex().toStdString()) +
                   "), ('password-sha256', " + quoted(digest.toHex().toStdString()) + ");");
}

void exec(const std::string& file, const std::string& sql) {
    Db db(file, SQLITE_OPEN_READWRITE);
    run(db.db, sql);
}

std::string scalar(const std::string& file, const std::string& sql) {
    Db db(file, SQLITE_OPEN_READONLY);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot prepare " + sql);
    std::string value;
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0))
        value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    return value;
}

std::string readFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string connectionString(const std::string& file) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=" + file +
           ";Mode=Share Deny None;Jet OLEDB:Database Password=\"" + kPassword + "\";Jet OLEDB:SFP=False";
}

}  // namespace testdb
