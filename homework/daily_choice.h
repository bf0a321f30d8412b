// Today's homework.  The homework statement draws the questions of a grade
// marked zd10=2 (the mock paper: zd10=0) in zd1 order; before it runs, in
// the same transaction, the daily choice marks exactly today's questions
// and the rest of the grade's bank with 1 ("in the bank").
//
// The choice, until 20 are chosen: the questions answered wrong that are
// due again (see data/history.h for the ladder), those never seen from the
// chosen unit, those never seen from the grade's other units in unit order
// (questions without a unit come last here), then those seen longest ago.
// Every step reads the schedule of the bank (data/history.h), never the
// whole bank, so a bank of 100,000 questions costs what its unseen ones do.
// Ties go at random, the same way all day.  The same grade, unit and day
// give the same homework again; a day earlier than the last homework's
// (a clock set back) counts as that day.  The mock room draws the first
// paper not finished yet, after the last one the one finished longest ago.
#pragma once

#include "history.h"
#include "outbox.h"

#include <optional>
#include <string>
#include <vector>

class QDateTime;

namespace data {
class Connection;
class Tdatam;
}  // namespace data

namespace daily {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

// The clock the homework reads: the system's, unless a test has set one.
const Clock& clock();
void setClock(const Clock* clock);  // nullptr: the system clock again

// The homework drawn, as its gradings are recorded.
struct Homework {
    int grade = -1;
    int unit = -1;
    std::optional<int> paper;  // the mock paper
    int day = 0;               // Julian day number; 0 before any homework
    std::string start;         // "YYYY-MM-DD HH:MM:SS"
    std::string gradeName;     // UTF-8, for the class outbox
    std::string unitName;
};

// Chooses and marks today's homework (the caller holds the transaction).
// Throws DataError.
Homework markToday(data::Connection& db, int grade, int unit, bool mockPaper, const QDateTime& now);

// The choice alone: up to count question ids of the grade's bank for the
// unit on the day.
std::vector<int> choose(data::Connection& db, int grade, int unit, int day, int count);

// The hooks of extraction and grading: as above on the program's
// connection and clock; a failure is reported as a failed statement is, and
// the homework goes on.  In class mode (datam.classMember) the grading also
// goes to the class outbox, in the caller's transaction.
Homework markTodayOrReport(data::Tdatam& datam, int grade, int unit, bool mockPaper);
void recordOrReport(data::Tdatam& datam, const Homework& homework, std::vector<data::outbox::Answer> answers,
                    int score, int seconds, int grading);

}  // namespace daily
