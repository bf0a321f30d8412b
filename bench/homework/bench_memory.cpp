// The memory of a drawn homework.  Each measurement runs in a child process
// of its own (this program with --memory-probe=G), so nothing an earlier
// benchmark left in the heap hides the growth.  The child reads VmRSS before
// the window exists, on the start screen, right after ExtractHomework and
// after the cards' first paint, with VmHWM (the peak) reset just before the
// window is created; it also adds up the bitmaps the homework holds.
// RssAnon is the heap and other private memory, without the mapped files
// (libraries, fonts) that VmRSS also counts.
#include "bench_window.h"

#include "containers.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>
#include <map>

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

double bitmapBytes(const ui::Image* image) {
    return image ? static_cast<double>(image->picture().sizeInBytes()) : 0;
}

// The margin panels' tiled images.
double marginBytes(const ui::Panel* panel) {
    double bytes = 0;
    if (panel)
        for (const ui::Image* image : panel->findChildren<ui::Image*>()) bytes += bitmapBytes(image);
    return bytes;
}

void BM_HomeworkMemory(benchmark::State& state) {
    const int grade = static_cast<int>(state.range(0));
    std::map<std::string, double> figures;
    for (auto _ : state) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--memory-probe=%1").arg(grade)});
        if (!child.waitForFinished(120'000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            state.SkipWithError(("the probe failed: " + child.readAllStandardError().toStdString()).c_str());
            return;
        }
        for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
            const int eq = line.indexOf('=');
            if (eq > 0) figures[line.left(eq).toStdString()] = line.mid(eq + 1).toDouble();
        }
    }
    auto kb = [&](const char* key) { return figures[key] * 1024 / kMiB; };
    auto bytes = [&](const char* key) { return figures[key] / kMiB; };
    state.counters["rss_before_MiB"] = kb("rss_before_kB");
    state.counters["rss_start_MiB"] = kb("rss_start_kB");
    state.counters["rss_drawn_MiB"] = kb("rss_drawn_kB");
    state.counters["peak_drawn_MiB"] = kb("hwm_drawn_kB");
    state.counters["anon_before_MiB"] = kb("anon_before_kB");
    state.counters["anon_start_MiB"] = kb("anon_start_kB");
    state.counters["anon_drawn_MiB"] = kb("anon_drawn_kB");
    state.counters["rss_painted_MiB"] = kb("rss_painted_kB");
    state.counters["peak_painted_MiB"] = kb("hwm_painted_kB");
    state.counters["growth_MiB"] = kb("hwm_drawn_kB") - kb("rss_before_kB");
    state.counters["cards_MiB"] = bytes("cards_B");
    state.counters["cards_shown_MiB"] = bytes("cards_shown_B");
    state.counters["margins_MiB"] = bytes("margins_B");
    state.counters["cards"] = figures["cards"];
}
BENCHMARK(BM_HomeworkMemory)->Arg(3)->Arg(4)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int memoryProbe(int grade) {
    bench::DatabaseCopy db;
    bench::settle();
    const long before = bench::statusKb("VmRSS");
    const long beforeAnon = bench::statusKb("RssAnon");
    if (!bench::resetPeak()) std::fprintf(stderr, "VmHWM cannot be reset; the peak includes start-up\n");
    {
        bench::Program program(db);
        program.start();
        program.chooseGrade(grade);
        const long start = bench::statusKb("VmRSS");
        const long startAnon = bench::statusKb("RssAnon");
        TmainForm& form = program.form();
        form.ExtractHomework();
        const long drawn = bench::statusKb("VmRSS");
        const long drawnPeak = bench::statusKb("VmHWM");
        const long drawnAnon = bench::statusKb("RssAnon");
        // The cards on screen, as StartHomework leaves them.
        form.Panel_cy->hide();
        form.page1->show();
        bench::settle();
        const long painted = bench::statusKb("VmRSS");
        const long paintedPeak = bench::statusKb("VmHWM");

        double cards = 0;
        double shown = 0;
        int count = 0;
        for (const ui::Image* card : form.hw.CardImages) {
            if (!card) continue;
            ++count;
            cards += bitmapBytes(card);
            // The part of the bitmap the final card height shows.
            shown += static_cast<double>(card->picture().bytesPerLine()) * card->height();
        }
        if (std::string f = bench::takeFailure(); !f.empty()) {
            std::fprintf(stderr, "%s\n", f.c_str());
            return 1;
        }
        std::printf("rss_before_kB=%ld\nrss_start_kB=%ld\nrss_drawn_kB=%ld\nhwm_drawn_kB=%ld\n", before, start, drawn,
                    drawnPeak);
        std::printf("anon_before_kB=%ld\nanon_start_kB=%ld\nanon_drawn_kB=%ld\n", beforeAnon, startAnon, drawnAnon);
        std::printf("rss_painted_kB=%ld\nhwm_painted_kB=%ld\n", painted, paintedPeak);
        std::printf("cards_B=%.0f\ncards_shown_B=%.0f\nmargins_B=%.0f\ncards=%d\n", cards, shown,
                    marginBytes(form.MarginLeft) + marginBytes(form.MarginRight), count);
        std::fflush(stdout);
    }
    return 0;
}
