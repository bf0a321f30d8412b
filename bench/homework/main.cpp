// The homework benchmarks.  "bench_homework --memory-probe=G" is the child
// process of BM_HomeworkMemory: it draws one homework of grade G in a
// process of its own and prints what it measured.
#include "bench_window.h"

#include <cstring>
#include <string>

int memoryProbe(int grade);

int main(int argc, char** argv) {
    const char* probe = "--memory-probe=";
    if (argc == 2 && std::strncmp(argv[1], probe, std::strlen(probe)) == 0) {
        const int grade = std::stoi(argv[1] + std::strlen(probe));
        argc = 1;
        bench::Environment environment(argc, argv);
        return memoryProbe(grade);
    }
    return bench::runBenchmarks(argc, argv);
}
