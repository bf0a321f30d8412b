#include "outbox.h"

#include "connection_impl.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sqlite3.h>

namespace data::outbox {
namespace {

const char* const kCreate =
    "CREATE TABLE class_outbox (seq INTEGER PRIMARY KEY, id TEXT NOT NULL UNIQUE, entry TEXT NOT NULL, "
    "written TEXT NOT NULL, sent TEXT) STRICT";
const char* const kIndex = "CREATE INDEX IF NOT EXISTS class_outbox_unsent ON class_outbox (seq) WHERE sent IS NULL";

bool hasTable(sqlite3* db, const std::string& schema = "main") {
    Statement kind(db, "SELECT type FROM \"" + schema + "\".sqlite_schema WHERE lower(name) = 'class_outbox'");
    if (!kind.step()) return false;
    if (kind.text(0) != "table") throw DataError("class_outbox is a " + kind.text(0) + ", not a table");
    return true;
}

bool hasIndex(sqlite3* db) {
    Statement kind(db, "SELECT 1 FROM sqlite_schema WHERE name = 'class_outbox_unsent'");
    return kind.step();
}

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QJsonValue& v) { return v.toString().toStdString(); }

char letter(const QJsonValue& v) {
    const std::string t = s(v);
    return t.size() == 1 ? t[0] : '@';
}

}  // namespace

void checkShape(sqlite3* db, const std::string& schema) {
    if (!hasTable(db, schema)) return;
    Statement info(db, "SELECT lower(name), upper(type) FROM pragma_table_info('class_outbox', ?)");
    info.bind(1, schema);
    std::vector<std::pair<std::string, std::string>> columns;
    while (info.step()) columns.emplace_back(info.text(0), info.text(1));
    for (const auto& [name, type] : std::vector<std::pair<std::string, std::string>>{
             {"seq", "INTEGER"}, {"id", "TEXT"}, {"entry", "TEXT"}, {"written", "TEXT"}, {"sent", "TEXT"}}) {
        bool found = false;
        for (const auto& c : columns) found = found || (c.first == name && c.second == type);
        if (!found) throw DataError("the table class_outbox has no column " + name + " " + type);
    }
}

void addMissingTable(sqlite3* db) {
    if (hasTable(db) && hasIndex(db)) return;
    auto run = [db](const char* sql) {
        Statement statement(db, sql);
        while (statement.step()) {
        }
    };
    run("BEGIN IMMEDIATE");
    try {
        if (!hasTable(db)) run(kCreate);
        run(kIndex);
        run("COMMIT");
    } catch (...) {
        if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::string newId() {
    unsigned char bytes[16];
    sqlite3_randomness(sizeof bytes, bytes);
    static const char* const hex = "0123456789abcdef";
    std::string id;
    for (unsigned char b : bytes) {
        id += hex[b >> 4];
        id += hex[b & 15];
    }
    return id;
}

std::string toText(const Entry& e) {
    QJsonArray answers;
    for (const Answer& a : e.answers)
        answers.append(QJsonObject{{"slot", a.slot},
                                   {"question", a.question},
                                   {"chosen", q(std::string(1, a.chosen))},
                                   {"key", q(std::string(1, a.rightLetter))},
                                   {"right", a.right},
                                   {"text", q(a.text)}});
    const QJsonObject o{{"id", q(e.id)},           {"school", q(e.school)},     {"class", q(e.className)},
                        {"pupil", q(e.pupil)},     {"grade", e.grade},          {"gradeName", q(e.gradeName)},
                        {"unit", e.unit},          {"unitName", q(e.unitName)}, {"day", e.day},
                        {"start", q(e.start)},     {"finish", q(e.finish)},     {"seconds", e.seconds},
                        {"score", e.score},        {"grading", e.grading},      {"answers", answers}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

Entry fromText(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    if (!doc.isObject()) throw DataError("an outbox entry is not readable: " + error.errorString().toStdString());
    const QJsonObject o = doc.object();
    Entry e;
    e.id = s(o["id"]);
    if (e.id.size() != 32) throw DataError("an outbox entry has no id");
    e.school = s(o["school"]);
    e.className = s(o["class"]);
    e.pupil = s(o["pupil"]);
    e.grade = o["grade"].toInt(-1);
    e.gradeName = s(o["gradeName"]);
    e.unit = o["unit"].toInt(-1);
    e.unitName = s(o["unitName"]);
    e.day = o["day"].toInt();
    e.start = s(o["start"]);
    e.finish = s(o["finish"]);
    e.seconds = o["seconds"].toInt();
    e.score = o["score"].toInt();
    e.grading = o["grading"].toInt(1);
    for (const QJsonValue& v : o["answers"].toArray()) {
        const QJsonObject a = v.toObject();
        e.answers.push_back({a["slot"].toInt(), a["question"].toInt(), letter(a["chosen"]), letter(a["key"]),
                             a["right"].toBool(), s(a["text"])});
    }
    return e;
}

void add(Connection& connection, const Entry& entry) {
    Connection::Impl& impl = connection.impl();
    Statement insert(impl.db(),
                     "INSERT INTO class_outbox (id, entry, written) VALUES (?, ?, strftime('%Y-%m-%d %H:%M:%S', 'now'))");
    insert.bind(1, entry.id).bind(2, toText(entry));
    runGuarded(impl, insert, [&] { return insert.step(); });
}

std::vector<Entry> unsent(sqlite3* db, std::size_t limit) {
    std::vector<Entry> out;
    if (!hasTable(db)) return out;
    Statement rows(db, "SELECT entry FROM class_outbox WHERE sent IS NULL ORDER BY seq LIMIT ?");
    rows.bind(1, static_cast<long long>(limit));
    while (rows.step()) {
        try {
            out.push_back(fromText(rows.text(0)));
        } catch (const DataError&) {
            // A damaged entry stays in the file, unsent; the others go.
        }
    }
    return out;
}

long long unsentCount(sqlite3* db) {
    if (!hasTable(db)) return 0;
    Statement count(db, "SELECT count(*) FROM class_outbox WHERE sent IS NULL");
    count.step();
    return count.integer(0);
}

void markSent(sqlite3* db, const std::vector<std::string>& ids) {
    if (ids.empty()) return;
    Statement begin(db, "BEGIN IMMEDIATE");
    begin.step();
    try {
        Statement mark(db, "UPDATE class_outbox SET sent = strftime('%Y-%m-%d %H:%M:%S', 'now') "
                           "WHERE id = ? AND sent IS NULL");
        for (const std::string& id : ids) {
            mark.reset();
            mark.bind(1, id);
            mark.step();
        }
        Statement commit(db, "COMMIT");
        commit.step();
    } catch (...) {
        if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

}  // namespace data::outbox
