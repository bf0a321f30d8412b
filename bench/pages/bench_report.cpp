// The homework report: building and paginating it beside the bare decoding
// of its pictures, drawing one page on screen beside a plain fill of the
// page bitmap, printing one page at 600 dpi into a PDF file, and the memory
// the open report holds.
//
// The report is that of a homework of grade 4 ("三年级下"), the grade whose
// first 20 questions carry the most pictures (9 question pictures and 5
// analysis pictures).
#include "bench_window.h"

#include "jpeg.h"
#include "print_service.h"

#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryDir>
#include <sqlite3.h>

namespace {

constexpr int kGrade = 4;

// The last homework in the copy: the first 20 questions of the grade pool,
// all answered "A"; returns their pictures (question and analysis).
std::vector<std::vector<unsigned char>> recordHomework(const std::string& path, int grade) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    const std::string ids = "select zd1 from b1 where zd9=" + std::to_string(grade) + " and zd10=2 order by zd1 limit 20";
    auto exec = [db](const std::string& sql) { sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); };
    exec("update b3 set zd3=0, zd4=''");
    exec("update b2 set zd3='2026-12-07 09:05:00', zd4='2026-12-07 09:40:00', zd5=2100, zd6=60 where zd1=1");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, ids.c_str(), -1, &st, nullptr);
    for (int slot = 1; sqlite3_step(st) == SQLITE_ROW; ++slot)
        exec("update b3 set zd4='A', zd3=" + std::to_string(sqlite3_column_int(st, 0)) + " where zd1=" +
             std::to_string(slot));
    sqlite3_finalize(st);
    std::vector<std::vector<unsigned char>> pictures;
    sqlite3_prepare_v2(db, ("select zd12, zd15 from b1 where zd1 in (" + ids + ")").c_str(), -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        for (int c = 0; c < 2; ++c)
            if (const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(st, c)))
                pictures.emplace_back(p, p + sqlite3_column_bytes(st, c));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return pictures;
}

void decodeAll(const std::vector<std::vector<unsigned char>>& pictures) {
    for (const auto& bytes : pictures) benchmark::DoNotOptimize(jpeg::decode(bytes));
}

void openReport(TmainForm& form) {
    form.OpenPageViewer();
    form.BuildHomeworkReport();
}

// BuildHomeworkReport with PaginateReport (and its drawing of page 1) on a
// window that shows the start screen; the pictures of the report decoded
// on a clock of their own in the same iteration.
void BM_BuildAndPaginateReport(benchmark::State& state) {
    bench::DatabaseCopy db;
    const auto pictures = recordHomework(db.path(), kGrade);
    bench::Program program(db);
    program.start();
    double build = 0, decode = 0;
    for (auto _ : state) {
        const auto d0 = bench::Clock::now();
        decodeAll(pictures);
        decode += bench::seconds(d0, bench::Clock::now());
        const auto t0 = bench::Clock::now();
        openReport(program.form());
        const double t = bench::seconds(t0, bench::Clock::now());
        state.SetIterationTime(t);
        build += t;
        program.form().Image2DblClick();
        if (std::string f = bench::takeFailure(); !f.empty()) return state.SkipWithError(f.c_str());
    }
    openReport(program.form());
    state.counters["pages"] = program.form().PageCount();
    state.counters["pictures"] = static_cast<double>(pictures.size());
    state.counters["decode_ms"] = benchmark::Counter(decode * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["ratio_to_decode"] = decode > 0 ? build / decode : 0;
}
BENCHMARK(BM_BuildAndPaginateReport)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// One screen drawing of page 2, which holds text and pictures.
void BM_DrawReportPage(benchmark::State& state) {
    bench::DatabaseCopy db;
    recordHomework(db.path(), kGrade);
    bench::Program program(db);
    program.start();
    openReport(program.form());
    program.form().CurrentPage = 2;
    for (auto _ : state) program.form().DrawCurrentPage();
    if (std::string f = bench::takeFailure(); !f.empty()) state.SkipWithError(f.c_str());
}
BENCHMARK(BM_DrawReportPage)->Unit(benchmark::kMillisecond);

// The floor for a screen page: filling a fresh 800 x 1097 bitmap.
void BM_FillPageBitmap(benchmark::State& state) {
    for (auto _ : state) {
        QImage page(800, 1097, QImage::Format_RGB32);
        page.fill(Qt::white);
        benchmark::DoNotOptimize(page.bits());
    }
}
BENCHMARK(BM_FillPageBitmap)->Unit(benchmark::kMillisecond);

// Page 2 printed at 600 dpi into a PDF file through the print dialog.
void BM_PrintPageAt600Dpi(benchmark::State& state) {
    bench::DatabaseCopy db;
    recordHomework(db.path(), kGrade);
    bench::Program program(db);
    program.start();
    openReport(program.form());
    QTemporaryDir out;
    const QString file = out.path() + "/page.pdf";
    pages::printServices().open = [](std::string&) {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setResolution(600);
        return printer;
    };
    pages::printServices().beforeJob = [&file](QPrinter& printer, int) { printer.setOutputFileName(file); };
    TmainForm& form = program.form();
    for (auto _ : state) {
        form.OpenPrintDialog();
        form.SpE1->setValue(2);
        form.SpE2->setValue(2);
        form.Button_DYXZQRClick();
        // "打印结束!" is the one message the print loop shows.
        if (std::string f = bench::takeFailure(); f.find("打印结束!") == std::string::npos)
            return state.SkipWithError(f.c_str());
    }
    pages::printServices() = {};
    state.counters["pdf_kB"] = static_cast<double>(QFileInfo(file).size()) / 1024;
}
BENCHMARK(BM_PrintPageAt600Dpi)->Unit(benchmark::kMillisecond);

// Resident memory with the report open: the peak while it is built and
// what stays once it shows, against the start screen.
void BM_ReportMemory(benchmark::State& state) {
    bench::DatabaseCopy db;
    recordHomework(db.path(), kGrade);
    bench::Program program(db);
    program.start();
    bench::settle();
    for (auto _ : state) {
        const long before = bench::statusKb("VmRSS");
        bench::resetPeak();
        openReport(program.form());
        bench::settle();
        state.counters["start_screen_MiB"] = before / 1024.0;
        state.counters["report_open_MiB"] = bench::statusKb("VmRSS") / 1024.0;
        state.counters["peak_MiB"] = bench::statusKb("VmHWM") / 1024.0;
    }
}
BENCHMARK(BM_ReportMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
