// The day's choice at scale.  A copy of the bundled database grows a bank of
// 100,000 more questions in grade 3 (8 units; text only, so the file stays
// near 100 MB) and a history of 1,000,000 answers (50,000 gradings) in
// which every added question has been seen, a fifth are on the review
// ladder and five are due.  The shipped questions of the grade are still
// unseen, so after the five due ones the choice scans every unit for them
// and the homework holds their pictures, as on the bundled file.  Beside
// it, in the same iterations, the extraction of grade 3 on the bundled
// database as shipped.
//
//   ratio_to_bundled         extraction (with its choice) on the grown file /
//                            extraction on the bundled file
//   ratio_choice_to_bundled  (choice on the grown file + extraction on the
//                            bundled file) / extraction on the bundled file:
//                            the figure that does not depend on which
//                            questions (with or without pictures) are drawn
//
// BM_HistoryBytesPerAnswer: the growth of the grown file per recorded answer
// (two gradings of 20 answers per homework, the first moving the ladder),
// after a checkpoint, in page_count x page_size.
#include "bench_window.h"

#include "daily_choice.h"
#include "datam.h"
#include "history.h"
#include "transaction.h"

#include <QDateTime>
#include <sqlite3.h>

#include <stdexcept>

namespace {

constexpr int kBank = 100000;
constexpr int kAnswers = 1000000;
const QDate kToday(2027, 6, 1);

class BenchClock : public daily::Clock {
public:
    QDateTime at{kToday, QTime(16, 0)};
    QDateTime now() const override { return at; }
};

void exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error("bench statement failed: " + message + "\n" + sql);
    }
}

long long scalar(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    const long long value = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
}

// The grown copy, made once per process.
class GrownBank {
public:
    static GrownBank& get() {
        static GrownBank bank;
        return bank;
    }
    bench::DatabaseCopy copy;
    double secondsToBuild = 0;

private:
    GrownBank() {
        const auto t0 = bench::Clock::now();
        {
            data::Connection connection;  // adds the history tables
            connection.setConnectionString(data::Tdatam::BuildConnectionString(copy.programDir()));
            connection.open();
        }
        const long long today = kToday.toJulianDay();
        const std::string day = std::to_string(today);
        sqlite3* db = nullptr;
        sqlite3_open_v2(copy.path().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        exec(db, "BEGIN");
        // Copies of the grade's questions, text and key, without pictures.
        exec(db, "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                     std::to_string(kBank - 1) +
                     ") INSERT INTO b1 (zd1, zd2, zd5, zd6, zd7, zd9, zd10, zd11, zd14, zd16) "
                     "SELECT 1000000 + i, s.zd2, s.zd5, s.zd6, 0, 3, 1, 0, s.zd14, i % 8 FROM n "
                     "JOIN b1 s ON s.zd1 = 3001 + i % 20");
        // 50,000 gradings over the last 400 days, a third of them later
        // gradings; every question answered ten times.
        exec(db, "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                     std::to_string(kAnswers / 20 - 1) +
                     ") INSERT INTO history_homework (id, grade, unit, paper, day, start, finish, seconds, score, grading) "
                     "SELECT i + 1, 3, i % 8, NULL, " + day + " - 400 + i * 400 / " + std::to_string(kAnswers / 20) +
                     ", '2026-05-01 16:00:00', '2026-05-01 16:40:00', 2400, 85, 1 + (i % 3 = 2) FROM n");
        exec(db, "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                     std::to_string(kAnswers - 1) +
                     ") INSERT INTO history_answer (homework, slot, question, letter, correct) "
                     "SELECT i / 20 + 1, i % 20 + 1, 1000000 + (i * 7919) % " + std::to_string(kBank) +
                     ", char(65 + i % 4), i % 7 <> 0 FROM n");
        // The schedule of the added questions, as the program starts it and
        // as the answers above leave it.
        exec(db, "INSERT INTO question_schedule (question, grade, unit, seen, step, due) "
                 "SELECT b.zd1, 3, b.zd16, m.seen, 0, NULL FROM b1 b LEFT JOIN "
                 "(SELECT a.question, max(h.day) AS seen FROM history_answer a "
                 "JOIN history_homework h ON h.id = a.homework GROUP BY a.question) m ON m.question = b.zd1 "
                 "WHERE b.zd1 >= 1000000");
        exec(db, "UPDATE question_schedule SET step = 1 + question % 5, due = " + day +
                 " + 1 + question % 30 WHERE question % 5 = 0");
        exec(db, "UPDATE question_schedule SET due = " + day +
                 " WHERE question IN (SELECT question FROM question_schedule WHERE step > 0 LIMIT 5)");
        exec(db, "COMMIT");
        exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
        sqlite3_close(db);
        secondsToBuild = bench::seconds(t0, bench::Clock::now());
    }
};

double extract(bench::Program& program, int grade) {
    program.start();
    program.chooseGrade(grade);
    const auto t0 = bench::Clock::now();
    program.form().ExtractHomework();
    return bench::seconds(t0, bench::Clock::now());
}

void BM_DailyChoiceAtScale(benchmark::State& state) {
    GrownBank& grown = GrownBank::get();
    bench::DatabaseCopy bundled;
    BenchClock clock;
    daily::setClock(&clock);
    double onBundled = 0, onGrown = 0, choice = 0;
    int day = 0;
    for (auto _ : state) {
        clock.at = QDateTime(kToday.addDays(++day), QTime(16, 0));  // a new day: a new choice each time
        bundled.refresh();
        {
            bench::Program program(bundled);
            onBundled += extract(program, 3);
        }
        double t = 0;
        {
            bench::Program program(grown.copy);
            t = extract(program, 3);
        }
        onGrown += t;
        state.SetIterationTime(t);
        {
            // The choice alone, on the next day, rolled back.
            clock.at = QDateTime(kToday.addDays(++day), QTime(16, 0));
            bench::Program program(grown.copy);
            program.start();
            data::Transaction transaction(program.datam());
            const auto c0 = bench::Clock::now();
            daily::markToday(program.datam().ADOConnection1, 3, 0, false, clock.at);
            choice += bench::seconds(c0, bench::Clock::now());
        }
        if (std::string f = bench::takeFailure(); !f.empty()) {
            state.SkipWithError(f.c_str());
            break;
        }
    }
    daily::setClock(nullptr);
    const double n = static_cast<double>(state.iterations());
    state.counters["bundled_ms"] = onBundled / n * 1e3;
    state.counters["grown_ms"] = onGrown / n * 1e3;
    state.counters["choice_ms"] = choice / n * 1e3;
    state.counters["ratio_to_bundled"] = onBundled > 0 ? onGrown / onBundled : 0;
    state.counters["ratio_choice_to_bundled"] = onBundled > 0 ? (choice + onBundled) / onBundled : 0;
    state.counters["questions"] = static_cast<double>(scalar(grown.copy.path(), "select count(*) from b1"));
    state.counters["answers"] = static_cast<double>(scalar(grown.copy.path(), "select count(*) from history_answer"));
    state.counters["build_s"] = grown.secondsToBuild;
}
BENCHMARK(BM_DailyChoiceAtScale)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

long long fileBytes(const std::string& path) {
    return scalar(path, "select page_count * page_size from pragma_page_count, pragma_page_size");
}

void BM_HistoryBytesPerAnswer(benchmark::State& state) {
    GrownBank& grown = GrownBank::get();
    constexpr int kHomeworks = 250;
    double bytesPerAnswer = 0;
    for (auto _ : state) {
        data::Tdatam datam;
        datam.programDir = grown.copy.programDir();
        datam.OpenDatabase();
        const auto checkpoint = [&] {
            data::Query(datam.ADOConnection1, "PRAGMA wal_checkpoint(TRUNCATE)").open();
        };
        checkpoint();
        const long long before = fileBytes(grown.copy.path());
        int answers = 0;
        for (int h = 0; h < kHomeworks; ++h) {
            data::history::Grading g{3, h % 8, std::nullopt, static_cast<int>(kToday.toJulianDay()) + 100 + h,
                                     "2027-09-09 16:00:00", "2027-09-09 16:41:00", 2460, 85, 1, {}};
            for (int slot = 0; slot < 20; ++slot)
                g.answers.push_back({1000000 + (h * 20 + slot) * 37 % kBank, "ABCD"[slot % 4], slot % 6 != 0});
            for (int grading : {1, 2}) {
                g.grading = grading;
                data::Transaction transaction(datam);
                data::history::recordGrading(datam.ADOConnection1, g);
                transaction.commit();
                answers += 20;
            }
        }
        checkpoint();
        bytesPerAnswer = static_cast<double>(fileBytes(grown.copy.path()) - before) / answers;
    }
    state.counters["bytes_per_answer"] = bytesPerAnswer;
    state.counters["answers_recorded"] = 2.0 * 20 * kHomeworks;
}
BENCHMARK(BM_HistoryBytesPerAnswer)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
