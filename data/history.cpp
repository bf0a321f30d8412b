#include "history.h"

#include "connection_impl.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <utility>

namespace data::history {
namespace {

struct TableShape {
    const char* name;
    const char* createSql;
    std::vector<std::pair<const char*, char>> columns;  // name, 'i' integer or 't' text
};

const std::vector<TableShape>& tables() {
    static const std::vector<TableShape> shapes = {
        {"history_homework",
         "CREATE TABLE history_homework (id INTEGER PRIMARY KEY, grade INTEGER NOT NULL, unit INTEGER NOT NULL, "
         "paper INTEGER, day INTEGER NOT NULL, start TEXT NOT NULL, finish TEXT NOT NULL, "
         "seconds INTEGER NOT NULL, score INTEGER NOT NULL, grading INTEGER NOT NULL) STRICT",
         {{"id", 'i'}, {"grade", 'i'}, {"unit", 'i'}, {"paper", 'i'}, {"day", 'i'}, {"start", 't'},
          {"finish", 't'}, {"seconds", 'i'}, {"score", 'i'}, {"grading", 'i'}}},
        {"history_answer",
         "CREATE TABLE history_answer (homework INTEGER NOT NULL, slot INTEGER NOT NULL, "
         "question INTEGER NOT NULL, letter TEXT NOT NULL, correct INTEGER NOT NULL, "
         "PRIMARY KEY (homework, slot)) WITHOUT ROWID, STRICT",
         {{"homework", 'i'}, {"slot", 'i'}, {"question", 'i'}, {"letter", 't'}, {"correct", 'i'}}},
        {"question_schedule",
         "CREATE TABLE question_schedule (question INTEGER PRIMARY KEY, grade INTEGER NOT NULL, unit INTEGER, "
         "seen INTEGER, step INTEGER NOT NULL, due INTEGER) STRICT",
         {{"question", 'i'}, {"grade", 'i'}, {"unit", 'i'}, {"seen", 'i'}, {"step", 'i'}, {"due", 'i'}}},
        {"daily_choice",
         "CREATE TABLE daily_choice (day INTEGER NOT NULL, grade INTEGER NOT NULL, unit INTEGER NOT NULL, "
         "question INTEGER NOT NULL, PRIMARY KEY (day, grade, unit, question)) WITHOUT ROWID, STRICT",
         {{"day", 'i'}, {"grade", 'i'}, {"unit", 'i'}, {"question", 'i'}}},
    };
    return shapes;
}

// The indexes the daily choice reads through; the one on the question bank
// covers the columns the choice filters on, those of the file's shape.
std::vector<std::string> indexSql(bool tagged) {
    return {
        "CREATE INDEX IF NOT EXISTS question_schedule_due ON question_schedule (grade, due) WHERE step > 0",
        "CREATE INDEX IF NOT EXISTS question_schedule_seen ON question_schedule (grade, seen)",
        "CREATE INDEX IF NOT EXISTS question_schedule_unseen ON question_schedule (grade, unit) WHERE seen IS NULL",
        tagged ? "CREATE INDEX IF NOT EXISTS b1_bank ON b1 (zd9, zd10, zd16, zd17)"
               : "CREATE INDEX IF NOT EXISTS b1_bank ON b1 (zd9, zd10)",
    };
}

std::string text(sqlite3_stmt* statement, int column) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return t ? t : "";
}

// "table", "view", ... or "" when nothing has that name.
std::string kindOf(sqlite3* db, const char* name) {
    Statement kind(db, "SELECT type FROM sqlite_schema WHERE lower(name) = ?");
    sqlite3_bind_text(kind.get(), 1, name, -1, SQLITE_STATIC);
    return kind.step() ? text(kind.get(), 0) : "";
}

std::map<std::string, std::string> columnsOf(sqlite3* db, const char* table) {
    std::map<std::string, std::string> columns;  // lower-case name -> upper-case declared type
    Statement info(db, "SELECT lower(name), upper(type) FROM pragma_table_info(?)");
    sqlite3_bind_text(info.get(), 1, table, -1, SQLITE_STATIC);
    while (info.step()) columns[text(info.get(), 0)] = text(info.get(), 1);
    return columns;
}

bool hasAffinity(const std::string& declared, char affinity) {
    if (affinity == 'i') return declared.find("INT") != std::string::npos;
    return declared.find("INT") == std::string::npos &&
           (declared.find("TEXT") != std::string::npos || declared.find("CHAR") != std::string::npos);
}

bool bankIsTagged(sqlite3* db) {
    const auto columns = columnsOf(db, "b1");
    return columns.count("zd16") && columns.count("zd17");
}

void exec(sqlite3* db, const std::string& sql) {
    Statement statement(db, sql);
    while (statement.step()) {
    }
}

std::string literal(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

}  // namespace

void checkShape(sqlite3* db) {
    for (const TableShape& table : tables()) {
        const std::string kind = kindOf(db, table.name);
        if (kind.empty()) continue;
        if (kind != "table") throw DataError(std::string(table.name) + " is a " + kind + ", not a table");
        const auto columns = columnsOf(db, table.name);
        for (const auto& [name, affinity] : table.columns) {
            auto it = columns.find(name);
            if (it == columns.end())
                throw DataError(std::string("the table ") + table.name + " has no column " + name);
            if (!hasAffinity(it->second, affinity))
                throw DataError(std::string("the column ") + table.name + "." + name + " is declared " +
                                (it->second.empty() ? "without a type" : it->second));
        }
    }
}

void addMissingTables(sqlite3* db) {
    const bool tagged = bankIsTagged(db);
    bool complete = true;
    for (const TableShape& table : tables()) complete = complete && !kindOf(db, table.name).empty();
    for (const char* index : {"question_schedule_due", "question_schedule_seen", "question_schedule_unseen", "b1_bank"})
        complete = complete && !kindOf(db, index).empty();
    if (complete) return;

    exec(db, "BEGIN IMMEDIATE");
    try {
        const bool newSchedule = kindOf(db, "question_schedule").empty();
        for (const TableShape& table : tables())
            if (kindOf(db, table.name).empty()) exec(db, table.createSql);
        // Every question of the homework banks starts unseen.
        if (newSchedule)
            exec(db, tagged ? "INSERT INTO question_schedule (question, grade, unit, seen, step, due) "
                              "SELECT zd1, zd9, zd16, NULL, 0, NULL FROM b1 WHERE zd10 IN (1, 2) AND zd17 IS NULL"
                            : "INSERT INTO question_schedule (question, grade, unit, seen, step, due) "
                              "SELECT zd1, zd9, NULL, NULL, 0, NULL FROM b1 WHERE zd10 IN (1, 2)");
        for (const std::string& sql : indexSql(tagged)) exec(db, sql);
        exec(db, "COMMIT");
    } catch (...) {
        if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

int nextStep(int step, bool right) {
    if (!right) return 1;
    if (step <= 0) return 0;
    return std::min(step + 1, static_cast<int>(std::size(kLadderDays)));
}

void recordGrading(Connection& connection, const Grading& g) {
    Query insert(connection);
    insert.setSql(
        "insert into history_homework (grade, unit, paper, day, start, finish, seconds, score, grading) "
        "values (?, ?, " +
        (g.paper ? std::to_string(*g.paper) : std::string("null")) + ", ?, " + literal(g.start) + ", " +
        literal(g.finish) + ", ?, ?, ?)");
    insert.setParameters({g.grade, g.unit, g.day, g.seconds, g.score, g.grading});
    insert.execSql();

    Query id(connection, "select last_insert_rowid() as id");
    id.open();
    const long long homework = id.fieldByName("id").asInteger();

    Query answer(connection);
    int slot = 0;
    for (const Answer& a : g.answers) {
        ++slot;
        // The letter goes in as its code: the statement text stays free of data.
        answer.setSql("insert into history_answer (homework, slot, question, letter, correct) "
                      "values (?, ?, ?, char(?), ?)");
        answer.setParameters({homework, slot, a.question, static_cast<unsigned char>(a.letter), a.right ? 1 : 0});
        answer.execSql();
    }
    if (g.grading != 1) return;

    // Questions outside the homework banks (the mock papers) have no schedule.
    Query step(connection);
    Query write(connection);
    for (const Answer& a : g.answers) {
        step.setSql("select step from question_schedule where question = ?");
        step.setParameters({a.question});
        step.open();
        if (step.eof()) continue;
        const int next = nextStep(static_cast<int>(step.fieldByName("step").asInteger()), a.right);
        write.setSql("update question_schedule set seen = ?, step = ?, due = " +
                     (next ? std::to_string(g.day + kLadderDays[next - 1]) : std::string("null")) +
                     " where question = ?");
        write.setParameters({g.day, next, a.question});
        write.execSql();
    }
}

}  // namespace data::history
