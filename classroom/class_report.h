// The teacher's report of a class server: per pupil the days practised,
// the homeworks, the mean first-try score and its trend and the accuracy
// per unit; per class the ten questions most often answered wrong with
// their right answers.  As text (UTF-8), as CSV (one row per pupil and
// homework) and as report lines for the page renderer's A4 PDF.
//
// Only first gradings count ("first try"): a homework graded again after
// corrections keeps its first score; its time is that of its last grading.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace classroom {

class Connection;

struct ReportRequest {
    std::optional<std::string> className;  // every class the login may read when absent
    std::optional<std::string> since;      // "YYYY-MM-DD", the first day counted
};

struct UnitAccuracy {
    std::string grade;  // the grade's name
    std::string unit;   // the unit's name
    long long answers = 0;
    long long right = 0;
};

struct PupilFigures {
    std::string pupil;
    long long daysPractised = 0;
    long long homeworks = 0;
    std::optional<double> meanScore;       // none without homework
    std::optional<double> trendPerWeek;    // score points per week; none below two days
    std::vector<UnitAccuracy> units;
};

struct MissedQuestion {
    long long question = 0;
    std::string text;
    std::string rightLetter;
    long long misses = 0;
    long long answers = 0;
};

struct ClassFigures {
    std::string school;
    std::string className;
    std::vector<PupilFigures> pupils;          // by name, also those without homework
    std::vector<MissedQuestion> mostMissed;    // at most kMostMissed, most misses first
};

inline constexpr int kMostMissed = 10;

// The figures of every class in the request that the login may read.
// Throws ServerError.
std::vector<ClassFigures> ReadReport(Connection& connection, const ReportRequest& request);

// A date "YYYY-MM-DD" that exists; false for anything else.
bool IsDate(const std::string& text);

// The report as text for a terminal (UTF-8).
std::string ReportText(const std::vector<ClassFigures>& classes, const ReportRequest& request);

// The report as report lines (GBK) for pages::sheets.
std::vector<std::string> ReportLines(const std::vector<ClassFigures>& classes, const ReportRequest& request);

// One row per pupil and homework: 学生,班级,年级,单元,日期,首次成绩,用时(秒),
// UTF-8 with a byte order mark, CR LF, quoted as RFC 4180 asks; a field
// that a spreadsheet would take for a formula gets a leading apostrophe.
// Returns the number of rows.  Throws ServerError.
long long WriteCsv(Connection& connection, const ReportRequest& request, std::ostream& out);

// The lines as an A4 PDF at path (pages::pdf::savePdfAs); the reason
// (UTF-8) when it was not written, empty on success.  Needs a
// QGuiApplication.
std::string WriteReportPdf(const std::vector<std::string>& lines, const std::string& path);

}  // namespace classroom
