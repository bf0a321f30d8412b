// The learning record on three years of daily practice (1,100 homeworks,
// 22,000 answers): building and paginating it (with the drawing of its
// first page) beside composing the unit learning page, each timed in the
// same iterations and reported as a ratio; and the resident memory after
// 20 open-and-back cycles, measured in a child process of its own
// ("bench_pages --progress-memory-probe") as the homework memory is.
#include "bench_window.h"

#include <QCoreApplication>
#include <QDate>
#include <QProcess>
#include <sqlite3.h>

#include <cstdio>
#include <map>

namespace {

constexpr int kGrade = 3;
constexpr int kHomeworks = 1100;

// The history of a pupil who did one homework of grade kGrade a day for
// kHomeworks days up to today, on the grade's questions, in six units.
void writeHistory(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_busy_timeout(db, 5000);
    auto exec = [db](const std::string& sql) { sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); };
    std::vector<int> questions;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, ("select zd1 from b1 where zd9=" + std::to_string(kGrade) + " order by zd1").c_str(), -1,
                       &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) questions.push_back(sqlite3_column_int(st, 0));
    sqlite3_finalize(st);
    const int today = static_cast<int>(QDate::currentDate().toJulianDay());
    exec("begin");
    for (int h = 0; h < kHomeworks; ++h) {
        const int right = 8 + (h * 7) % 13;
        exec("insert into history_homework (id, grade, unit, paper, day, start, finish, seconds, score, grading) "
             "values (" + std::to_string(h + 1) + "," + std::to_string(kGrade) + "," + std::to_string(h % 6) +
             ",null," + std::to_string(today - kHomeworks + 1 + h) +
             ",'2026-01-01 18:00:00','2026-01-01 18:30:00'," + std::to_string(900 + h % 600) + "," +
             std::to_string(right * 5) + ",1)");
        for (int slot = 1; slot <= 20; ++slot)
            exec("insert into history_answer values (" + std::to_string(h + 1) + "," + std::to_string(slot) + "," +
                 std::to_string(questions[static_cast<std::size_t>((h * 20 + slot * 7) % questions.size())]) +
                 ",'A'," + (slot <= right ? "1" : "0") + ")");
    }
    exec("commit");
    sqlite3_close(db);
}

struct Practised {
    bench::DatabaseCopy db;
    bench::Program program{db};
    Practised() {
        program.start();  // adds the history tables to the copy
        writeHistory(db.path());
        program.chooseGrade(kGrade);
    }
};

void openAndBack(TmainForm& form) {
    form.ShowProgressPage();
    form.Image2DblClick();
}

void BM_ProgressBesideUnitPage(benchmark::State& state) {
    Practised p;
    TmainForm& form = p.program.form();
    double progress = 0, unit = 0;
    for (auto _ : state) {
        const auto u0 = bench::Clock::now();
        form.sp1Click();
        unit += bench::seconds(u0, bench::Clock::now());
        form.ReturnFromPage();

        const auto t0 = bench::Clock::now();
        form.ShowProgressPage();
        const double t = bench::seconds(t0, bench::Clock::now());
        state.SetIterationTime(t);
        progress += t;
        form.Image2DblClick();
        if (std::string f = bench::takeFailure(); !f.empty()) return state.SkipWithError(f.c_str());
    }
    form.ShowProgressPage();
    state.counters["pages"] = form.PageCount();
    state.counters["unit_page_ms"] = benchmark::Counter(unit * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["ratio_to_unit_page"] = unit > 0 ? progress / unit : 0;
}
BENCHMARK(BM_ProgressBesideUnitPage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ProgressMemory(benchmark::State& state) {
    std::map<std::string, double> figures;
    for (auto _ : state) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--progress-memory-probe")});
        if (!child.waitForFinished(300'000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            state.SkipWithError(("the probe failed: " + child.readAllStandardError().toStdString()).c_str());
            return;
        }
        for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
            const int eq = line.indexOf('=');
            if (eq > 0) figures[line.left(eq).toStdString()] = line.mid(eq + 1).toDouble();
        }
    }
    for (const char* key : {"start", "open", "back", "after_20"})
        state.counters[std::string(key) + "_MiB"] = figures[std::string(key) + "_kB"] / 1024;
    state.counters["growth_after_20_MiB"] = (figures["after_20_kB"] - figures["back_kB"]) / 1024;
    state.counters["above_start_MiB"] = (figures["after_20_kB"] - figures["start_kB"]) / 1024;
}
BENCHMARK(BM_ProgressMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int progressMemoryProbe() {
    Practised p;
    TmainForm& form = p.program.form();
    bench::settle();
    const long start = bench::statusKb("VmRSS");
    form.ShowProgressPage();
    bench::settle();
    const long open = bench::statusKb("VmRSS");
    form.Image2DblClick();
    bench::settle();
    const long back = bench::statusKb("VmRSS");
    for (int i = 0; i < 20; ++i) {
        openAndBack(form);
        bench::settle();
    }
    const long after = bench::statusKb("VmRSS");
    if (std::string f = bench::takeFailure(); !f.empty()) {
        std::fprintf(stderr, "%s\n", f.c_str());
        return 1;
    }
    std::printf("start_kB=%ld\nopen_kB=%ld\nback_kB=%ld\nafter_20_kB=%ld\n", start, open, back, after);
    std::fflush(stdout);
    return 0;
}
