#include "upgrade.h"

#include "datam.h"
#include "history.h"
#include "outbox.h"
#include "jet_convert.h"
#include "jet_file.h"
#include "schema.h"
#include "sqlite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace data::upgrade {
namespace {

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

long long count(sqlite3* db, const std::string& sql) {
    Statement s(db, sql);
    return s.step() ? s.integer(0) : 0;
}

bool hasTable(sqlite3* db, const std::string& schemaName, const std::string& table) {
    Statement s(db, "SELECT 1 FROM " + schemaName + ".sqlite_schema WHERE type = 'table' AND lower(name) = ?");
    s.bind(1, table);
    return s.step();
}

std::string info(sqlite3* db, const char* name) {
    Statement s(db, "SELECT value FROM dbinfo WHERE name = ?");
    s.bind(1, std::string(name));
    return s.step() ? s.text(0) : "";
}

void openFile(Database& db, const std::string& path, bool readOnly) {
    if (!std::filesystem::is_regular_file(path)) throw DataError(path + ": no such file");
    if (!db.open(path, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE))
        throw DataError(path + ": " + db.errorText());
    sqlite3_busy_timeout(db.handle(), 5000);
}

void checkOpen(sqlite3* db, const std::string& path, const std::string& password) {
    Statement quick(db, "PRAGMA quick_check");
    if (!quick.step() || quick.text(0) != "ok") throw DataError(path + ": fails its integrity check");
    if (!hasTable(db, "main", "dbinfo")) throw DataError(path + ": has no dbinfo table");
    if (!schema::passwordMatches(info(db, "password-salt"), info(db, "password-sha256"), password))
        throw DataError(path + ": has another password");
    for (const schema::Table& table : schema::tables()) {
        Statement columns(db, std::string("SELECT lower(name) FROM pragma_table_info('") + table.name + "')");
        std::vector<std::string> present;
        while (columns.step()) present.push_back(columns.text(0));
        for (const schema::Column& c : table.columns)
            if (!c.optional && std::find(present.begin(), present.end(), c.name) == present.end())
                throw DataError(path + ": the table " + table.name + " has no column " + c.name);
    }
}

void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw DataError(systemError("cannot sync the folder " + folder));
    const int rc = ::fsync(fd);
    ::close(fd);
    if (rc != 0) throw DataError(systemError("cannot sync the folder " + folder));
}

void syncFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) throw DataError(systemError("cannot open " + path));
    const int rc = ::fsync(fd);
    ::close(fd);
    if (rc != 0) throw DataError(systemError("cannot sync " + path));
}

std::string folderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

// Every statement of the carry-over, in order.  old is the attached user's
// copy; main the new file made from the installed one.
std::vector<std::string> carrySql(bool oldHistory) {
    const std::string base = std::to_string(kKeptIdBase);
    const std::string kept = std::to_string(kKeptForReport);
    std::vector<std::string> sql = {
        "CREATE TEMP TABLE kept (old INTEGER PRIMARY KEY, new INTEGER NOT NULL)",
        "INSERT INTO kept SELECT o.zd1, CASE WHEN o.zd1 >= " + base + " THEN o.zd1 ELSE o.zd1 + " + base +
            " END FROM old.b1 o WHERE o.zd1 IN (SELECT zd3 FROM old.b3) AND NOT EXISTS (SELECT 1 FROM main.b1 n "
            "WHERE n.zd1 = o.zd1 AND n.zd2 IS o.zd2 AND n.zd6 IS o.zd6 AND n.zd9 IS o.zd9 AND n.zd14 IS o.zd14 "
            "AND n.zd11 IS o.zd11 AND n.zd12 IS o.zd12 AND n.zd15 IS o.zd15)",
        "INSERT INTO main.b1 (zd1, zd2, zd5, zd6, zd7, zd9, zd10, zd11, zd12, zd14, zd15) "
        "SELECT k.new, o.zd2, o.zd5, o.zd6, o.zd7, o.zd9, " + kept + ", o.zd11, o.zd12, o.zd14, o.zd15 "
        "FROM kept k JOIN old.b1 o ON o.zd1 = k.old",
        "DELETE FROM main.b2",
        "INSERT INTO main.b2 (zd1, zd3, zd4, zd5, zd6, zd12) SELECT zd1, zd3, zd4, zd5, zd6, zd12 FROM old.b2",
        "DELETE FROM main.b3",
        "INSERT INTO main.b3 (zd1, zd2, zd3, zd4, zd5, zd6) SELECT zd1, zd2, "
        "coalesce((SELECT new FROM kept WHERE old = zd3), zd3), zd4, zd5, zd6 FROM old.b3",
        // Counters by id; a kept row brought its own.
        "UPDATE main.b1 SET zd7 = o.zd7 FROM old.b1 o WHERE o.zd1 = main.b1.zd1 AND main.b1.zd10 <> " + kept,
        // zd4 of a post (grade 12) counts its showings; of a unit it is the position.
        "UPDATE main.b4 SET zd4 = o.zd4 FROM old.b4 o WHERE o.zd1 = main.b4.zd1 AND o.zd3 = 12 AND main.b4.zd3 = 12",
        "DELETE FROM main.b5",
        // (u, not zd6: inside the subquery zd6 would name b4's column.)
        "INSERT INTO main.b5 (zd1, zd2, zd5, zd6) SELECT id, name, g, "
        "(SELECT coalesce(max(zd4), 0) FROM main.b4 WHERE zd3 = g AND zd4 <= max(u, 0)) "
        "FROM (SELECT zd1 AS id, zd2 AS name, CASE WHEN zd5 BETWEEN 0 AND 11 THEN zd5 ELSE 0 END AS g, zd6 AS u "
        "FROM old.b5)",
    };
    if (oldHistory) {
        const std::vector<std::string> history = {
            "INSERT INTO main.history_homework SELECT id, grade, unit, paper, day, start, finish, seconds, score, "
            "grading FROM old.history_homework",
            "INSERT INTO main.history_answer SELECT homework, slot, question, letter, correct FROM old.history_answer",
            "UPDATE main.question_schedule SET seen = o.seen, step = o.step, due = o.due FROM old.question_schedule o "
            "WHERE o.question = main.question_schedule.question",
            // The day's choice is not carried: the next homework is chosen
            // from the new content, its new questions unseen.
        };
        sql.insert(sql.end(), history.begin(), history.end());
    }
    return sql;
}

// Row counts that must match between the merged file and the old one.
void checkCounts(sqlite3* db, bool oldHistory, long long installedQuestions) {
    std::vector<std::string> same = {"b2", "b3", "b5"};
    if (oldHistory) same.insert(same.end(), {"history_homework", "history_answer"});
    for (const std::string& t : same) {
        const long long now = count(db, "SELECT count(*) FROM main." + t);
        const long long before = count(db, "SELECT count(*) FROM old." + t);
        if (now != before)
            throw DataError("the merged " + t + " holds " + std::to_string(now) + " rows, the old one " +
                            std::to_string(before));
    }
    const long long questions = count(db, "SELECT count(*) FROM main.b1");
    const long long kept = count(db, "SELECT count(*) FROM kept");
    if (questions != installedQuestions + kept)
        throw DataError("the merged b1 holds " + std::to_string(questions) + " rows, expected " +
                        std::to_string(installedQuestions + kept));
}

void copyBytes(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) throw DataError("cannot copy " + from + " to " + to + ": " + ec.message());
    ::chmod(to.c_str(), 0644);
}

// Builds the merged file at temp; returns its counts.
MergeCounts buildMerged(const std::string& installed, const std::string& user, const std::string& temp) {
    copyBytes(installed, temp);
    struct stat copy {};
    if (::stat(user.c_str(), &copy) == 0) ::chmod(temp.c_str(), copy.st_mode & 0777);  // a private copy stays private
    Database db;
    openFile(db, temp, false);
    db.exec("PRAGMA journal_mode = DELETE");
    history::addMissingTables(db.handle());
    outbox::addMissingTable(db.handle());
    Statement attach(db.handle(), "ATTACH DATABASE ? AS old");
    attach.bind(1, user);
    attach.step();
    const bool oldHistory = hasTable(db.handle(), "old", "history_homework") &&
                            hasTable(db.handle(), "old", "history_answer") &&
                            hasTable(db.handle(), "old", "question_schedule") &&
                            hasTable(db.handle(), "old", "daily_choice");
    MergeCounts counts;
    const long long installedQuestions = count(db.handle(), "SELECT count(*) FROM main.b1");
    db.exec("BEGIN");
    try {
        for (const std::string& sql : carrySql(oldHistory)) db.exec(sql);
        // The class outbox as it is: what was not sent yet still goes.
        if (hasTable(db.handle(), "old", "class_outbox")) {
            outbox::checkShape(db.handle(), "old");
            db.exec("INSERT INTO main.class_outbox (seq, id, entry, written, sent) "
                    "SELECT seq, id, entry, written, sent FROM old.class_outbox");
            if (count(db.handle(), "SELECT count(*) FROM main.class_outbox") !=
                count(db.handle(), "SELECT count(*) FROM old.class_outbox"))
                throw DataError("the merged class_outbox does not hold every entry of the old one");
        }
        checkCounts(db.handle(), oldHistory, installedQuestions);
        db.exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    counts.questions = count(db.handle(), "SELECT count(*) FROM main.b1");
    counts.keptQuestions = count(db.handle(), "SELECT count(*) FROM kept");
    if (oldHistory) {
        counts.gradings = count(db.handle(), "SELECT count(*) FROM main.history_homework");
        counts.answers = count(db.handle(), "SELECT count(*) FROM main.history_answer");
        counts.scheduled = count(db.handle(), "SELECT count(*) FROM main.question_schedule q JOIN "
                                              "old.question_schedule o ON o.question = q.question");
    }
    db.exec("DETACH DATABASE old");
    Statement integrity(db.handle(), "PRAGMA integrity_check");
    if (!integrity.step() || integrity.text(0) != "ok")
        throw DataError(temp + ": the merged file fails its integrity check: " + integrity.text(0));
    integrity.reset();
    return counts;
}

// Keeps the file at path as path + ".old", replacing an older backup: a
// second name for the same file, or a copy where there are no hard links.
void keepBackup(const std::string& path) {
    const std::string backup = path + ".old";
    if (::unlink(backup.c_str()) != 0 && errno != ENOENT) throw DataError(systemError("cannot replace " + backup));
    if (::link(path.c_str(), backup.c_str()) == 0) return;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK && errno != EXDEV)
        throw DataError(systemError("cannot keep " + path + " as " + backup));
    copyBytes(path, backup);
    syncFile(backup);
}

// Moves the log of the user's copy into the file, so that the file alone
// holds the record and no log is left to be replayed onto the new file.
// The switch out of the log fails at once, without waiting, while another
// connection reads the file (a second program starting at the same moment
// looks at the copy's version); the merge lock keeps every writer out, so
// such a reader is gone within moments and the switch is tried again.
void checkpoint(const std::string& user) {
    Database db;
    openFile(db, user, false);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        try {
            db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
            db.exec("PRAGMA journal_mode = DELETE");
            Statement mode(db.handle(), "PRAGMA journal_mode");
            if (mode.step() && mode.text(0) == "delete") return;
            if (std::chrono::steady_clock::now() >= until) throw DataError(user + ": its log could not be merged into it");
        } catch (const DataError&) {
            if (std::chrono::steady_clock::now() >= until) throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// A journal left beside an unfinished file would be played back onto the
// next file of that name, so it goes with the file.
void removeWithLogs(const std::string& path) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
}

}  // namespace

ContentVersion readVersion(const std::string& path) {
    Database db;
    openFile(db, path, true);
    if (!hasTable(db.handle(), "main", "dbinfo")) throw DataError(path + ": has no dbinfo table");
    return {info(db.handle(), schema::kSchemaVersionName), info(db.handle(), schema::kContentSequenceName),
            info(db.handle(), schema::kContentDigestName)};
}

void checkDatabase(const std::string& path, const std::string& password, bool readOnly) {
    Database db;
    openFile(db, path, readOnly);
    checkOpen(db.handle(), path, password);
}

MergeCounts mergeRecord(const std::string& installed, const std::string& user, const std::string& out,
                        const std::string& password) {
    try {
        checkDatabase(installed, password, true);
    } catch (const std::exception& e) {
        throw InstalledDamaged(e.what());
    }
    if (detectFileFormat(user).format == FileFormat::Jet4) convertDataFileInPlace(user, password);
    try {
        checkDatabase(user, password, false);
    } catch (const std::exception& e) {
        throw CopyDamaged(e.what());
    }
    checkpoint(user);
    const std::string temp = out + ".merging";
    removeWithLogs(temp);  // left by a merge that was interrupted
    try {
        const MergeCounts counts = buildMerged(installed, user, temp);
        syncFile(temp);
        if (std::filesystem::exists(out)) keepBackup(out);
        syncFolder(folderOf(out));
        if (::rename(temp.c_str(), out.c_str()) != 0) throw DataError(systemError("cannot replace " + out));
        syncFolder(folderOf(out));
        return counts;
    } catch (...) {
        removeWithLogs(temp);
        throw;
    }
}

}  // namespace data::upgrade
