// Content pages: composing the bundled unit page with the most pictures
// (grade 0, "一年级", its first unit: two pictures) beside filling the
// 800 x 9677 page bitmap and decoding its pictures, and the memory a page
// holds while it shows and after the pupil has gone back.
#include "bench_window.h"

#include "jpeg.h"

#include <sqlite3.h>

namespace {

constexpr int kGrade = 0;
constexpr int kUnit = 0;

std::vector<std::vector<unsigned char>> unitPictures(const std::string& path) {
    std::vector<std::vector<unsigned char>> pictures;
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    const std::string sql =
        "select zd5 from b6 where zd2=" + std::to_string(kGrade) + " and zd3=" + std::to_string(kUnit);
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
        const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(st, 0));
        pictures.emplace_back(p, p + sqlite3_column_bytes(st, 0));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return pictures;
}

// A start screen with the unit chosen.
struct UnitScreen {
    bench::DatabaseCopy db;
    bench::Program program{db};
    UnitScreen() {
        program.start();
        program.chooseGrade(kGrade);
    }
};

// sp1Click composes and shows the page; each iteration goes back first.
// The floor, timed in the same iterations: filling a fresh 800 x 9677 RGB32
// bitmap and decoding the page's pictures.
void BM_ComposeUnitPage(benchmark::State& state) {
    UnitScreen screen;
    TmainForm& form = screen.program.form();
    const auto pictures = unitPictures(screen.db.path());
    double compose = 0, floor = 0;
    for (auto _ : state) {
        const auto f0 = bench::Clock::now();
        QImage page(800, 9677, QImage::Format_RGB32);
        page.fill(Qt::white);
        benchmark::DoNotOptimize(page.bits());
        for (const auto& bytes : pictures) benchmark::DoNotOptimize(jpeg::decode(bytes));
        floor += bench::seconds(f0, bench::Clock::now());

        const auto t0 = bench::Clock::now();
        form.sp1Click();
        const double t = bench::seconds(t0, bench::Clock::now());
        state.SetIterationTime(t);
        compose += t;
        form.ReturnFromPage();
        if (std::string f = bench::takeFailure(); !f.empty()) return state.SkipWithError(f.c_str());
    }
    state.counters["pictures"] = static_cast<double>(pictures.size());
    state.counters["fill_and_decode_ms"] = benchmark::Counter(floor * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["ratio_to_fill_and_decode"] = floor > 0 ? compose / floor : 0;
}
BENCHMARK(BM_ComposeUnitPage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// Resident memory: on the start screen, with the page open (and the peak
// while it is composed), after going back, and after 20 more open-and-back
// cycles, which must not grow it.
void BM_ContentPageMemory(benchmark::State& state) {
    UnitScreen screen;
    TmainForm& form = screen.program.form();
    bench::settle();
    for (auto _ : state) {
        const long start = bench::statusKb("VmRSS");
        bench::resetPeak();
        form.sp1Click();
        bench::settle();
        const long open = bench::statusKb("VmRSS");
        const long peak = bench::statusKb("VmHWM");
        form.ReturnFromPage();
        bench::settle();
        const long back = bench::statusKb("VmRSS");
        for (int i = 0; i < 20; ++i) {
            form.sp1Click();
            bench::settle();
            form.ReturnFromPage();
            bench::settle();
        }
        const long after = bench::statusKb("VmRSS");
        state.counters["start_MiB"] = start / 1024.0;
        state.counters["open_MiB"] = open / 1024.0;
        state.counters["peak_MiB"] = peak / 1024.0;
        state.counters["back_MiB"] = back / 1024.0;
        state.counters["after_20_MiB"] = after / 1024.0;
    }
}
BENCHMARK(BM_ContentPageMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
