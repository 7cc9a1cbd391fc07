// The span renderer alone on full frames, one thread: 1920 x 1080 and 4096 x 4096 pixels,
// textured and shaded at scale 1 and 2.5, 24- and 32-bit targets, on the vector kernels the
// processor gets, and for comparison on the scalar loop and the SSE2 kernels. Reports
// pixels per second; the label names the kernels that ran.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench_terrain.h"
#include "zumeld/render/Kernels.h"
#include "zumeld/simd/Dispatch.h"
#include "zumeld/render/SpanRenderer.h"
#include "zumeld/util/SharedBlock.h"

namespace {

using Zumeld::tagTEXTURE_SLOT;

// A 256 x 256 texture of hashed texels, blending up to 2000 and fading from 2500.
tagTEXTURE_SLOT BenchSlot() {
    constexpr int kSide = 256;
    tagTEXTURE_SLOT s;
    s.nWidth = s.nHeight = kSide;
    s.nRowBytes = kSide * 4;
    s.nPlaneSize = kSide * 4 * kSide;
    s.pLandPixels =
        Zumeld::SharedBlock<BYTE>::AllocateZeroed(3 * static_cast<std::size_t>(s.nPlaneSize));
    s.pSeaPixels = s.pLandPixels.get() + 2 * s.nPlaneSize;
    BYTE* p = s.pLandPixels.get();
    for (int i = 0; i < 3 * s.nPlaneSize; ++i)
        p[i] = static_cast<BYTE>(bench::TerrainHash(static_cast<std::uint32_t>(i), 7, 1) >> 8);
    for (int i = 0; i < s.nPlaneSize; i += 4) p[2 * i + 6] = p[2 * i + 7] = 0;  // unused pair
    s.nBlendElevation = 2000;
    s.nFadeLineTop = 2500;
    s.nFadeLineBottom = 2500;
    return s;
}

// A display grid of the frame size with a shading margin of three cells.
const std::vector<short>& DisplayCells(int width, int height) {
    static std::map<std::pair<int, int>, std::vector<short>> grids;
    auto it = grids.find({width, height});
    if (it == grids.end())
        it = grids
                 .emplace(std::make_pair(width, height),
                          bench::Terrain(width, height, width + 3, height + 3))
                 .first;
    return it->second;
}

// Arguments: width, height, scale x 10, bytes a pixel, kernels (0: the start-up choice,
// 1: the scalar loop, 2: SSE2).
void BM_RenderFrame(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const double scale = static_cast<double>(state.range(2)) / 10.0;
    const int bpp = static_cast<int>(state.range(3));
    const int kernels = static_cast<int>(state.range(4));

    const std::vector<short>& cells = DisplayCells(width, height);
    Zumeld::DisplayGridView grid;
    grid.cells = cells.data();
    grid.stride = grid.bufferWidth = width + 3;
    grid.bufferHeight = height + 3;
    grid.width = width;
    grid.height = height;
    const tagTEXTURE_SLOT slot = BenchSlot();
    Zumeld::SpanSetup setup;
    setup.scale = scale;
    setup.mapHeight = static_cast<int>(height / scale);
    setup.shade = true;
    setup.texture = true;
    const Zumeld::SpanParams params = Zumeld::MakeSpanParams(setup, slot);
    std::vector<Zumeld::tagHorzLine> lines(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        lines[static_cast<std::size_t>(y)] = {static_cast<short>(y), 0,
                                              static_cast<short>(width - 1)};
    const int rowBytes = (width * bpp + 3) & ~3;
    std::vector<BYTE> pixels(static_cast<std::size_t>(rowBytes) * height);
    Zumeld::PixelSurface target;
    target.topRow = pixels.data() + static_cast<std::ptrdiff_t>(height - 1) * rowBytes;
    target.rowStep = -rowBytes;
    target.width = width;
    target.height = height;
    target.bytesPerPixel = bpp;

    Zumeld::Simd::ForceScalarForTesting(kernels == 1);
    if (kernels == 2) Zumeld::Kernels::UseSpanKernelsForTesting(Zumeld::Kernels::SpanKernelsSse2());
    for (auto _ : state) {
        Zumeld::RenderSpans(grid, Zumeld::PlanesOf(slot), params, lines.data(), height, target);
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::string(Zumeld::Kernels::ActiveKernelName()) + ", " +
                   std::to_string(bpp * 8) + "-bit, scale " + std::to_string(scale).substr(0, 3));
    Zumeld::Simd::ForceScalarForTesting(false);
    Zumeld::Kernels::UseSpanKernelsForTesting(nullptr);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(width) * height);
}

void FrameArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"w", "h", "scale10", "bpp", "kernels"});
    for (const auto& size : {std::pair{1920, 1080}, std::pair{4096, 4096}})
        for (int scale : {10, 25})
            for (int bpp : {3, 4}) b->Args({size.first, size.second, scale, bpp, 0});
    for (int kernels : {1, 2}) {
        b->Args({1920, 1080, 10, 3, kernels});
        b->Args({1920, 1080, 10, 4, kernels});
    }
}
BENCHMARK(BM_RenderFrame)->Apply(FrameArgs)->Unit(benchmark::kMillisecond);

}  // namespace
