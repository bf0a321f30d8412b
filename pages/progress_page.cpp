#include "progress_page.h"

#include "datam.h"
#include "gbk.h"
#include "page_figures.h"

#include <QDate>

#include <algorithm>
#include <map>

namespace pages::progress {

namespace {

using data::Query;

// Every statement reads one grade (?1 = the grade) or, with ?1 = -1, all.
constexpr const char* kScope = "(?1 < 0 or h.grade = ?1)";

// Opens the query with its parameters; returns it for the reading loop.
Query& run(Query& q, std::vector<long long> parameters) {
    q.setParameters(std::move(parameters));
    q.open();
    return q;
}

std::string gradeName(const Request& r, long long grade) {
    if (grade >= 0 && grade < static_cast<long long>(r.gradeNames.size())) return r.gradeNames[std::size_t(grade)];
    return gbk::num(grade) + "年级"_gbk;
}

std::string dateText(int julianDay) {
    return QDate::fromJulianDay(julianDay).toString("yyyy-MM-dd").toStdString();
}

std::string duration(long long seconds) {
    const long long h = seconds / 3600, m = seconds % 3600 / 60, s = seconds % 60;
    return (h ? gbk::num(h) + "小时"_gbk : std::string()) + gbk::num(m) + "分"_gbk + gbk::num(s) + "秒"_gbk;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Adds text that may hold several lines (CR LF) one line at a time.
void addLines(std::vector<std::string>& out, const std::string& text) {
    std::size_t from = 0;
    for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2)
        out.push_back(text.substr(from, at - from));
    out.push_back(text.substr(from));
}

struct Homework {
    int day;
    int score;
    int seconds;
};

std::vector<Homework> firstGradings(data::Connection& c, long long scope) {
    std::vector<Homework> all;
    Query q(c, std::string("select day, score, seconds from history_homework h where grading = 1 and ") + kScope +
                   " order by id");
    for (run(q, {scope}); !q.eof(); q.next())
        all.push_back({int(q.fieldByName("day").asInteger()), int(q.fieldByName("score").asInteger()),
                       int(q.fieldByName("seconds").asInteger())});
    return all;
}

void addCalendar(std::vector<std::string>& out, const std::vector<Homework>& homeworks, int today) {
    const int first = today - kRecentDays + 1;
    std::vector<int> counts(kRecentDays, 0);
    for (const Homework& h : homeworks)
        if (h.day >= first && h.day <= today) ++counts[std::size_t(h.day - first)];
    const auto practised = std::count_if(counts.begin(), counts.end(), [](int n) { return n > 0; });
    out.push_back("`01最近"_gbk + gbk::num(kRecentDays) + "天练习了 "_gbk + gbk::num(practised) + " 天"_gbk);
    out.push_back(daysFigure(first, counts));
    out.push_back("");
}

void addScores(std::vector<std::string>& out, const std::vector<Homework>& homeworks) {
    const std::size_t shown = std::min<std::size_t>(homeworks.size(), kMaxChartedHomeworks);
    std::vector<int> scores;
    for (std::size_t i = homeworks.size() - shown; i < homeworks.size(); ++i) scores.push_back(homeworks[i].score);
    long long sum = 0;
    for (int s : scores) sum += s;
    out.push_back("`01每次作业的首次得分（最近 "_gbk + gbk::num(static_cast<long long>(shown)) + " 次，平均 "_gbk +
                  gbk::num(sum / static_cast<long long>(shown)) + " 分）"_gbk);
    out.push_back(scoresFigure(scores));
    out.push_back("");
}

void addUnits(std::vector<std::string>& out, data::Connection& c, const Request& r, long long scope, bool allGrades) {
    out.push_back("`01各单元的正确率（首次交卷）"_gbk);
    out.push_back("");
    Query units(c,
                std::string("select h.grade as g, h.unit as u, sum(a.correct) as r, count(*) as n, "
                                  "(select zd2 from b4 where zd3 = h.grade and zd4 = h.unit) as name "
                                  "from history_answer a join history_homework h on h.id = a.homework "
                                  "where h.grading = 1 and ") +
                    kScope + " group by h.grade, h.unit order by h.grade, h.unit");
    for (run(units, {scope}); !units.eof(); units.next()) {
        const long long n = units.fieldByName("n").asInteger();
        const long long right = units.fieldByName("r").asInteger();
        std::string name = units.fieldByName("name").asString();
        if (name.empty()) name = "第"_gbk + gbk::num(units.fieldByName("u").asInteger() + 1) + "单元"_gbk;
        if (allGrades) name = gradeName(r, units.fieldByName("g").asInteger()) + " " + name;
        out.push_back(barFigure(n ? int(right * 100 / n) : 0, name));
    }
    out.push_back("");
}

void addTime(std::vector<std::string>& out, const std::vector<Homework>& homeworks, int today) {
    long long total = 0, recent = 0;
    for (const Homework& h : homeworks) {
        total += h.seconds;
        if (h.day > today - kRecentDays) recent += h.seconds;
    }
    out.push_back("`01用时"_gbk);
    out.push_back("");
    out.push_back("`00 共做作业 "_gbk + gbk::num(static_cast<long long>(homeworks.size())) + " 次，首次交卷共用时 "_gbk +
                  duration(total) + "，平均每次 "_gbk + duration(total / static_cast<long long>(homeworks.size())));
    out.push_back("`00 最近"_gbk + gbk::num(kRecentDays) + "天用时 "_gbk + duration(recent));
    out.push_back("");
}

void addWorstQuestions(std::vector<std::string>& out, data::Connection& c, long long scope) {
    Query worst(c,
                std::string("select a.question as q, count(*) as n from history_answer a "
                                  "join history_homework h on h.id = a.homework where a.correct = 0 and ") +
                          kScope + " group by a.question order by n desc, a.question limit " +
                    std::to_string(kWorstQuestions));
    if (run(worst, {scope}).eof()) return;
    out.push_back("`01最常做错的题"_gbk);
    out.push_back("");
    int k = 0;
    for (; !worst.eof(); worst.next()) {
        const long long id = worst.fieldByName("q").asInteger();
        Query q(c, "select zd1, zd2, zd6, zd9, zd14 from b1 where zd1 = ?");
        if (run(q, {id}).eof()) continue;  // a question no longer in the bank
        ++k;
        const long long key = q.fieldByName("zd9").asInteger();
        const std::string idText = gbk::num(id);
        const std::string text = replaceAll(
            gbk::trimRight(data::Tdatam::UnscrambleField(q.fieldByName("zd2").asString(), key)), "\r\n<picture>",
            "\r\n<picture>0" + idText);
        const std::string answer = gbk::copy(data::Tdatam::UnscrambleField(q.fieldByName("zd6").asString(), key), 5, 1);
        addLines(out, (k < 10 ? "`00 " : "`00") + gbk::num(k) + "、"_gbk + text);
        out.push_back("");
        out.push_back("标准答案: "_gbk + answer + "     做错 "_gbk + worst.fieldByName("n").asString() + " 次"_gbk);
        out.push_back("");
        const std::string stored = q.fieldByName("zd14").asString();
        const std::string analysis =
            stored.empty() ? std::string() : gbk::copy(data::Tdatam::UnscrambleField(stored, key), 5, 5000);
        if (analysis.empty()) continue;
        addLines(out, replaceAll("试题分析："_gbk + "\r\n\r\n" + analysis, "\r\n<picture>", "\r\n<picture>1" + idText));
        out.push_back("");
    }
}

}  // namespace

std::string NoHistoryText() { return "还没有作业记录"_gbk; }

std::vector<std::string> BuildProgressLines(data::Connection& connection, const Request& request) {
    std::vector<long long> grades;
    Query q(connection, "select distinct grade from history_homework order by grade");
    for (run(q, {}); !q.eof(); q.next())
        grades.push_back(q.fieldByName("grade").asInteger());
    const bool allGrades = grades.size() > 1;
    const long long scope = allGrades ? -1 : request.grade;

    std::vector<std::string> out = {"`11学习记录"_gbk, ""};
    const std::vector<Homework> homeworks = firstGradings(connection, scope);
    const std::string who = allGrades ? "全部年级"_gbk : gradeName(request, request.grade);
    if (homeworks.empty()) {
        out.push_back("`10" + who + "  " + dateText(request.today));
        out.push_back("");
        out.push_back("`01" + NoHistoryText());
        out.push_back("");
        out.push_back("`00 做完一次作业并交卷以后，这里会记下每天的练习、每次的得分和常错的题。"_gbk);
        out.push_back("`00 开始的办法：选好年级和单元，点“开始作业”，做完后点“我做完了”交卷。"_gbk);
        return out;
    }
    const int firstDay = std::min_element(homeworks.begin(), homeworks.end(), [](const Homework& a, const Homework& b) {
                             return a.day < b.day;
                         })->day;
    out.push_back("`10" + who + "  " + dateText(firstDay) + " 至 "_gbk + dateText(request.today) +
                  "  共 "_gbk + gbk::num(static_cast<long long>(homeworks.size())) + " 次作业"_gbk);
    out.push_back("");
    addCalendar(out, homeworks, request.today);
    addScores(out, homeworks);
    addUnits(out, connection, request, scope, allGrades);
    addTime(out, homeworks, request.today);
    addWorstQuestions(out, connection, scope);
    return out;
}

}  // namespace pages::progress
