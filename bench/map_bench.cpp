// Grid operations of the map object on a 4096 x 4096 map: cells per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "zumeld/elevation/CtrlElvMap.h"

namespace {

constexpr int kSide = 4096;

// Host cells: sea and land in runs, as a real map has them (fixed, not random per run).
std::vector<short> HostCells() {
    std::vector<short> cells(static_cast<std::size_t>(kSide) * kSide);
    std::uint32_t s = 12345;
    for (short& c : cells) {
        s = s * 1664525u + 1013904223u;
        c = static_cast<short>((s >> 16) % 5 == 0 ? 0 : (s >> 20) % 3000);
    }
    return cells;
}

void BM_EraseLandTopography(benchmark::State& state) {
    const std::vector<short> cells = HostCells();
    Zumeld::CCtrlElvMap map;
    map.SetElevationData(kSide, kSide, cells.data());
    for (auto _ : state) {
        map.EraseLandTopography();
        benchmark::DoNotOptimize(map.m_pElevation.get());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * map.m_nBufferWidth * map.m_nBufferHeight);
}
BENCHMARK(BM_EraseLandTopography)->Unit(benchmark::kMillisecond);

void BM_SetElevationData(benchmark::State& state) {
    const std::vector<short> cells = HostCells();
    Zumeld::CCtrlElvMap map;
    for (auto _ : state) {
        map.SetElevationData(kSide, kSide, cells.data());
        benchmark::DoNotOptimize(map.m_pElevation.get());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kSide) * kSide);
}
BENCHMARK(BM_SetElevationData)->Unit(benchmark::kMillisecond);

}  // namespace
