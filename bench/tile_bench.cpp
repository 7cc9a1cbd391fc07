// One tile of zumeld serve, step by step, on the built-in sample map: the map copy a tile
// worker makes when the map changes, drawing a 256 x 256 tile (resampling and relief) at
// the base zoom and one zoom in, and encoding it as PNG. Reports tiles per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "picture.h"
#include "sample_map.h"
#include "tile.h"

namespace {

Zumeld::CCtrlElvMap SampleMap() {
    Zumeld::CCtrlElvMap map;
    const std::vector<short> cells =
        zumeld_formats::MakeSampleMap(zumeld_formats::kSampleWidth, zumeld_formats::kSampleHeight);
    map.SetElevationData(zumeld_formats::kSampleWidth, zumeld_formats::kSampleHeight, cells.data());
    return map;
}

void BM_TileMapCopy(benchmark::State& state) {
    const Zumeld::CCtrlElvMap map = SampleMap();
    Zumeld::CCtrlElvMap worker;
    for (auto _ : state) {
        worker = map;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TileMapCopy);

// Arg: zoom levels above the base zoom (0: one cell a pixel; 1: two pixels a cell).
void BM_TileDraw(benchmark::State& state) {
    Zumeld::CCtrlElvMap map = SampleMap();
    const int z =
        zumeld_tiles::BaseZoom(map.m_nWidth, map.m_nHeight) + static_cast<int>(state.range(0));
    int k = 0;
    for (auto _ : state) {
        // Tiles in turn, so the display grid is rebuilt for each as it is in a server.
        const int x = 1 + (k & 1), y = 1 + ((k >> 1) & 1);
        ++k;
        benchmark::DoNotOptimize(zumeld_tiles::RenderTile(map, {}, z, x, y).GetBufferPtr());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TileDraw)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_TilePng(benchmark::State& state) {
    Zumeld::CCtrlElvMap map = SampleMap();
    const Quobel::CControlBmp tile = zumeld_tiles::RenderTile(map, {}, 2, 1, 1);
    std::size_t bytes = 0;
    for (auto _ : state) bytes = zumeld_formats::EncodePng(tile).size();
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(std::to_string(bytes) + " bytes");
}
BENCHMARK(BM_TilePng)->Unit(benchmark::kMicrosecond);

}  // namespace
