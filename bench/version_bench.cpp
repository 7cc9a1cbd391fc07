#include <benchmark/benchmark.h>

#include "zumeld/zumeld.h"

static void BM_Version(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(Zumeld::GetVersionString());
}
BENCHMARK(BM_Version);
