// Converting the full Jet 4.0 test file into our format, beside the cost of
// reading the same file with the same library: mdb-export of every table to
// /dev/null.  The counters give both times and their ratio.
#include "jet_convert.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kJetFile = std::string(JET4_FIXTURES_DIR) + "/kelvma-full.mdb";
const char* const kTables[] = {"b1", "b2", "b3", "b4", "b5", "b6"};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs mdb-export FILE TABLE for every table, output to /dev/null; false
// when one of them fails.
bool exportAllTables() {
    for (const char* table : kTables) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> args = {"mdb-export", kJetFile, table};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        const int failed = posix_spawnp(&pid, "mdb-export", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        if (failed || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return false;
    }
    return true;
}

void BM_JetConversionBesideMdbExport(benchmark::State& state) {
    if (!fs::exists(kJetFile)) {
        state.SkipWithError(("the Jet 4.0 test files are not in " JET4_FIXTURES_DIR));
        return;
    }
    const fs::path out = fs::temp_directory_path() / ("bench-jet-" + std::to_string(getpid()) + ".dat");
    double conversion = 0, exporting = 0;
    for (auto _ : state) {
        fs::remove(out);
        auto start = Clock::now();
        data::convertJetFile(kJetFile, out.string(), "739184026551903");
        const double converted = secondsSince(start);
        start = Clock::now();
        if (!exportAllTables()) {
            state.SkipWithError("mdb-export failed (is mdbtools installed?)");
            break;
        }
        exporting += secondsSince(start);
        conversion += converted;
        state.SetIterationTime(converted);
    }
    fs::remove(out);
    const double n = static_cast<double>(state.iterations());
    state.counters["conversion_ms"] = conversion / n * 1000;
    state.counters["mdb_export_ms"] = exporting / n * 1000;
    state.counters["ratio"] = exporting > 0 ? conversion / exporting : 0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(kJetFile)));
}
BENCHMARK(BM_JetConversionBesideMdbExport)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace
