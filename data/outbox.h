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

#include <string>
#include <vector>

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

}  // namespace outbox
}  // namespace data
