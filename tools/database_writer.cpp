#include "database_writer.h"

#include "gbk.h"
#include "scramble.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <sqlite3.h>

namespace content {
namespace {

const char* const kInfoTable = "CREATE TABLE dbinfo (name TEXT PRIMARY KEY, value TEXT NOT NULL) STRICT;";

const char* const kProgramTables = R"sql(
CREATE TABLE b1 (zd1 INTEGER PRIMARY KEY, zd2 TEXT, zd5 INTEGER, zd6 TEXT, zd7 INTEGER,
                 zd9 INTEGER, zd10 INTEGER, zd11 INTEGER, zd12 BLOB, zd14 TEXT, zd15 BLOB,
                 zd16 INTEGER, zd17 INTEGER) STRICT;
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
INSERT INTO b2 (zd1, zd3, zd4, zd5, zd6, zd12) VALUES (1, NULL, NULL, 0, 0, 0);
INSERT INTO b5 (zd1, zd2, zd5, zd6) VALUES (1, NULL, 0, 0);
WITH RECURSIVE slot(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM slot WHERE n < 20)
  INSERT INTO b3 (zd1, zd2, zd3, zd4, zd5, zd6) SELECT n, 1, 0, '', 0, 0 FROM slot;
)sql";

class Database {
public:
    explicit Database(const std::filesystem::path& path) {
        int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK) {
            std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            sqlite3_close(db_);
            throw WriteError(path.string() + ": " + why);
        }
    }
    ~Database() { sqlite3_close(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const char* sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
            std::string why = message ? message : "unknown error";
            sqlite3_free(message);
            throw WriteError(why);
        }
    }
    sqlite3* handle() { return db_; }

private:
    sqlite3* db_ = nullptr;
};

// One prepared INSERT, run once per row; values bind left to right.
class Insert {
public:
    Insert(Database& db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db.handle(), sql, -1, &stmt_, nullptr) != SQLITE_OK)
            fail();
    }
    ~Insert() { sqlite3_finalize(stmt_); }
    Insert(const Insert&) = delete;
    Insert& operator=(const Insert&) = delete;

    Insert& integer(long long v) { check(sqlite3_bind_int64(stmt_, ++column_, v)); return *this; }
    Insert& optional(bool present, long long v) {
        if (present)
            return integer(v);
        check(sqlite3_bind_null(stmt_, ++column_));
        return *this;
    }
    Insert& text(const std::string& v) {
        check(sqlite3_bind_text(stmt_, ++column_, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
        return *this;
    }
    // An empty picture is stored as NULL.
    Insert& blob(const Jpeg& v) {
        if (v.empty())
            check(sqlite3_bind_null(stmt_, ++column_));
        else
            check(sqlite3_bind_blob(stmt_, ++column_, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
        return *this;
    }
    void run() {
        if (sqlite3_step(stmt_) != SQLITE_DONE)
            fail();
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        column_ = 0;
    }

private:
    void check(int rc) {
        if (rc != SQLITE_OK)
            fail();
    }
    [[noreturn]] void fail() { throw WriteError(sqlite3_errmsg(db_.handle())); }

    Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
    int column_ = 0;
};

std::string hex(const unsigned char* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

const Jpeg& picture(const PictureData& pictures, const std::string& path) {
    static const Jpeg none;
    if (path.empty())
        return none;
    auto it = pictures.find(path);
    if (it == pictures.end())
        throw WriteError("picture " + path + " was not rendered");
    return it->second;
}

void writePassword(Database& db) {
    Insert info(db, "INSERT INTO dbinfo (name, value) VALUES (?, ?)");
    for (const auto& [name, value] : infoRows(kDatabasePassword))
        info.text(name).text(value).run();
}

// zd10: 2 the grade's homework pool, 0 the mock paper drawn today (the
// first), 1 in the bank (the other mock papers).
int pool(const Question& q) {
    if (!q.mock)
        return kHomeworkPool;
    return q.paper == 1 ? kMockPaper : kInBank;
}

void writeQuestions(Database& db, const Grade& grade, const PictureData& pictures) {
    Insert row(db, "INSERT INTO b1 (zd1, zd2, zd5, zd6, zd7, zd9, zd10, zd11, zd12, zd14, zd15, zd16, zd17) "
                   "VALUES (?, ?, ?, ?, 0, ?, ?, ?, ?, ?, ?, ?, ?)");
    const int key = grade.code;
    for (std::size_t i = 0; i < grade.questions.size(); ++i) {
        const Question& q = grade.questions[i];
        std::string answer = "答案"_gbk + q.key;
        std::string analysis = q.analysis.empty() ? "" : scramble("分析"_gbk + gbk::fromUtf8(q.analysis), key);
        row.integer(grade.code * 1000LL + static_cast<long long>(i) + 1)
            .text(scramble(gbk::fromUtf8(q.text), key))
            .integer(q.level)
            .text(scramble(answer, key))
            .integer(grade.code)
            .integer(pool(q))
            .integer(q.picture.empty() ? 0 : 1)
            .blob(picture(pictures, q.picture))
            .text(analysis)
            .blob(picture(pictures, q.analysisPicture))
            .optional(q.unit >= 0, q.unit)
            .optional(q.mock, q.paper)
            .run();
    }
}

void writePictureRows(Insert& row, int grade, long long owner, const PictureList& list,
                      const PictureData& pictures) {
    for (const auto& [number, path] : list)
        row.integer(grade).integer(owner).integer(number).blob(picture(pictures, path)).run();
}

void writeUnits(Database& db, const Content& content, const PictureData& pictures) {
    Insert unit(db, "INSERT INTO b4 (zd1, zd2, zd3, zd4, zd5, zd6) VALUES (?, ?, ?, ?, ?, ?)");
    Insert pic(db, "INSERT INTO b6 (zd2, zd3, zd4, zd5) VALUES (?, ?, ?, ?)");
    long long id = 0;
    for (const Grade& g : content.grades) {
        for (std::size_t pos = 0; pos < g.units.size(); ++pos) {
            const Unit& u = g.units[pos];
            unit.integer(++id).text(u.name).integer(g.code).integer(static_cast<long long>(pos))
                .text(u.page).text(u.status).run();
            writePictureRows(pic, g.code, static_cast<long long>(pos), u.pictures, pictures);
        }
    }
}

void writePosts(Database& db, const Content& content, const PictureData& pictures) {
    Insert post(db, "INSERT INTO b4 (zd1, zd2, zd3, zd4, zd5, zd6) VALUES (?, ?, ?, 0, ?, '')");
    Insert pic(db, "INSERT INTO b6 (zd2, zd3, zd4, zd5) VALUES (?, ?, ?, ?)");
    long long next = kFixedPostId + 1;
    for (const Post& p : content.posts) {
        long long id = p.fixed ? kFixedPostId : next++;
        post.integer(id).text(p.title).integer(kPostGrade).text(p.text).run();
        writePictureRows(pic, kPostGrade, id, p.pictures, pictures);
    }
}

}  // namespace

const char* programTablesSql() { return kProgramTables; }

const char* infoTableSql() { return kInfoTable; }

std::string passwordDigest(const std::vector<unsigned char>& salt, const std::string& password) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(salt.data()), static_cast<qsizetype>(salt.size())));
    hash.addData(QByteArrayView(password.data(), static_cast<qsizetype>(password.size())));
    return hash.result().toHex().toStdString();
}

std::vector<std::pair<std::string, std::string>> infoRows(const std::string& password) {
    std::vector<unsigned char> salt(16);
    for (auto& b : salt)
        b = static_cast<unsigned char>(QRandomGenerator::system()->bounded(256));
    return {{"format", kDatabaseFormat},
            {"password-salt", hex(salt.data(), salt.size())},
            {"password-sha256", passwordDigest(salt, password)}};
}

void writeDatabase(const std::filesystem::path& path, const Content& content,
                   const PictureData& pictures) {
    if (std::filesystem::exists(path))
        throw WriteError(path.string() + ": already exists");
    Database db(path);
    db.exec("BEGIN");
    db.exec(kInfoTable);
    db.exec(kProgramTables);
    writePassword(db);
    for (const Grade& g : content.grades)
        writeQuestions(db, g, pictures);
    writeUnits(db, content, pictures);
    writePosts(db, content, pictures);
    db.exec("COMMIT");
}

}  // namespace content
