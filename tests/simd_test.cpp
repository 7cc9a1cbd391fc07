// The vector kernels against their scalar references, byte for byte, on seeded random inputs:
// the span kernels (every variant the processor runs) over the whole target memory (padding,
// guard bytes and the fourth byte of 32-bit pixels included), and the vector rows of the
// bilinear enlargement and of the rotation, with sentinels around the output.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render_test_support.h"
#include "test_random.h"
#include "zumeld/render/Kernels.h"
#include "zumeld/simd/Dispatch.h"
#include "zumeld/transform/BilinearRow.h"
#include "zumeld/transform/Resample.h"
#include "zumeld/transform/RotateRow.h"
#include "zumeld/transform/Transforms.h"

using namespace render_test;
using Zumeld::SpanParams;
using Zumeld::tagHorzLine;

namespace {

// ---- The span kernels on seeded random grids, textures, parameters and spans.
namespace K = Zumeld::Kernels;
namespace Simd = Zumeld::Simd;
using Rnd = zumeld_test::TestRandom;

template <typename T, std::size_t N>
T Pick(Rnd& rnd, const T (&values)[N]) {
    return values[rnd.Below(N)];
}

// Shading gains and distances that reach every clamp of h (+-128), blend factors from 0 to
// beyond 32767, fade lines below, inside and above the elevation range and crossing it
// within a few rows, and every tone (with values outside 0..4).
void RandomiseParams(Rnd& rnd, SpanParams& p) {
    static const int kGains[] = {0, 1, 3, 768, 2047, 2048, 20000, 32767, 40000};
    static const int kDistances[] = {0, 1, 1, 2, 3, 5, 17, 1 << 30};
    static const int kBlends[] = {0, 1, 256, 4194, 8388, 32767, 50000};
    p.shadeGain = rnd.Chance(50) ? Pick(rnd, kGains) : rnd.Between(0, 32767);
    p.shadeDistance = Pick(rnd, kDistances);
    p.blendK = rnd.Chance(50) ? Pick(rnd, kBlends) : rnd.Between(0, 32767);
    switch (rnd.Below(4)) {
        case 0:  // in and around the elevation range, crossing it row by row
            p.fadeBase = rnd.Range(-700, 33500) * 4096 + rnd.Range(0, 4095);
            p.fadeStep = rnd.Range(-4000, 4000) * 4096 + rnd.Range(-4095, 4095);
            break;
        case 1:  // near the low elevations, slowly
            p.fadeBase = rnd.Range(-520, 600) * 4096;
            p.fadeStep = rnd.Range(-8000, 8000);
            break;
        case 2:  // far beyond either end
            p.fadeBase = (rnd.Chance(50) ? -1 : 1) * (std::int64_t{1} << 50);
            p.fadeStep = rnd.Range(-1000000, 1000000);
            break;
        default:
            break;  // as MakeSpanParams set it
    }
    p.tone = rnd.Between(-1, 6);
}

// One random draw call through the active kernels and the reference; returns the spans drawn.
int CompareOneCall(Rnd& rnd, int n) {
    const int tw = 1 + rnd.Between(0, rnd.Chance(30) ? 2 : 39), th = rnd.Between(1, 8);
    const tagTEXTURE_SLOT slot = RandomSlot(rnd, tw, th, rnd.Between(1, 5000),
                                            rnd.Between(-100, 4000), rnd.Between(-100, 4000));
    const int w = rnd.Between(1, rnd.Chance(20) ? 300 : 70), h = rnd.Between(1, 10);
    Grid grid(w, h, 0, rnd.Between(1, 20), rnd.Between(1, 6));
    // Elevations: the edges (negative, 0, 1, 32767) often, else a range per grid.
    static const short kEdges[] = {-32768, -7, -1, 0, 0, 1, 2, 32767, 32766, 255, 256, 511};
    const int top = rnd.Chance(50) ? 4000 : 32767;
    for (short& c : grid.cells)
        c = rnd.Chance(20) ? Pick(rnd, kEdges) : static_cast<short>(rnd.Range(0, top));
    if (rnd.Chance(30)) {  // a run of sea or flat land, so whole vector steps of one kind occur
        const short fill = rnd.Chance(50) ? 0 : static_cast<short>(rnd.Range(1, 3000));
        const std::size_t from = rnd.Below(static_cast<std::uint32_t>(grid.cells.size()));
        const std::size_t to = from + rnd.Below(200);
        for (std::size_t i = from; i < grid.cells.size() && i < to; ++i) grid.cells[i] = fill;
    }

    Zumeld::SpanSetup s;
    s.scale = rnd.Chance(50) ? 1.0 : 0.25 + rnd.Below(400) / 100.0;
    s.stretchLeft = rnd.Between(-300, 300);
    s.stretchTop = rnd.Between(-300, 300);
    s.mapHeight = rnd.Between(1, 2000);
    s.shade = rnd.Chance(70);
    s.texture = rnd.Chance(75);
    s.paint = rnd.Chance(25);
    s.color = static_cast<COLORREF>(rnd.Next() & 0xFFFFFF);
    SpanParams p = Zumeld::MakeSpanParams(s, slot);
    EXPECT_TRUE(p.valid);
    if (rnd.Chance(85)) RandomiseParams(rnd, p);

    std::vector<tagHorzLine> lines(1 + rnd.Below(40));
    for (auto& l : lines) {
        l.y = static_cast<short>(rnd.Range(-1, h));
        l.left = static_cast<short>(rnd.Chance(80) ? rnd.Range(-3, w) : -1000);
        l.right = static_cast<short>(rnd.Chance(10) ? l.left - 1 : rnd.Range(l.left, w + 3));
    }
    const int bpp = rnd.Chance(50) ? 3 : 4, padding = rnd.Between(0, 7);
    const BYTE fill = static_cast<BYTE>(rnd.Below(256));
    Target fast(w, h, bpp, fill, padding), reference(w, h, bpp, fill, padding);
    const int count = static_cast<int>(lines.size());
    Zumeld::RenderSpans(grid.view, PlanesOf(slot), p, lines.data(), count, fast.surface);
    Zumeld::RenderSpansReference(grid.view, PlanesOf(slot), p, lines.data(), count,
                                 reference.surface);
    EXPECT_EQ(fast.mem, reference.mem)
        << "case " << n << ", seed " << std::hex << rnd.Seed() << std::dec << ", " << bpp * 8
        << "-bit, texture " << tw << "x" << th << ", d " << p.shadeDistance << ", g " << p.shadeGain
        << ", k " << p.blendK << ", tone " << p.tone << ", paint " << p.paint;
    return count;
}

TEST(SimdSpanKernels, EveryVariantMatchesTheReferenceOnRandomSpans) {
    std::vector<const K::SpanKernels*> variants;
    if (K::SpanKernelsSse2() != nullptr) variants.push_back(K::SpanKernelsSse2());
    if (Simd::DetectedInstructionSet() == Simd::InstructionSet::Avx2 &&
        K::SpanKernelsAvx2() != nullptr)
        variants.push_back(K::SpanKernelsAvx2());
    if (variants.empty()) GTEST_SKIP() << "no vector kernels on this processor";
    const bool forced = Simd::ScalarForcedForTesting();
    Simd::ForceScalarForTesting(false);  // run the variant even where the suite forces scalar
    for (const K::SpanKernels* v : variants) {
        SCOPED_TRACE(v->name);
        K::UseSpanKernelsForTesting(v);
        EXPECT_STREQ(K::ActiveKernelName(), v->name);
        Rnd rnd(0xD1FF5EEDull);
        for (int n = 0, spans = 0; spans < 110000 && !HasFailure(); ++n)
            spans += CompareOneCall(rnd, n);
    }
    K::UseSpanKernelsForTesting(nullptr);
    Simd::ForceScalarForTesting(forced);
}

// ---- The bilinear and rotation rows: seeded random maps (elevations across the whole signed
// range, with the edges 0, 1, 32767 and negatives often), random areas and angles.
using Zumeld::GridView;
using Zumeld::ResampleArea;
using Zumeld::ResampleTarget;

constexpr short kSentinel = 0x5A5A;
constexpr std::size_t kGuard = 32;

short RandomElevation(zumeld_test::TestRandom& rnd, bool wide) {
    static const short kEdges[] = {0, 1, 32767, -1, -32768, 2, 32766};
    if (rnd.Chance(15)) return kEdges[rnd.Below(7)];
    return static_cast<short>(wide ? rnd.Range(-32768, 32767) : rnd.Range(0, 4000));
}

// The output of one resampling, on the vector rows or forced to the scalar loop, with its
// guard cells.
std::vector<short> Resampled(const GridView& grid, const ResampleArea& a, const ResampleTarget& t,
                             bool scalar) {
    const bool forced = Simd::ScalarForcedForTesting();
    Simd::ForceScalarForTesting(scalar);
    std::vector<short> out(static_cast<std::size_t>(t.width) * t.height + 2 * kGuard, kSentinel);
    EXPECT_TRUE(Zumeld::ResampleElevation(grid, a, t, out.data() + kGuard));
    Simd::ForceScalarForTesting(forced);
    return out;
}

bool HasAvx2() {
    return Simd::DetectedInstructionSet() == Simd::InstructionSet::Avx2;
}

TEST(SimdResample, VectorRowsMatchTheScalarLoopOnRandomEnlargements) {
    if (K::BilinearRowAvx2() == nullptr || !HasAvx2()) GTEST_SKIP() << "no vector bilinear rows";
    zumeld_test::TestRandom rnd(0xB111EA2ull);
    std::int64_t rows = 0;
    for (int n = 0; rows < 110000; ++n) {
        const int w = 1 + static_cast<int>(rnd.Below(40)), h = 1 + static_cast<int>(rnd.Below(12));
        const std::ptrdiff_t stride = w + 1 + static_cast<int>(rnd.Below(4));
        const bool wide = rnd.Chance(40);
        std::vector<short> cells(static_cast<std::size_t>(stride) * (h + 1));
        for (short& c : cells) c = RandomElevation(rnd, wide);
        const GridView grid{cells.data(), stride, w, h};
        ResampleArea a;
        a.left = static_cast<int>(rnd.Below(static_cast<std::uint32_t>(w)));
        a.top = static_cast<int>(rnd.Below(static_cast<std::uint32_t>(h)));
        a.srcWidth = 1 + static_cast<int>(rnd.Below(static_cast<std::uint32_t>(w - a.left)));
        a.srcHeight = 1 + static_cast<int>(rnd.Below(static_cast<std::uint32_t>(h - a.top)));
        // Zooms from just above 1 to 40, sometimes beyond the exact range of the weights.
        const int zoom = rnd.Chance(5) ? 2000 : 40;
        a.dispWidth = a.srcWidth + 1 +
                      static_cast<int>(rnd.Below(static_cast<std::uint32_t>(a.srcWidth * zoom)));
        a.dispHeight = a.srcHeight + 1 +
                       static_cast<int>(rnd.Below(static_cast<std::uint32_t>(a.srcHeight * 4)));
        if (a.dispWidth > 3000) a.dispWidth = 3000;
        ResampleTarget t;
        ASSERT_TRUE(Zumeld::DisplayGridFor(grid, a, &t));
        ASSERT_EQ(Zumeld::ChooseResampleMode(a), Zumeld::ResampleMode::Bilinear);
        rows += t.fillHeight;
        ASSERT_EQ(Resampled(grid, a, t, false), Resampled(grid, a, t, true))
            << "case " << n << ", seed " << std::hex << rnd.Seed() << std::dec << ", area "
            << a.left << "," << a.top << " " << a.srcWidth << "x" << a.srcHeight << " -> "
            << a.dispWidth << "x" << a.dispHeight;
    }
}

// One rotation, on the vector rows or forced to the scalar loop.
std::vector<short> Rotated(const GridView& grid, int angle, bool scalar) {
    const bool forced = Simd::ScalarForcedForTesting();
    Simd::ForceScalarForTesting(scalar);
    const Zumeld::TransformedGrid g = Zumeld::RotateGrid(grid, angle);
    Simd::ForceScalarForTesting(forced);
    if (!g) return {};
    const short* cells = g.cells.get();
    return std::vector<short>(cells,
                              cells + static_cast<std::size_t>(g.width + 1) * (g.height + 1));
}

TEST(SimdRotate, VectorRowsMatchTheScalarLoopOnRandomTurns) {
    if (K::RotateRowAvx2() == nullptr || !HasAvx2()) GTEST_SKIP() << "no vector rotation rows";
    zumeld_test::TestRandom rnd(0x207A7Eull);
    std::int64_t cells = 0;
    for (int n = 0; cells < 400000; ++n) {
        const int w = 1 + static_cast<int>(rnd.Below(70)), h = 1 + static_cast<int>(rnd.Below(70));
        const std::ptrdiff_t stride = w + 1 + static_cast<int>(rnd.Below(4));
        const bool wide = rnd.Chance(40);
        std::vector<short> grid(static_cast<std::size_t>(stride) * (h + 1));
        for (short& c : grid) c = RandomElevation(rnd, wide);
        // Every angle of one turn either way and beyond, the quarter turns included.
        const int angle = rnd.Between(-800, 800);
        const std::vector<short> vector = Rotated({grid.data(), stride, w, h}, angle, false);
        ASSERT_EQ(vector, Rotated({grid.data(), stride, w, h}, angle, true))
            << "case " << n << ", seed " << std::hex << rnd.Seed() << std::dec << ", " << w << "x"
            << h << " by " << angle;
        cells += static_cast<std::int64_t>(vector.size());
    }
}

}  // namespace
