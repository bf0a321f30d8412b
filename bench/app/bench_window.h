// The real window on a copy of the bundled database, on the offscreen
// platform with a 1280 x 1024 screen, for the window benchmarks.  Message
// boxes, the error box and notices are recorded as failures; pauses return
// at once; the end of the program unwinds as ui::Terminated.
#pragma once

#include "datam.h"
#include "mainform.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace bench {

// The offscreen platform, the application object, the font substitutions,
// manual timers and the recording services.  Create one in main, after
// benchmark::Initialize has taken its own arguments.
class Environment {
public:
    Environment(int& argc, char** argv);
    ~Environment();

private:
    struct App;
    std::unique_ptr<App> app_;
};

// The benchmarks' main: reads the benchmark options, sets up the
// environment and runs the benchmarks named on the command line.
int runBenchmarks(int argc, char** argv);

// What went wrong in the program since the last call ("" when nothing):
// a message box, the error box or the notice "系统数据错!".
std::string takeFailure();

// A copy of the bundled database in a temporary directory laid out as the
// program's own: <dir>/dat/kelvma.dat.
class DatabaseCopy {
public:
    DatabaseCopy();
    // Copies the bundled file again, as shipped.  No connection may be open.
    void refresh();
    const std::string& programDir() const { return programDir_; }
    const std::string& path() const { return path_; }

private:
    QTemporaryDir dir_;
    std::string programDir_;
    std::string path_;
};

// A window and its data module on a database copy, created as the process
// entry creates them.
class Program {
public:
    explicit Program(const DatabaseCopy& db);
    ~Program();

    // Shows the window and lets the event loop lay it out and paint it.
    void show();
    // One tick of Timer2, then the events it left, as the event loop runs them.
    void tick();
    // show() and the first two ticks: the next tick completes the start-up.
    void untilThirdTick();
    // show() and the three ticks: the start screen.
    void start();
    // The grade in c1 as a pupil picks it, the first unit in c2.
    void chooseGrade(int grade);

    data::Tdatam& datam() { return *datam_; }
    TmainForm& form() { return *form_; }

private:
    std::unique_ptr<data::Tdatam> datam_;
    std::unique_ptr<TmainForm> form_;
};

// Runs the pending events, deferred deletions included.
void settle();

// Seconds between two points of the steady clock.
using Clock = std::chrono::steady_clock;
inline double seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when absent.
long statusKb(const char* field);
// Resets VmHWM to the current resident size; false when the kernel refuses.
bool resetPeak();

// The JPEG files (zd12) of the given questions that have one, read once.
std::vector<std::vector<unsigned char>> drawnPictures(const std::string& dbPath, const std::vector<int>& questions);

// The label of a grade as the window's grade list shows it, UTF-8.
std::string gradeName(TmainForm& form, int grade);

}  // namespace bench
