#include "test_db.h"

#include "schema.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace testdb {
namespace {

// The rows the data tests read besides the program's own.
const char* kTestRows = R"(
UPDATE b5 SET zd2 = 'x', zd5 = 3, zd6 = 2 WHERE zd1 = 1;
INSERT INTO b4 VALUES (201, '每日一帖', 12, 0, '固定', '有');
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
    run(db.db, data::schema::programTablesSql());
    run(db.db, kTestRows);
    if (!withDbinfo) return;
    const std::vector<unsigned char> salt = {0x5a, 0x17, 0xc0, 0xff, 0xee};
    run(db.db, data::schema::infoTableSql());
    run(db.db, "INSERT INTO dbinfo VALUES ('password-salt', '5a17c0ffee'), ('password-sha256', " +
                   quoted(data::schema::passwordDigest(salt, password)) + ");");
}

void exec(const std::string& file, const std::string& sql) {
    Db db(file, SQLITE_OPEN_READWRITE);
    run(db.db, sql);
}

std::string scalar(const std::string& file, const std::string& sql) {
    // A program killed while it wrote leaves a journal or a write-ahead log
    // to be rolled back or replayed before the file can be read, which a
    // read-only connection cannot do.
    const std::string header = readFile(file).substr(0, 20);
    bool recover = header.size() == 20 && header[18] == 2;
    for (const char* companion : {"-journal", "-wal", "-shm"})
        recover = recover || std::ifstream(file + companion).good();
    Db db(file, recover ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot prepare " + sql + ": " + sqlite3_errmsg(db.db));
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
