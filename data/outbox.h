// The class outbox: every grading of a pupil in a class, kept in the local
// database until the class server has it.  An entry is written in the same
// transaction as the grading it records, so a grading is never recorded
// without its entry nor sent twice under two ids: the id is made once, when
// the entry is written, and the server ignores an id it already holds.
//
//   class_outbox   id (unique text), the entry as text, when it was written,
//                  when the server took it (NULL: still to send)
//
// All text in an entry is UTF-8 (names, the unit's and the question's text).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct sqlite3;

namespace data {

class Connection;

namespace outbox {

struct Answer {
    int slot = 0;             // 1..20, the question's place in the homework
    int question = 0;         // the question's id in the bank (b1.zd1)
    char chosen = '@';        // 'A'..'D', '@' for no answer
    char rightLetter = '@';   // the key, 'A'..'D' ('@' when the key is bad data)
    bool right = false;
    std::string text;         // the question's text, plain, may be empty
};

struct Entry {
    std::string id;           // 32 lower-case hex digits, random, made once
    std::string school;       // may be empty
    std::string className;
    std::string pupil;
    int grade = -1;
    std::string gradeName;
    int unit = -1;
    std::string unitName;
    int day = 0;              // the homework's day (Julian day number)
    std::string start;        // "YYYY-MM-DD HH:MM:SS", local time
    std::string finish;
    int seconds = 0;          // time used up to this grading
    int score = 0;            // 0..100
    int grading = 1;          // 1 for the homework's first grading
    std::vector<Answer> answers;
};

// Who sends: the class configured on this machine.  Set on the data module
// (Tdatam::classMember) only in class mode; without it nothing is written.
struct Member {
    std::string school;
    std::string className;
    std::string pupil;
};

// Throws DataError when class_outbox exists but is not the table the
// program writes.  An absent table is fine: it is added at the opening.
// schema: "main", or the name of an attached file.
void checkShape(sqlite3* db, const std::string& schema = "main");

// Adds class_outbox when it is missing, in a transaction of its own.  Does
// nothing (and takes no write lock) when it is there.  Throws DataError.
void addMissingTable(sqlite3* db);

// A fresh id: 32 lower-case hex digits from SQLite's random source.
std::string newId();

// The entry as stored and back.  fromText throws DataError on text that is
// not an entry.
std::string toText(const Entry& entry);
Entry fromText(const std::string& text);

// Writes the entry (its id must be set) inside the caller's transaction,
// under the connection's transaction rules.  Throws DataError.
void add(Connection& connection, const Entry& entry);

// The sender's side, on a handle of its own.  A file without class_outbox
// has nothing to send.  Entries that cannot be read back are left where
// they are (and not counted as sendable).  Throw DataError.
std::vector<Entry> unsent(sqlite3* db, std::size_t limit);
long long unsentCount(sqlite3* db);
// Marks the entries sent, in one transaction; ids not in the outbox or
// already sent are left alone.
void markSent(sqlite3* db, const std::vector<std::string>& ids);

}  // namespace outbox
}  // namespace data
