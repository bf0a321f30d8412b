#include "class_report.h"

#include "gbk.h"
#include "line_sheets.h"
#include "page_figures.h"
#include "pdf_export.h"
#include "pg.h"

#include "canvas.h"

#include <QDate>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>

namespace classroom {

namespace {

// The first-try homeworks of one class in the request's span: $1 school,
// $2 class, $3 first day or NULL.
const char* const kSpan = "h.school = $1 AND h.class = $2 AND ($3::date IS NULL OR h.day >= $3::date)";

std::string in(const char* sql) {
    std::string text = sql;
    for (std::size_t at = text.find("%span"); at != std::string::npos; at = text.find("%span"))
        text.replace(at, 5, kSpan);
    return text;
}

// The classes come from the small tables, never from a scan of the
// homeworks: a teacher's own classes, or every class with a pupil.
const char* const kClasses =
    "SELECT school, class FROM aoshu.pupils WHERE $1::text IS NULL OR class = $1 "
    "UNION SELECT school, class FROM aoshu.teachers WHERE $1::text IS NULL OR class = $1 ORDER BY 1, 2";

const char* const kPupils =
    "WITH h AS (SELECT * FROM aoshu.homeworks h WHERE %span AND h.grading = 1), "
    "who AS (SELECT pupil FROM aoshu.pupils WHERE school = $1 AND class = $2 UNION SELECT pupil FROM h) "
    "SELECT w.pupil, count(DISTINCT h.day), count(h.id), avg(h.score), "
    "regr_slope(h.score, h.day - date '2000-01-01') * 7 "
    "FROM who w LEFT JOIN h ON h.pupil = w.pupil GROUP BY w.pupil ORDER BY w.pupil";

const char* const kUnits =
    "SELECT h.pupil, h.grade_name, h.unit_name, count(*), count(*) FILTER (WHERE a.is_right) "
    "FROM aoshu.homeworks h JOIN aoshu.answers a ON a.school = h.school AND a.class = h.class AND a.id = h.id "
    "WHERE %span AND h.grading = 1 "
    "GROUP BY h.pupil, h.grade, h.grade_name, h.unit, h.unit_name ORDER BY h.pupil, h.grade, h.unit, h.unit_name";

const char* const kMissed =
    "SELECT a.question, max(a.question_text), max(a.right_letter), count(*) FILTER (WHERE NOT a.is_right) AS misses, "
    "count(*) "
    "FROM aoshu.homeworks h JOIN aoshu.answers a ON a.school = h.school AND a.class = h.class AND a.id = h.id "
    "WHERE %span AND h.grading = 1 "
    "GROUP BY a.question HAVING count(*) FILTER (WHERE NOT a.is_right) > 0 "
    "ORDER BY misses DESC, a.question LIMIT 10";

const char* const kCsvRows =
    "SELECT h.pupil, h.class, h.grade_name, h.unit_name, to_char(h.day, 'YYYY-MM-DD'), "
    "min(h.score) FILTER (WHERE h.grading = 1), "
    "max(h.seconds) "
    "FROM aoshu.homeworks h WHERE ($1::text IS NULL OR h.class = $1) AND ($2::date IS NULL OR h.day >= $2::date) "
    "GROUP BY h.school, h.class, h.pupil, h.grade_name, h.unit_name, h.day, h.started "
    "HAVING bool_or(h.grading = 1) ORDER BY h.school, h.class, h.pupil, h.day, h.started";

std::string fixed(double value, int digits = 1) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

std::string percent(long long part, long long whole) {
    return whole > 0 ? std::to_string((part * 100 + whole / 2) / whole) + "%" : "—";
}

std::string trendText(const std::optional<double>& perWeek) {
    if (!perWeek) return "—";
    const std::string sign = *perWeek >= 0 ? "+" : "";
    const char* word = std::fabs(*perWeek) < 0.5 ? "平稳" : *perWeek > 0 ? "上升" : "下降";
    return "每周" + sign + fixed(*perWeek) + "分（" + word + "）";
}

std::string scope(const ClassFigures& c, const ReportRequest& request) {
    std::string text = c.school.empty() ? c.className : c.school + " " + c.className;
    if (request.since) text += "（自" + *request.since + "起）";
    return text;
}

std::string pupilLine(const PupilFigures& p) {
    if (p.homeworks == 0) return p.pupil + "：还没有作业";
    return p.pupil + "：练习" + std::to_string(p.daysPractised) + "天，作业" + std::to_string(p.homeworks) +
           "份，首次平均分" + fixed(p.meanScore.value_or(0)) + "，趋势" + trendText(p.trendPerWeek);
}

std::string unitText(const UnitAccuracy& u) {
    return u.grade + "·" + u.unit + " " + percent(u.right, u.answers) + "（" + std::to_string(u.right) + "/" +
           std::to_string(u.answers) + "）";
}

std::string missedHead(int n, const MissedQuestion& q) {
    return std::to_string(n) + ". 第" + std::to_string(q.question) + "题，错" + std::to_string(q.misses) + "次/共" +
           std::to_string(q.answers) + "次，正确答案：" + (q.rightLetter == "@" ? "（题库中缺）" : q.rightLetter);
}

// The question's text on one line: line breaks become spaces.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    return text;
}

std::string emptyText(const ClassFigures& c) {
    return c.pupils.empty() ? "这个班级还没有学生，也还没有作业。" : "这个班级在这段时间里还没有作业。";
}

bool anyHomework(const ClassFigures& c) {
    for (const PupilFigures& p : c.pupils)
        if (p.homeworks > 0) return true;
    return false;
}

// GBK for the page; a character GBK lacks shows as "?".
std::string shownGbk(const std::string& utf8) {
    try {
        return gbk::fromUtf8(utf8);
    } catch (const gbk::EncodingError&) {
    }
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t n = 1;
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b >= 0xF0) n = 4;
        else if (b >= 0xE0) n = 3;
        else if (b >= 0xC0) n = 2;
        try {
            out += gbk::fromUtf8(utf8.substr(i, n));
        } catch (const gbk::EncodingError&) {
            out += "?";
        }
        i += n;
    }
    return out;
}

// Text cut into pieces of at most `bytes` GBK bytes, never inside a
// double-byte character.
std::vector<std::string> wrapped(const std::string& gbkText, std::size_t bytes) {
    std::vector<std::string> pieces;
    std::size_t from = 0;
    while (from < gbkText.size()) {
        std::size_t end = from;
        while (end < gbkText.size()) {
            const std::size_t n = static_cast<unsigned char>(gbkText[end]) >= 0x81 ? 2 : 1;
            if (end + n - from > bytes) break;
            end += n;
        }
        pieces.push_back(gbkText.substr(from, end - from));
        from = end;
    }
    return pieces;
}

std::string csvField(std::string text) {
    // A spreadsheet runs a cell that starts like a formula.
    if (!text.empty() && std::string("=+-@\t\r").find(text.front()) != std::string::npos) text.insert(0, "'");
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

Param optional(const std::optional<std::string>& value) { return value ? Param(*value) : std::nullopt; }

}  // namespace

bool IsDate(const std::string& text) {
    return text.size() == 10 && QDate::fromString(QString::fromStdString(text), "yyyy-MM-dd").isValid();
}

std::vector<ClassFigures> ReadReport(Connection& connection, const ReportRequest& request) {
    std::vector<ClassFigures> classes;
    const Result found = connection.exec(kClasses, {optional(request.className)});
    for (int r = 0; r < found.rows(); ++r) classes.push_back({found.text(r, 0), found.text(r, 1), {}, {}});
    if (classes.empty() && request.className) classes.push_back({"", *request.className, {}, {}});
    for (ClassFigures& c : classes) {
        const std::vector<Param> span = {c.school, c.className, optional(request.since)};
        const Result pupils = connection.exec(in(kPupils), span);
        std::map<std::string, std::size_t> index;
        for (int r = 0; r < pupils.rows(); ++r) {
            PupilFigures p;
            p.pupil = pupils.text(r, 0);
            p.daysPractised = pupils.integer(r, 1);
            p.homeworks = pupils.integer(r, 2);
            if (!pupils.isNull(r, 3)) p.meanScore = pupils.real(r, 3);
            if (!pupils.isNull(r, 4)) p.trendPerWeek = pupils.real(r, 4);
            index[p.pupil] = c.pupils.size();
            c.pupils.push_back(std::move(p));
        }
        const Result units = connection.exec(in(kUnits), span);
        for (int r = 0; r < units.rows(); ++r) {
            const auto at = index.find(units.text(r, 0));
            if (at == index.end()) continue;
            c.pupils[at->second].units.push_back(
                {units.text(r, 1), units.text(r, 2), units.integer(r, 3), units.integer(r, 4)});
        }
        const Result missed = connection.exec(in(kMissed), span);
        for (int r = 0; r < missed.rows(); ++r)
            c.mostMissed.push_back({missed.integer(r, 0), missed.text(r, 1), missed.text(r, 2), missed.integer(r, 3),
                                    missed.integer(r, 4)});
    }
    return classes;
}

std::string ReportText(const std::vector<ClassFigures>& classes, const ReportRequest& request) {
    if (classes.empty()) return "没有可以查看的班级：这个登录名还没有任何班级的数据。\n";
    std::string text;
    for (const ClassFigures& c : classes) {
        text += "班级学习报告  " + scope(c, request) + "\n";
        text += "学生" + std::to_string(c.pupils.size()) + "人\n";
        if (!anyHomework(c)) {
            text += emptyText(c) + "\n\n";
            continue;
        }
        for (const PupilFigures& p : c.pupils) {
            text += "  " + pupilLine(p) + "\n";
            std::string units;
            for (const UnitAccuracy& u : p.units) units += (units.empty() ? "" : "；") + unitText(u);
            if (!units.empty()) text += "    各单元正确率：" + units + "\n";
        }
        text += "全班最常答错的题目：\n";
        int n = 0;
        for (const MissedQuestion& q : c.mostMissed) {
            text += "  " + missedHead(++n, q) + "\n";
            if (!q.text.empty()) text += "     " + oneLine(q.text) + "\n";
        }
        if (c.mostMissed.empty()) text += "  没有答错的题目。\n";
        text += "\n";
    }
    return text;
}

std::vector<std::string> ReportLines(const std::vector<ClassFigures>& classes, const ReportRequest& request) {
    std::vector<std::string> lines;
    auto add = [&lines](const std::string& utf8) { lines.push_back(shownGbk(utf8)); };
    if (classes.empty()) {
        add("`11班级学习报告");
        lines.push_back("");
        add("`10没有可以查看的班级：这个登录名还没有任何班级的数据。");
        return lines;
    }
    for (const ClassFigures& c : classes) {
        add("`11班级学习报告");
        lines.push_back("");
        add("`10" + scope(c, request) + "，学生" + std::to_string(c.pupils.size()) + "人");
        lines.push_back("");
        if (!anyHomework(c)) {
            add("`10" + emptyText(c));
            lines.push_back("");
            continue;
        }
        add("`01首次平均分");
        lines.push_back("");
        for (const PupilFigures& p : c.pupils)
            if (p.meanScore) lines.push_back(pages::barFigure(static_cast<int>(std::lround(*p.meanScore)), shownGbk(p.pupil)));
        lines.push_back("");
        add("`01每位学生");
        lines.push_back("");
        for (const PupilFigures& p : c.pupils) {
            add("`00" + pupilLine(p));
            for (const UnitAccuracy& u : p.units) add("    " + unitText(u));
        }
        lines.push_back("");
        add("`01全班最常答错的题目");
        lines.push_back("");
        int n = 0;
        for (const MissedQuestion& q : c.mostMissed) {
            add("`00" + missedHead(++n, q));
            for (const std::string& piece : wrapped(shownGbk(oneLine(q.text)), 96)) lines.push_back("    " + piece);
        }
        if (c.mostMissed.empty()) add("没有答错的题目。");
        lines.push_back("");
    }
    return lines;
}

long long WriteCsv(Connection& connection, const ReportRequest& request, std::ostream& out) {
    const Result rows = connection.exec(kCsvRows, {optional(request.className), optional(request.since)});
    out << "\xEF\xBB\xBF" << "学生,班级,年级,单元,日期,首次成绩,用时(秒)\r\n";
    for (int r = 0; r < rows.rows(); ++r) {
        for (int c = 0; c < 7; ++c) out << (c ? "," : "") << (c < 4 ? csvField(rows.text(r, c)) : rows.text(r, c));
        out << "\r\n";
    }
    return rows.rows();
}

std::string WriteReportPdf(const std::vector<std::string>& lines, const std::string& path) {
    const std::vector<std::size_t> firstLines = pages::sheets::paginate(lines);
    const std::string title = "班级学习报告"_gbk;
    const pages::pdf::Saved saved = pages::pdf::savePdfAs(
        QString::fromStdString(path), QStringLiteral("班级学习报告"), static_cast<int>(firstLines.size()),
        [&](QPainter& painter, int page, int dpi) {
            ui::Canvas canvas(&painter);
            pages::sheets::drawSheet(canvas, dpi, lines, firstLines, page, title);
        });
    return saved.error.empty() ? std::string() : gbk::toUtf8(saved.error);
}

}  // namespace classroom
