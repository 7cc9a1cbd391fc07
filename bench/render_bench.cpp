// The span renderer on a full 1920 x 1080 frame, 24-bit target, textured and shaded with
// the default texture set: the whole frame at scale 1 and 2.5, and the same frame through
// the polygon overload with a 200-point polygon. Reports pixels drawn per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "zumeld/elevation/CtrlElvMap.h"

namespace {

constexpr int kFrameWidth = 1920;
constexpr int kFrameHeight = 1080;

// Rolling terrain with about a third sea, hills to about 3000 and fine roughness: the
// branches of the renderer (sea or land, above or below the fade line) vary as on a map.
std::vector<short> Terrain(int w, int h) {
    std::vector<short> cells(static_cast<std::size_t>(w) * h);
    std::uint32_t s = 2026;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            const double e = 900.0 * std::sin(x / 97.0) * std::cos(y / 71.0) +
                             700.0 * std::sin((x + 2 * y) / 233.0) + 600.0 +
                             static_cast<double>((s >> 24) % 40);
            cells[static_cast<std::size_t>(y) * w + x] =
                static_cast<short>(e < 0.0 ? 0.0 : std::min(e * 1.4, 3200.0));
        }
    return cells;
}

// A map showing a 1920 x 1080 frame at `scale` display pixels per map cell.
void PrepareFrame(Zumeld::CCtrlElvMap& map, double scale) {
    const int srcW = static_cast<int>(kFrameWidth / scale);
    const int srcH = static_cast<int>(kFrameHeight / scale);
    const std::vector<short> cells = Terrain(srcW + 64, srcH + 64);
    map.SetElevationData(srcW + 64, srcH + 64, cells.data());
    map.StretchElevationData(16, 16, srcW, srcH, kFrameWidth, kFrameHeight);
}

void BM_DrawAllMap(benchmark::State& state) {
    const double scale = state.range(0) / 10.0;
    Zumeld::CCtrlElvMap map;
    PrepareFrame(map, scale);
    for (auto _ : state) {
        map.DrawAllMapOnBitmapBuffer(true, true, 0, false);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(map.m_nDisplayWidth) *
                            map.m_nDisplayHeight);
    state.SetLabel("pixels; scale " + std::to_string(scale).substr(0, 3));
}
BENCHMARK(BM_DrawAllMap)->Arg(10)->Arg(25)->Unit(benchmark::kMillisecond);

// A 200-point star around the frame's centre that reaches almost to its edges.
std::vector<tagPOINT> Star() {
    std::vector<tagPOINT> pts;
    for (int i = 0; i < 200; ++i) {
        const double a = 2.0 * 3.14159265358979 * i / 200.0;
        const double r = i % 2 == 0 ? 1.0 : 0.8;
        tagPOINT p;
        p.x = static_cast<LONG>(kFrameWidth / 2 + r * (kFrameWidth / 2 - 2) * std::cos(a));
        p.y = static_cast<LONG>(kFrameHeight / 2 + r * (kFrameHeight / 2 - 2) * std::sin(a));
        pts.push_back(p);
    }
    return pts;
}

void BM_DrawPolygon(benchmark::State& state) {
    Zumeld::CCtrlElvMap map;
    PrepareFrame(map, 1.0);
    std::vector<tagPOINT> pts = Star();
    // Pixels inside the polygon, counted from its spans.
    std::vector<Zumeld::tagHorzLine> lines(20000);
    const int n = map.CalcPolygon(pts.data(), static_cast<int>(pts.size()), lines.data(), 20000);
    std::int64_t pixels = 0;
    for (int i = 0; i < n; ++i) pixels += lines[i].right - lines[i].left + 1;
    for (auto _ : state) {
        map.DrawPolygonOnBitmapBuffer(pts.data(), static_cast<int>(pts.size()), 0, true, true, 0,
                                      false);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetLabel("pixels inside a 200-point polygon, scale 1");
}
BENCHMARK(BM_DrawPolygon)->Unit(benchmark::kMillisecond);

}  // namespace
