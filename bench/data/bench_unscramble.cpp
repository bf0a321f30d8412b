// UnscrambleField throughput beside a plain byte copy of the same bytes.
#include "datam.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kKey = 7;

// About 1 MB of stored text: GBK-like clear bytes scrambled with kKey.
const std::string& storedText() {
    static const std::string stored = [] {
        std::string s;
        s.reserve(3 * 350'000);
        for (unsigned i = 0; i < 350'000; ++i) {
            char digits[4];
            std::snprintf(digits, sizeof digits, "%03u", (i * 131 + 17) % 256);
            s += static_cast<char>(digits[0] + 20 + kKey);
            s += static_cast<char>(digits[1] + 17 + kKey);
            s += static_cast<char>(digits[2] + 17 + kKey);
        }
        return s;
    }();
    return stored;
}

void BM_UnscrambleField(benchmark::State& state) {
    const std::string& stored = storedText();
    for (auto _ : state) {
        std::string clear = data::Tdatam::UnscrambleField(stored, kKey);
        benchmark::DoNotOptimize(clear.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * stored.size());
}
BENCHMARK(BM_UnscrambleField);

void BM_ByteCopy(benchmark::State& state) {
    const std::string& stored = storedText();
    for (auto _ : state) {
        std::string copy(stored.size(), '\0');
        const char* in = stored.data();
        char* out = copy.data();
        for (std::size_t i = 0; i < stored.size(); ++i) out[i] = in[i];
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * stored.size());
}
BENCHMARK(BM_ByteCopy);

}  // namespace

BENCHMARK_MAIN();
