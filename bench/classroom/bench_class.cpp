// A class of 40 pupils with a year of daily homework (14,600 homeworks,
// 292,000 answers) on a local throw-away server: the upload as the pupils'
// machines send it, and the teacher's report as text, CSV and PDF.  Each is
// reported beside a limit of the same server measured in the same run: the
// upload beside the server inserting the same answer rows from a query of
// its own (no client, no round trips), the reports beside one scan of all
// the class's answers, which any report must at least read.
#include "class_fixture.h"
#include "class_report.h"
#include "shared_server.h"
#include "text.h"
#include "upload.h"

#include <QGuiApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <sstream>

namespace {

using namespace classroom;
using namespace classroom::testing;
using Clock = std::chrono::steady_clock;

constexpr int kPupils = 40;
constexpr int kDays = 365;
constexpr int kFirstDay = 2461102 - kDays;  // a year up to 2026-03-02
constexpr int kBatch = 50;                  // entries a machine sends at once after a day offline
const std::string kClass = "六年级1班";

double seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

std::string pupilName(int n) {
    char name[16];
    std::snprintf(name, sizeof name, "学生%02d", n);
    return name;
}

// The year of pupil n, its questions drawn from a bank of 600.
std::vector<data::outbox::Entry> yearOf(int n) {
    std::vector<data::outbox::Entry> year;
    for (int d = 0; d < kDays; ++d) {
        data::outbox::Entry e =
            MakeEntry(PupilLogin("bench", n), kClass, pupilName(n), d, kFirstDay + d, 8 + (d * 7 + n) % 13);
        e.unit = d / 61;
        e.unitName = "第" + std::to_string(e.unit + 1) + "单元";
        for (data::outbox::Answer& a : e.answers) {
            a.question = 1 + (d * 20 + a.slot * 7 + n) % 600;
            a.text = "一只青蛙在井底，每天白天向上爬3米，夜里滑下2米，井深" + std::to_string(a.question) +
                     "米，第几天能爬出井口？";
        }
        year.push_back(std::move(e));
    }
    return year;
}

struct Loaded {
    double uploadSeconds = 0;
    long long homeworks = 0;
};

// Makes the class and uploads its year once, as the pupils' machines would.
const Loaded& loadYear() {
    static const Loaded loaded = [] {
        Loaded l;
        MakeClass("bench", kClass, kPupils);
        for (int n = 1; n <= kPupils; ++n) {
            Connection machine = ConnectAs(PupilLogin("bench", n));
            const std::vector<data::outbox::Entry> year = yearOf(n);
            const auto t0 = Clock::now();
            for (std::size_t from = 0; from < year.size(); from += kBatch) {
                const std::vector<data::outbox::Entry> batch(
                    year.begin() + static_cast<long>(from),
                    year.begin() + static_cast<long>(std::min(year.size(), from + kBatch)));
                l.homeworks += Upload(machine, batch);
            }
            l.uploadSeconds += seconds(t0);
        }
        return l;
    }();
    return loaded;
}

Connection teacher() { return ConnectAs("benchteacher"); }

// The server alone inserting as many answer rows into a table like
// aoshu.answers (same keys and checks, no row-level security).
double serverInsertSeconds(long long rows) {
    Connection admin = OpenServer(SharedServer().superuserUri());
    admin.script("SET client_min_messages = warning; DROP TABLE IF EXISTS answers_limit; CREATE TABLE answers_limit "
                 "(LIKE aoshu.answers INCLUDING DEFAULTS INCLUDING CONSTRAINTS INCLUDING INDEXES)");
    const auto t0 = Clock::now();
    admin.exec("INSERT INTO answers_limit SELECT '', $1, lpad(to_hex(i / 20), 32, '0'), 1 + i % 20, '学生', i % 600, "
               "'A', 'B', false, repeat('题', 40) FROM generate_series(0, $2::bigint - 1) AS i",
               {kClass, std::to_string(rows)});
    const double t = seconds(t0);
    admin.script("DROP TABLE answers_limit");
    return t;
}

double scanSeconds(Connection& c) {
    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(c.exec("SELECT count(*), sum(length(question_text)), sum(question) FROM aoshu.answers "
                                    "WHERE class = $1",
                                    {kClass})
                                 .integer(0, 0));
    return seconds(t0);
}

void BM_UploadYear(benchmark::State& state) {
    for (auto _ : state) {
        const Loaded& l = loadYear();
        state.SetIterationTime(l.uploadSeconds);
        const double limit = serverInsertSeconds(l.homeworks * 20);
        state.counters["homeworks"] = static_cast<double>(l.homeworks);
        state.counters["answers_per_s"] = l.homeworks * 20 / l.uploadSeconds;
        state.counters["server_insert_answers_per_s"] = l.homeworks * 20 / limit;
        state.counters["ratio_to_server_insert"] = l.uploadSeconds / limit;
        // Bytes on disk per row, indexes included: the sizing of a district.
        Connection admin = OpenServer(SharedServer().superuserUri());
        admin.script("VACUUM ANALYZE aoshu.homeworks");
        admin.script("VACUUM ANALYZE aoshu.answers");
        const Result size = admin.exec("SELECT pg_total_relation_size('aoshu.homeworks'), "
                                       "pg_total_relation_size('aoshu.answers')");
        state.counters["bytes_per_homework"] = size.real(0, 0) / l.homeworks;
        state.counters["bytes_per_answer"] = size.real(0, 1) / (l.homeworks * 20);
    }
}
BENCHMARK(BM_UploadYear)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// kind 0: text, 1: CSV, 2: PDF.
void BM_Report(benchmark::State& state) {
    loadYear();
    Connection c = teacher();
    QTemporaryDir folder;
    double report = 0, scan = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (state.range(0) == 1) {
            std::ostringstream csv;
            WriteCsv(c, {kClass, std::nullopt}, csv);
            bytes = csv.str().size();
        } else {
            const std::vector<ClassFigures> figures = ReadReport(c, {kClass, std::nullopt});
            if (state.range(0) == 0) {
                bytes = ReportText(figures, {}).size();
            } else {
                const std::string path = folder.filePath("report.pdf").toStdString();
                if (const std::string why = WriteReportPdf(ReportLines(figures, {}), path); !why.empty())
                    return state.SkipWithError(why.c_str());
                bytes = static_cast<std::size_t>(QFileInfo(QString::fromStdString(path)).size());
            }
        }
        const double t = seconds(t0);
        state.SetIterationTime(t);
        report += t;
        scan += scanSeconds(c);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["scan_ms"] = benchmark::Counter(scan * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["ratio_to_scan"] = scan > 0 ? report / scan : 0;
}
BENCHMARK(BM_Report)->ArgName("text_csv_pdf")->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ui::installFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
