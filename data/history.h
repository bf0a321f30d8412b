// The pupil's history: every graded homework with its answers, the review
// schedule of each question, and the homework chosen for each day.  These
// tables are ours alone; b2 and b3 keep only the last homework, as always.
//
//   history_homework   one row per grading: grade, unit, mock paper, day,
//                      start, finish, seconds used, score, grading number
//   history_answer     its answers: slot, question, letter, right or wrong
//   question_schedule  per question of the homework banks (filled when the
//                      tables are added): grade, unit, the day of its last
//                      first grading (NULL: never seen) and its place on
//                      the review ladder (see recordGrading)
//   daily_choice       the questions chosen for a grade and unit on a day
//
// No scrambled text and no answer key is ever stored here.  A file without
// these tables (an older copy, a converted Jet file) gets them when it is
// opened, in one transaction that changes nothing else.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace data {

class Connection;

namespace history {

// The days after which a question answered wrong comes back: 1 day after a
// wrong answer, then 3, 7, 14 and 30 days after each right answer that
// follows.  Step n of the ladder (1..5) waits kLadderDays[n - 1] days.
inline constexpr int kLadderDays[] = {1, 3, 7, 14, 30};

// Throws DataError when one of the history tables exists but is not the
// table the program writes (another kind of object, a missing column, a
// column of another type).  Absent tables are fine: they are added later.
void checkShape(sqlite3* db);

// Adds the missing history tables and the index on the question bank that
// the daily choice reads, in one transaction.  Does nothing (and takes no
// write lock) when all are there.  Throws DataError on failure.
void addMissingTables(sqlite3* db);

struct Answer {
    int question = 0;
    char letter = '@';  // 'A'..'D', '@' for no answer
    bool right = false;
};

struct Grading {
    int grade = -1;
    int unit = -1;
    std::optional<int> paper;  // the mock paper drawn, if any
    int day = 0;               // the homework's day (Julian day number)
    std::string start;         // "YYYY-MM-DD HH:MM:SS"
    std::string finish;
    int seconds = 0;           // time used up to this grading
    int score = 0;
    int grading = 1;           // 1 for the first grading of the homework
    std::vector<Answer> answers;
};

// Appends the grading and its answers.  The first grading of a homework
// also moves each question on the review ladder: a wrong answer puts it on
// step 1 (due the next day); a right answer moves a question on the ladder
// one step up (at most step 5) and leaves one never answered wrong off it.
// Runs inside the caller's transaction; throws DataError.
void recordGrading(Connection& connection, const Grading& grading);

// The step on the ladder after an answer: 0 = off the ladder.
int nextStep(int step, bool right);

}  // namespace history
}  // namespace data
