// The start-up completion's own work on the third tick of Timer2: open the
// database, read the remembered grade and unit from b5, fill the unit list
// and show the start screen.  A fresh window and data module every
// iteration, shown and laid out first; only the third tick is timed.
#include "bench_window.h"

#include <sqlite3.h>

namespace {

void BM_CompleteStartup(benchmark::State& state) {
    bench::DatabaseCopy db;
    double paint = 0;
    for (auto _ : state) {
        bench::Program program(db);
        program.untilThirdTick();

        const auto t0 = bench::Clock::now();
        program.form().Timer2Timer();
        const auto t1 = bench::Clock::now();
        state.SetIterationTime(bench::seconds(t0, t1));

        // What the event loop does next: paint the start screen (not timed).
        bench::settle();
        paint += bench::seconds(t1, bench::Clock::now());

        if (std::string f = bench::takeFailure(); !f.empty()) {
            state.SkipWithError(f.c_str());
            break;
        }
        if (!program.form().StartupCompleted || !program.datam().ADOConnection1.connected() ||
            program.form().c2->count() == 0) {
            state.SkipWithError("the start screen did not appear");
            break;
        }
    }
    state.counters["paint_after_ms"] = benchmark::Counter(paint * 1e3, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CompleteStartup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

// The first step alone: the data module opens its connection (file check
// and password included) on a fresh data module.
void BM_OpenDatabase(benchmark::State& state) {
    bench::DatabaseCopy db;
    for (auto _ : state) {
        data::Tdatam datam;
        datam.programDir = db.programDir();
        datam.DataModuleCreate();
        const auto t0 = bench::Clock::now();
        datam.OpenDatabase();
        state.SetIterationTime(bench::seconds(t0, bench::Clock::now()));
    }
}
BENCHMARK(BM_OpenDatabase)->UseManualTime()->Unit(benchmark::kMillisecond);

// The file check the connection runs on every open, by itself: SQLite's
// PRAGMA quick_check on the same file.
void BM_QuickCheck(benchmark::State& state) {
    bench::DatabaseCopy db;
    for (auto _ : state) {
        sqlite3* handle = nullptr;
        sqlite3_open_v2(db.path().c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(handle, "PRAGMA quick_check", nullptr, nullptr, nullptr);
        sqlite3_close(handle);
    }
}
BENCHMARK(BM_QuickCheck)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::runBenchmarks(argc, argv); }
