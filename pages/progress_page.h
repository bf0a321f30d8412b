// The learning record: what the pupil's history says about the practice of
// one grade (or of all, when the pupil has practised several), as report
// lines that the page viewer paginates, shows and prints like the report.
//
// Charts travel in the lines as figure lines (page_figures.h), so one
// renderer draws them on screen, on paper and into a PDF.
#pragma once

#include <string>
#include <vector>

namespace data {
class Connection;
}

namespace pages::progress {

// The span of the calendar strip and of "practised days", in days.
inline constexpr int kRecentDays = 30;
// The score chart shows at most this many homeworks, the latest ones.
inline constexpr int kMaxChartedHomeworks = 120;
// The questions most often answered wrong, at most this many.
inline constexpr int kWorstQuestions = 10;

struct Request {
    int grade = 0;   // the grade chosen in the grade list
    int today = 0;   // Julian day number
    // The grades' names (GBK), by grade number; a grade past the end is
    // named by its number.
    std::vector<std::string> gradeNames;
};

// The page's lines (GBK, report markup plus figure lines).  With no graded
// homework in the scope, the lines say so and how to start.  Reads the
// history tables, b1 (question texts, scrambled) and b4 (unit names);
// throws data::DataError.
std::vector<std::string> BuildProgressLines(data::Connection& connection, const Request& request);

// The first words of the page without history (GBK), for callers and tests.
std::string NoHistoryText();

}  // namespace pages::progress
