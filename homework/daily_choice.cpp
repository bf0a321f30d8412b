#include "daily_choice.h"

#include "datam.h"
#include "transaction.h"

#include <QDateTime>

#include <algorithm>
#include <cstdint>
#include <set>
#include <tuple>

namespace daily {
namespace {

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

const Clock* currentClock = nullptr;

using Row = std::pair<long long, long long>;  // question, ordering key

// The rows of a statement whose columns are named q and (optionally) k.
std::vector<Row> rows(data::Connection& db, const std::string& sql, std::vector<long long> parameters) {
    data::Query query(db, sql);
    query.setParameters(std::move(parameters));
    query.open();
    std::vector<Row> out;
    for (; !query.eof(); query.next()) {
        const long long k = sql.find(" as k") != std::string::npos ? query.fieldByName("k").asInteger() : 0;
        out.emplace_back(query.fieldByName("q").asInteger(), k);
    }
    return out;
}

std::string list(const std::vector<int>& ids) {
    std::string out = "(";
    for (int id : ids) {
        if (out.size() > 1) out += ',';
        out += std::to_string(id);
    }
    out += ')';
    return out;
}

// The same pseudo-random order all day, another the next day.
std::uint64_t tieKey(int day, long long question) {
    std::uint64_t z = (static_cast<std::uint64_t>(day) << 32) ^ static_cast<std::uint64_t>(question);
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool bankIsTagged(data::Connection& db) {
    return rows(db, "select count(*) as q from pragma_table_info('b1') where name in ('zd16', 'zd17')", {})
               .at(0).first == 2;
}

class Choice {
public:
    Choice(int day, int count) : day_(day), count_(count) {}
    bool full() const { return static_cast<int>(ids_.size()) >= count_; }
    int missing() const { return count_ - static_cast<int>(ids_.size()); }
    const std::vector<int>& ids() const { return ids_; }

    // Takes candidates by their key, ties in the day's order, until full.
    void take(std::vector<Row> candidates) {
        std::sort(candidates.begin(), candidates.end(), [this](const Row& a, const Row& b) {
            return std::make_tuple(a.second, tieKey(day_, a.first), a.first) <
                   std::make_tuple(b.second, tieKey(day_, b.first), b.first);
        });
        for (const Row& c : candidates) {
            if (full()) return;
            if (taken_.insert(static_cast<int>(c.first)).second) ids_.push_back(static_cast<int>(c.first));
        }
    }

private:
    int day_;
    int count_;
    std::vector<int> ids_;
    std::set<int> taken_;
};

std::vector<int> choosePool(data::Connection& db, int grade, int unit, int day, int count) {
    const long long g = grade;
    Choice choice(day, count);
    choice.take(rows(db, "select question as q, due as k from question_schedule where grade = ? and step > 0 and due <= ?",
                     {g, day}));
    const std::string unseen = "select question as q from question_schedule where grade = ? and seen is null and ";
    if (!choice.full()) choice.take(rows(db, unseen + "unit = ?", {g, unit}));
    for (const Row& other : rows(db, "select zd4 as q from b4 where zd3 = ? order by zd4", {g})) {
        if (choice.full()) break;
        if (other.first != unit) choice.take(rows(db, unseen + "unit = ?", {g, other.first}));
    }
    if (!choice.full())
        choice.take(rows(db, unseen + "(unit is null or unit not in (select zd4 from b4 where zd3 = ?))", {g, g}));
    if (choice.full()) return choice.ids();

    // Seen longest ago: every question seen on or before the day of the
    // last one needed, so that ties on that day go the day's way.
    const std::string seen = "select question as q, seen as k from question_schedule where grade = ? and "
                             "seen is not null and question not in " + list(choice.ids());
    const auto last = rows(db, seen + " order by seen limit 1 offset ?", {g, choice.missing() - 1});
    const std::string upTo = last.empty() ? "" : " and seen <= " + std::to_string(last[0].second);
    choice.take(rows(db, seen + upTo, {g}));
    return choice.ids();
}

// The mock paper: the first not finished, else the one finished longest ago.
std::optional<int> choosePaper(data::Connection& db) {
    const auto papers = rows(db, "select distinct zd17 as q from b1 where zd9 = 11 and zd17 is not null order by zd17", {});
    const auto finished = rows(db,
                               "select paper as q, max(id) as k from history_homework "
                               "where grade = 11 and paper is not null group by paper",
                               {});
    std::optional<Row> oldest;
    for (const Row& paper : papers) {
        auto it = std::find_if(finished.begin(), finished.end(), [&](const Row& f) { return f.first == paper.first; });
        if (it == finished.end()) return static_cast<int>(paper.first);
        if (!oldest || it->second < oldest->second) oldest = *it;
    }
    if (oldest) return static_cast<int>(oldest->first);
    return std::nullopt;
}

std::vector<int> ids(const std::vector<Row>& rows) {
    std::vector<int> out;
    for (const Row& r : rows) out.push_back(static_cast<int>(r.first));
    return out;
}

void run(data::Connection& db, const std::string& sql, std::vector<long long> parameters = {}) {
    data::Query query(db, sql);
    query.setParameters(std::move(parameters));
    query.execSql();
}

// Marks the chosen questions of the grade's bank (its rows that `rest`
// picks out) `on` and the others 1.  The first statement finds the marked
// rows by the index on zd9, zd10; the second goes by key, where that index
// would walk the whole bank.
void mark(data::Connection& db, int grade, const std::string& rest, int on, const std::vector<int>& chosen) {
    const std::string in = list(chosen);
    const std::string g = std::to_string(grade);
    const std::string mark = std::to_string(on);
    run(db, "update b1 set zd10 = 1 where zd9 = " + g + " and zd10 = " + mark + rest + " and zd1 not in " + in);
    run(db, "update b1 set zd10 = " + mark + " where zd1 in " + in + " and +zd9 = " + g + " and +zd10 = 1" + rest);
}

}  // namespace

const Clock& clock() {
    static const SystemClock system;
    return currentClock ? *currentClock : system;
}

void setClock(const Clock* c) { currentClock = c; }

std::vector<int> choose(data::Connection& db, int grade, int unit, int day, int count) {
    return choosePool(db, grade, unit, day, count);
}

Homework markToday(data::Connection& db, int grade, int unit, bool mockPaper, const QDateTime& now) {
    Homework homework{grade, unit, std::nullopt, static_cast<int>(now.date().toJulianDay()),
                      now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString()};
    const auto last = rows(db, "select max(day) as q from daily_choice", {});
    homework.day = std::max(homework.day, static_cast<int>(last.at(0).first));
    const bool tagged = bankIsTagged(db);
    if (grade < 0 || (mockPaper && !tagged)) return homework;

    std::vector<int> chosen = ids(rows(db, "select question as q from daily_choice where day = ? and grade = ? and unit = ?",
                                       {homework.day, grade, unit}));
    const bool stored = !chosen.empty();
    if (mockPaper) {
        if (stored) {
            const auto paper = rows(db, "select zd17 as q from b1 where zd1 = ?", {chosen[0]});
            if (!paper.empty()) homework.paper = static_cast<int>(paper[0].first);
        } else if ((homework.paper = choosePaper(db))) {
            chosen = ids(rows(db, "select zd1 as q from b1 where zd9 = 11 and zd17 = ? and zd10 in (0, 1)", {*homework.paper}));
        }
        mark(db, 11, " and zd17 is not null", 0, chosen);
    } else {
        if (!stored) chosen = choosePool(db, grade, unit, homework.day, 20);
        mark(db, grade, tagged ? " and zd17 is null" : "", 2, chosen);
    }
    if (stored) return homework;
    run(db, "delete from daily_choice where day < ?", {homework.day});
    for (int question : chosen)
        run(db, "insert into daily_choice (day, grade, unit, question) values (?, ?, ?, ?)",
            {homework.day, grade, unit, question});
    return homework;
}

Homework markTodayOrReport(data::Tdatam& datam, int grade, int unit, bool mockPaper) {
    const QDateTime now = clock().now();
    try {
        return markToday(datam.ADOConnection1, grade, unit, mockPaper, now);
    } catch (const data::DataError& e) {
        datam.reportStatementFailure("daily choice", e);
        return {grade, unit, std::nullopt, static_cast<int>(now.date().toJulianDay()),
                now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString()};
    }
}

void recordOrReport(data::Tdatam& datam, const Homework& homework, std::vector<data::outbox::Answer> answers,
                    int score, int seconds, int grading) {
    if (homework.day == 0) return;
    const std::string finish = clock().now().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString();
    std::vector<data::history::Answer> kept;
    for (const data::outbox::Answer& a : answers) kept.push_back({a.question, a.chosen, a.right});
    data::history::Grading g{homework.grade, homework.unit, homework.paper, homework.day, homework.start,
                             finish, seconds, score, grading, std::move(kept)};
    if (!datam.classMember) {
        try {
            data::history::recordGrading(datam.ADOConnection1, g);
        } catch (const data::DataError& e) {
            datam.reportStatementFailure("history of the grading", e);
        }
        return;
    }
    const data::outbox::Member& m = *datam.classMember;
    const data::outbox::Entry entry{data::outbox::newId(), m.school, m.className, m.pupil, homework.grade,
                                    homework.gradeName, homework.unit, homework.unitName, homework.day,
                                    homework.start, finish, seconds, score, grading, std::move(answers)};
    // The history and the outbox hold the same gradings: when either write
    // fails, the scope ends without its commit and takes the caller's
    // whole transaction back with it.
    data::Transaction both(datam);
    try {
        data::history::recordGrading(datam.ADOConnection1, g);
        data::outbox::add(datam.ADOConnection1, entry);
        both.commit();
    } catch (const data::DataError& e) {
        datam.reportStatementFailure("history of the grading", e);
    }
}

}  // namespace daily
