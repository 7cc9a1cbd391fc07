// Geometry kernels, single thread: scan conversion of a large star, point tests and lines.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "zumeld/geometry/Line.h"
#include "zumeld/geometry/ScanConvert.h"

namespace {

// A star of n vertices alternating between two radii around (cx, cy).
std::vector<tagPOINT> Star(int n, double cx, double cy, double outer, double inner) {
    std::vector<tagPOINT> p(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double a = 6.283185307179586 * i / n, r = (i % 2) ? inner : outer;
        p[i] = {static_cast<LONG>(std::lround(cx + r * std::cos(a))),
                static_cast<LONG>(std::lround(cy + r * std::sin(a)))};
    }
    return p;
}

struct Lcg {
    std::uint32_t s;
    int Next(int lo, int hi) {
        s = s * 1664525u + 1013904223u;
        return lo + static_cast<int>((s >> 8) % static_cast<std::uint32_t>(hi - lo + 1));
    }
};

void BM_CalcPolygonStar1000On4096(benchmark::State& state) {
    const auto star = Star(1000, 2048, 2048, 2000, 1200);
    std::vector<Zumeld::tagHorzLine> lines(4000000);
    int spans = 0;
    for (auto _ : state) {
        spans = Zumeld::ScanConvertPolygon(star.data(), 1000, 4096, 4096, lines.data(), 4000000);
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["polygons/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["spans/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * spans,
                                                   benchmark::Counter::kIsRate);
    state.counters["spans"] = spans;
}
BENCHMARK(BM_CalcPolygonStar1000On4096)->Unit(benchmark::kMillisecond);

void BM_PtInPolygonStar1000(benchmark::State& state) {
    const auto star = Star(1000, 2048, 2048, 2000, 1200);
    Lcg rng{7};
    std::vector<tagPOINT> probes(1024);
    for (tagPOINT& p : probes) p = {rng.Next(0, 4095), rng.Next(0, 4095)};
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Zumeld::PointInPolygon(probes[i++ & 1023], star.data(), 1000));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PtInPolygonStar1000);

// 1000 lines on a 1920 x 1080 24-bit picture; range 0 gives ends far outside the area (most
// lines clipped or rejected), range 1 ends inside it.
void BM_Lines1920x1080(benchmark::State& state) {
    constexpr int kW = 1920, kH = 1080;
    std::vector<BYTE> pixels(static_cast<std::size_t>(kW) * 3 * kH);
    const Zumeld::PixelSurface surface{pixels.data() + (kH - 1) * std::ptrdiff_t{kW} * 3,
                                       -std::ptrdiff_t{kW} * 3, kW, kH, 3};
    const bool inside = state.range(0) == 1;
    Lcg rng{99};
    std::vector<tagPOINT> ends(2000);
    for (tagPOINT& p : ends)
        p = inside ? tagPOINT{rng.Next(0, kW - 1), rng.Next(0, kH - 1)}
                   : tagPOINT{rng.Next(-20 * kW, 20 * kW), rng.Next(-20 * kH, 20 * kH)};
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i)
            Zumeld::DrawLine(surface, kW, kH, ends[2 * i], ends[2 * i + 1], 0x00336699);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1000,
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Lines1920x1080)->Arg(0)->Arg(1)->ArgNames({"inside"})->Unit(benchmark::kMicrosecond);

}  // namespace
