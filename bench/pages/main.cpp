#include "bench_window.h"

int main(int argc, char** argv) { return bench::runBenchmarks(argc, argv); }
