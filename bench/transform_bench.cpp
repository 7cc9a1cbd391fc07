// Terrain edits on a 2048 x 2048 deterministic terrain, one thread: seconds per call
// (the benchmark's time) and cells per second (the cells of the new grid).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bench_kernels.h"
#include "zumeld/transform/Transforms.h"

namespace {

constexpr int kSide = 2048;

// Rolling terrain: a few crossing waves plus hash noise, sea below a level; a map grid
// with its margin (stride kSide + 1).
const std::vector<short>& Terrain() {
    static const std::vector<short> grid = [] {
        std::vector<short> g(static_cast<std::size_t>(kSide + 1) * (kSide + 1));
        for (int r = 0; r <= kSide; ++r) {
            for (int c = 0; c <= kSide; ++c) {
                const int y = r < kSide ? r : kSide - 1, x = c < kSide ? c : kSide - 1;
                std::uint32_t h = static_cast<std::uint32_t>(x) * 0x9E3779B1u ^
                                  static_cast<std::uint32_t>(y) * 0x85EBCA77u;
                h ^= h >> 15;
                h *= 0x2C1B3C6Du;
                h ^= h >> 12;
                const double v = 900 * std::sin(x * 0.011) + 700 * std::cos(y * 0.007) +
                                 500 * std::sin((x + y) * 0.023) + static_cast<double>(h % 64);
                g[static_cast<std::size_t>(r) * (kSide + 1) + c] =
                    static_cast<short>(v > 300 ? v - 300 : 0);
            }
        }
        return g;
    }();
    return grid;
}

Zumeld::GridView View() {
    return {Terrain().data(), kSide + 1, kSide, kSide};
}

template <typename Run>
void RunTransform(benchmark::State& state, Run run) {
    std::int64_t cells = 0;
    for (auto _ : state) {
        Zumeld::TransformedGrid g = run(View());
        benchmark::DoNotOptimize(g.cells.get());
        cells += static_cast<std::int64_t>(g.width) * g.height;
    }
    state.counters["cells/s"] =
        benchmark::Counter(static_cast<double>(cells), benchmark::Counter::kIsRate);
}

void BM_TransSize_3000(benchmark::State& state) {
    RunTransform(state, [](Zumeld::GridView v) { return Zumeld::ResizeGrid(v, 3000, 3000); });
}
void BM_TransSize_1000(benchmark::State& state) {
    RunTransform(state, [](Zumeld::GridView v) { return Zumeld::ResizeGrid(v, 1000, 1000); });
}
void BM_TransRotate_30(benchmark::State& state) {
    RunTransform(state, [](Zumeld::GridView v) { return Zumeld::RotateGrid(v, 30); });
}
void BM_TransRotate_30_Scalar(benchmark::State& state) {
    const bench::ScalarKernels baseline;
    RunTransform(state, [](Zumeld::GridView v) { return Zumeld::RotateGrid(v, 30); });
}
void BM_TransRotate_90(benchmark::State& state) {
    RunTransform(state, [](Zumeld::GridView v) { return Zumeld::RotateGrid(v, 90); });
}
void BM_TransSector_120_40(benchmark::State& state) {
    RunTransform(state, [](Zumeld::GridView v) { return Zumeld::SectorWarp(v, 120, 40); });
}
void BM_TransBarrel(benchmark::State& state) {
    // Full rows at the middle, three quarters of the width at the top and bottom.
    const double c = -kSide / 2.0;
    const double a = (kSide / 8.0) / ((kSide / 2.0) * (kSide / 2.0));
    RunTransform(state, [=](Zumeld::GridView v) { return Zumeld::BarrelWarp(v, a, 0, c); });
}

}  // namespace

BENCHMARK(BM_TransSize_3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransSize_1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransRotate_30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransRotate_30_Scalar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransRotate_90)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransSector_120_40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransBarrel)->Unit(benchmark::kMillisecond);
