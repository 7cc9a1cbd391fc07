// Elevation resampling kernels, single thread: display cells per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench_kernels.h"
#include "zumeld/transform/Resample.h"

namespace {

// A map grid with its margin, filled with rolling terrain heights 0..32767.
struct BenchGrid {
    int width, height;
    std::vector<short> cells;
    BenchGrid(int w, int h)
        : width(w), height(h), cells(static_cast<std::size_t>(w + 1) * (h + 1)) {
        std::uint32_t s = 2024;
        for (short& c : cells) {
            s = s * 1664525u + 1013904223u;
            c = static_cast<short>((s >> 17) & 0x7FFF);
        }
    }
    Zumeld::GridView View() const { return {cells.data(), width + 1, width, height}; }
};

void RunResample(benchmark::State& state, const BenchGrid& grid, const Zumeld::ResampleArea& area) {
    Zumeld::ResampleTarget target;
    if (!Zumeld::DisplayGridFor(grid.View(), area, &target)) {
        state.SkipWithError("area does not fit");
        return;
    }
    std::vector<short> out(static_cast<std::size_t>(target.width) * target.height);
    for (auto _ : state) {
        Zumeld::ResampleElevation(grid.View(), area, target, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{target.width} * target.height);
    state.counters["cells/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * target.width * target.height,
                           benchmark::Counter::kIsRate);
}

// A 256 x 256 area enlarged to 2048 x 2048 display cells.
void BM_BilinearEnlarge256To2048(benchmark::State& state) {
    const BenchGrid grid(512, 512);
    RunResample(state, grid, {100, 100, 256, 256, 2048, 2048});
}
BENCHMARK(BM_BilinearEnlarge256To2048)->Unit(benchmark::kMillisecond);
void BM_BilinearEnlarge256To2048_Scalar(benchmark::State& state) {
    const bench::ScalarKernels baseline;
    BM_BilinearEnlarge256To2048(state);
}
BENCHMARK(BM_BilinearEnlarge256To2048_Scalar)->Unit(benchmark::kMillisecond);

// A 1280 x 720 area enlarged to 1920 x 1080 (1.5x, as a host panning over a map): runs of
// one or two display cells a source column.
void BM_BilinearEnlarge1280To1920(benchmark::State& state) {
    const BenchGrid grid(2048, 1024);
    RunResample(state, grid, {100, 100, 1280, 720, 1920, 1080});
}
BENCHMARK(BM_BilinearEnlarge1280To1920)->Unit(benchmark::kMillisecond);
void BM_BilinearEnlarge1280To1920_Scalar(benchmark::State& state) {
    const bench::ScalarKernels baseline;
    BM_BilinearEnlarge1280To1920(state);
}
BENCHMARK(BM_BilinearEnlarge1280To1920_Scalar)->Unit(benchmark::kMillisecond);

// A 4096 x 4096 map reduced to 1024 x 1024 by point sampling.
void BM_PointSample4096To1024(benchmark::State& state) {
    const BenchGrid grid(4096, 4096);
    RunResample(state, grid, {0, 0, 4096, 4096, 1024, 1024});
}
BENCHMARK(BM_PointSample4096To1024)->Unit(benchmark::kMillisecond);

}  // namespace
