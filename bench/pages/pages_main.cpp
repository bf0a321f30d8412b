// The page benchmarks' main (bench_learning shares the plain main.cpp).
// "bench_pages --progress-memory-probe" is the child process of
// BM_ProgressMemory: it opens and leaves the learning record in a process
// of its own and prints what it measured.
#include "bench_window.h"

#include <cstring>

int progressMemoryProbe();

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--progress-memory-probe") == 0) {
        argc = 1;
        bench::Environment environment(argc, argv);
        return progressMemoryProbe();
    }
    return bench::runBenchmarks(argc, argv);
}
