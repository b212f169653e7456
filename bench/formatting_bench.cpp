// The size and rate texts of the progress lines, which a transfer formats after every 4 KB block:
// our integer formatting against the printf formatting it replaced (same digits, tested in
// tests/webcopy/FormattingTest.cpp).
//
//   build/bench/formatting_bench
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "webcopy/Formatting.h"

namespace {

// The block counts of a 200 MB transfer: every size from 4 KB to 200 MB in 4 KB steps.
constexpr uint32_t kBlock = 4096;
constexpr uint32_t kLast = 200u * 1024 * 1024;

void BM_FileSizeFmt(benchmark::State& state) {
    uint32_t done = kBlock;
    for (auto _ : state) {
        benchmark::DoNotOptimize(zandrel::webcopy::FileSizeFmt(done));
        done = done >= kLast ? kBlock : done + kBlock;
    }
}
BENCHMARK(BM_FileSizeFmt);

// The peer: "%.2f" of the scaled double, the way the texts were made before.
std::string PrintfSizeText(uint32_t n) {
    if (n < 1000u) return std::to_string(n) + " bytes";
    const bool kilo = n < 1000000u;
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", n / (kilo ? 1000.0 : 1000000.0));
    return std::string(text) + (kilo ? " Kb" : " Mb");
}

void BM_PrintfSizeText(benchmark::State& state) {
    uint32_t done = kBlock;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PrintfSizeText(done));
        done = done >= kLast ? kBlock : done + kBlock;
    }
}
BENCHMARK(BM_PrintfSizeText);

} // namespace

BENCHMARK_MAIN();
