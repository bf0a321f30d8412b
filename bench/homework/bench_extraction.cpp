// Drawing a homework: ExtractHomework on a grade pool of 20 questions, beside
// the bare decoding of the JPEG pictures of the same 20 questions.
//
// Grades (item index of c1) in the bundled database, first 20 questions:
//   3 "三年级上": 7 with a picture (the usual case);
//   4 "三年级下": 9 with a picture, the most of any grade.
#include "bench_window.h"

#include "jpeg.h"

namespace {

void decodeAll(const std::vector<std::vector<unsigned char>>& pictures) {
    for (const auto& bytes : pictures) {
        QImage image = jpeg::decode(bytes);
        benchmark::DoNotOptimize(image);
    }
}

// A fresh window on the start screen every iteration, on a fresh copy of
// the database, the grade chosen; only ExtractHomework is timed.  On the
// shipped file every statement of the extraction changes its row (b3 holds
// no question yet), as after a graded homework (b3 holds the answers): each
// commits on its own.  A copy reused across iterations would already hold
// the same rows, and SQLite skips the write of an unchanged row.  The pictures of the drawn questions are
// decoded once per iteration on a clock of their own, so decode_ms and
// ratio_to_decode (extraction time / decoding time) come from the same
// moments of the machine as the extraction.
// The questions a homework of the grade draws on a fresh copy: the day's
// choice decides them, so a first, untimed draw tells which.
std::vector<int> drawnQuestions(bench::DatabaseCopy& db, int grade) {
    db.refresh();
    bench::Program program(db);
    program.start();
    program.chooseGrade(grade);
    program.form().ExtractHomework();
    std::vector<int> ids;
    for (int slot = 1; slot <= program.form().hw.QuestionCount; ++slot) ids.push_back(program.form().hw.QuestionIds(slot));
    return ids;
}

void BM_ExtractHomework(benchmark::State& state) {
    const int grade = static_cast<int>(state.range(0));
    bench::DatabaseCopy db;
    const auto pictures = bench::drawnPictures(db.path(), drawnQuestions(db, grade));
    double extract = 0;
    double decode = 0;
    int questions = 0;
    std::string grades;
    for (auto _ : state) {
        const auto d0 = bench::Clock::now();
        decodeAll(pictures);
        decode += bench::seconds(d0, bench::Clock::now());

        db.refresh();
        bench::Program program(db);
        program.start();
        program.chooseGrade(grade);
        if (grades.empty()) grades = bench::gradeName(program.form(), grade);

        const auto t0 = bench::Clock::now();
        program.form().ExtractHomework();
        const double t = bench::seconds(t0, bench::Clock::now());
        state.SetIterationTime(t);
        extract += t;

        questions = program.form().hw.QuestionCount;
        if (std::string f = bench::takeFailure(); !f.empty()) {
            state.SkipWithError(f.c_str());
            return;
        }
    }
    state.SetLabel(grades);
    state.counters["questions"] = questions;
    state.counters["pictures"] = static_cast<double>(pictures.size());
    state.counters["decode_ms"] = benchmark::Counter(decode * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["ratio_to_decode"] = decode > 0 ? extract / decode : 0;
}
BENCHMARK(BM_ExtractHomework)->Arg(3)->Arg(4)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The bare decoding of the same pictures: their zd12 files read once, then
// jpeg::decode of each, every iteration.
void BM_DecodeDrawnPictures(benchmark::State& state) {
    const int grade = static_cast<int>(state.range(0));
    bench::DatabaseCopy db;
    const auto pictures = bench::drawnPictures(db.path(), drawnQuestions(db, grade));
    double bytes = 0;
    double pixels = 0;
    for (const auto& p : pictures) {
        bytes += static_cast<double>(p.size());
        const QImage image = jpeg::decode(p);
        pixels += static_cast<double>(image.width()) * image.height();
    }
    for (auto _ : state) decodeAll(pictures);
    state.counters["pictures"] = static_cast<double>(pictures.size());
    state.counters["jpeg_kB"] = bytes / 1024;
    state.counters["Mpixels"] = pixels / 1e6;
}
BENCHMARK(BM_DecodeDrawnPictures)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace
