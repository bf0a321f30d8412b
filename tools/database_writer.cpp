#include "database_writer.h"

#include "gbk.h"
#include "scramble.h"

#include "schema.h"
#include "sqlite.h"

#include <memory>

namespace content {
namespace {

// The one connection of the writer; failures become WriteError.
class Database {
public:
    explicit Database(const std::filesystem::path& path) {
        if (!db_.open(path.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE))
            throw WriteError(path.string() + ": " + db_.errorText());
    }
    void exec(const std::string& sql) {
        try {
            db_.exec(sql);
        } catch (const data::DataError& e) {
            throw WriteError(e.what());
        }
    }
    sqlite3* handle() { return db_.handle(); }

private:
    data::Database db_;
};

// One prepared INSERT, run once per row; values bind left to right.
class Insert {
public:
    Insert(Database& db, const char* sql) : statement_(prepare(db, sql)) {}

    Insert& integer(long long v) { return bound([&] { statement_->bind(++column_, v); }); }
    // NULL unless present.
    Insert& optional(bool present, long long v) {
        if (present) return integer(v);
        return bound([&] { statement_->bindNull(++column_); });
    }
    Insert& text(const std::string& v) { return bound([&] { statement_->bind(++column_, v); }); }
    // An empty picture is stored as NULL.
    Insert& blob(const Jpeg& v) { return bound([&] { statement_->bind(++column_, v); }); }
    void run() {
        guarded([&] { statement_->step(); });
        statement_->reset();
        column_ = 0;
    }

private:
    static std::unique_ptr<data::Statement> prepare(Database& db, const char* sql) {
        try {
            return std::make_unique<data::Statement>(db.handle(), sql);
        } catch (const data::DataError& e) {
            throw WriteError(e.what());
        }
    }
    template <class F>
    static void guarded(F&& f) {
        try {
            f();
        } catch (const data::DataError& e) {
            throw WriteError(e.what());
        }
    }
    template <class F>
    Insert& bound(F&& f) {
        guarded(f);
        return *this;
    }

    std::unique_ptr<data::Statement> statement_;
    int column_ = 0;
};

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
    for (const auto& [name, value] : data::schema::infoRows(kDatabasePassword))
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

void writeDatabase(const std::filesystem::path& path, const Content& content,
                   const PictureData& pictures) {
    if (std::filesystem::exists(path))
        throw WriteError(path.string() + ": already exists");
    Database db(path);
    db.exec("BEGIN");
    db.exec(data::schema::infoTableSql());
    db.exec(data::schema::programTablesSql());
    writePassword(db);
    for (const Grade& g : content.grades)
        writeQuestions(db, g, pictures);
    writeUnits(db, content, pictures);
    writePosts(db, content, pictures);
    db.exec("COMMIT");
}

}  // namespace content
