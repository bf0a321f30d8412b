// One grading of a drawn homework, its one-second pause taken out (the
// pause service returns at once).
#include "bench_window.h"

#include "gbk.h"

#include <algorithm>

namespace {

// A drawn homework of the grade, answered as a pupil would: the first 15
// right, the last 5 wrong, so the first grading scores 75 and records the
// homework in b2 (the path with the most statements short of 100 points).
void BM_GradeHomework(benchmark::State& state) {
    const int grade = static_cast<int>(state.range(0));
    bench::DatabaseCopy db;
    std::string grades;
    for (auto _ : state) {
        db.refresh();
        bench::Program program(db);
        program.start();
        program.chooseGrade(grade);
        TmainForm& form = program.form();
        if (grades.empty()) grades = bench::gradeName(form, grade);
        form.ExtractHomework();
        for (int n = 1; n <= form.hw.QuestionCount; ++n) {
            const int key = std::max(0, form.hw.AnswerKeys(n));
            form.hw.AnswerGroups[static_cast<std::size_t>(n - 1)]->setItemIndex(n <= 15 ? key : (key + 1) % 4);
        }
        // The cards are on screen before the pupil presses "我做完了".
        form.page1->show();
        form.Panel_cy->hide();
        bench::settle();

        const auto t0 = bench::Clock::now();
        form.GradeHomework();
        state.SetIterationTime(bench::seconds(t0, bench::Clock::now()));

        if (std::string f = bench::takeFailure(); !f.empty()) {
            state.SkipWithError(f.c_str());
            return;
        }
        if (form.hw.GradingCount != 1 || gbk::toUtf8(form.Pts->caption()) != "分数：75，请认真检查！") {
            state.SkipWithError(("unexpected result: " + gbk::toUtf8(form.Pts->caption())).c_str());
            return;
        }
    }
    state.SetLabel(grades);
}
BENCHMARK(BM_GradeHomework)->Arg(3)->Arg(4)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// One statement of the grading by itself: the write of slot 1 through
// RunCommand, as each of the 20 slot writes does it.
void BM_SlotWrite(benchmark::State& state) {
    bench::DatabaseCopy db;
    data::Tdatam datam;
    datam.programDir = db.programDir();
    datam.DataModuleCreate();
    datam.OpenDatabase();
    bool failed = false;
    datam.showNotice = [&failed](const std::string&) { failed = true; };
    int i = 0;
    for (auto _ : state) {
        datam.RunCommand(std::string("update b3 set zd4='") + static_cast<char>('A' + i++ % 4) +
                         "',zd6=0 where zd1=1");
    }
    if (failed) state.SkipWithError("the statement failed");
}
BENCHMARK(BM_SlotWrite)->Unit(benchmark::kMillisecond);

}  // namespace
