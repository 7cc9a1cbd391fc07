// The vector span kernels (every variant the processor runs) against the scalar reference,
// byte for byte over the whole target memory (padding, guard bytes and the fourth byte of
// 32-bit pixels included), on seeded random grids, textures, parameters and spans.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render_test_support.h"
#include "test_random.h"
#include "zumeld/render/Kernels.h"
#include "zumeld/render/SpanRenderer.h"

namespace {

using namespace render_test;
using Zumeld::SpanParams;
using Zumeld::SpanSetup;
using Zumeld::tagHorzLine;
namespace K = Zumeld::Kernels;

struct Variant {
    const char* name;
    const K::SpanKernels* kernels;
};

std::vector<Variant> RunnableVariants() {
    std::vector<Variant> v;
    if (K::SpanKernelsSse2() != nullptr) v.push_back({"sse2", K::SpanKernelsSse2()});
#if (defined(__x86_64__) || defined(_M_X64)) && (defined(__GNUC__) || defined(__clang__))
    if (__builtin_cpu_supports("avx2") && K::SpanKernelsAvx2() != nullptr)
        v.push_back({"avx2", K::SpanKernelsAvx2()});
#endif
    return v;
}

// Runs the given kernels (even where the whole suite runs forced to scalar) and restores the
// start-up choice and the forcing however the test ends.
struct KernelOverride {
    bool forced = K::ScalarForcedForTesting();
    explicit KernelOverride(const K::SpanKernels* k) {
        K::ForceScalarForTesting(false);
        K::UseSpanKernelsForTesting(k);
    }
    ~KernelOverride() {
        K::UseSpanKernelsForTesting(nullptr);
        K::ForceScalarForTesting(forced);
    }
};

Texel RandomTexel(zumeld_test::TestRandom& rnd) {
    return Texel{BYTE(rnd.Below(256)), BYTE(rnd.Below(256)), BYTE(rnd.Below(256))};
}

// Elevations: the edges (negative, 0, 1, 32767) often, otherwise a range chosen per grid so
// that blend factors, fade distances and shading differences all vary.
short RandomElevation(zumeld_test::TestRandom& rnd, int top) {
    static const short kEdges[] = {-32768, -7, -1, 0, 0, 1, 2, 32767, 32766, 255, 256, 511};
    if (rnd.Chance(20)) return kEdges[rnd.Below(sizeof kEdges / sizeof kEdges[0])];
    return static_cast<short>(rnd.Range(0, top));
}

// Shading gains and distances that reach every clamp of h (+-128) and the caps of the
// kernels, blend factors from 0 to beyond 32767, and fade lines below, inside and above the
// elevation range, stepping across it within a few rows.
void RandomiseParams(zumeld_test::TestRandom& rnd, SpanParams& p) {
    static const int kGains[] = {0, 1, 3, 768, 2047, 2048, 20000, 32767, 40000};
    static const int kDistances[] = {0, 1, 1, 2, 3, 5, 17, 1 << 30};
    static const int kBlends[] = {0, 1, 256, 4194, 8388, 32767, 50000};
    p.shadeGain = rnd.Chance(50) ? kGains[rnd.Below(9)] : static_cast<int>(rnd.Range(0, 32767));
    p.shadeDistance = kDistances[rnd.Below(8)];
    p.blendK = rnd.Chance(50) ? kBlends[rnd.Below(7)] : static_cast<int>(rnd.Range(0, 32767));
    switch (rnd.Below(4)) {
        case 0:  // anywhere in and just around the elevation range, crossing it row by row
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
    p.tone = static_cast<int>(rnd.Range(-1, 6));
}

// One random draw call through the chosen kernels and the reference; false (with a
// message) when the bytes differ. Adds the spans drawn to *spans.
void CompareOneCall(zumeld_test::TestRandom& rnd, int n, std::int64_t* spans) {
    const int tw = 1 + static_cast<int>(rnd.Below(rnd.Chance(30) ? 3 : 40));
    const int th = 1 + static_cast<int>(rnd.Below(8));
    const tagTEXTURE_SLOT slot = MakeSlot(
        tw, th, [&](int, int) { return RandomTexel(rnd); },
        [&](int, int) { return RandomTexel(rnd); }, [&](int, int) { return RandomTexel(rnd); },
        static_cast<int>(rnd.Range(1, 5000)), static_cast<int>(rnd.Range(-100, 4000)),
        static_cast<int>(rnd.Range(-100, 4000)));
    const int w = 1 + static_cast<int>(rnd.Below(rnd.Chance(20) ? 300 : 70));
    const int h = 1 + static_cast<int>(rnd.Below(10));
    Grid grid(w, h, 0, 1 + static_cast<int>(rnd.Below(20)), 1 + static_cast<int>(rnd.Below(6)));
    const int top = rnd.Chance(50) ? 4000 : 32767;
    for (short& c : grid.cells) c = RandomElevation(rnd, top);
    // Runs of sea and of flat land, so whole steps of one kind occur.
    if (rnd.Chance(30)) {
        const short fill = rnd.Chance(50) ? 0 : static_cast<short>(rnd.Range(1, 3000));
        const std::size_t from = rnd.Below(static_cast<std::uint32_t>(grid.cells.size()));
        const std::size_t len = rnd.Below(200);
        for (std::size_t i = from; i < grid.cells.size() && i < from + len; ++i)
            grid.cells[i] = fill;
    }

    SpanSetup s;
    s.scale = rnd.Chance(50) ? 1.0 : 0.25 + rnd.Below(400) / 100.0;
    s.stretchLeft = static_cast<int>(rnd.Range(-300, 300));
    s.stretchTop = static_cast<int>(rnd.Range(-300, 300));
    s.mapHeight = static_cast<int>(rnd.Range(1, 2000));
    s.reliefLevel = 1;
    s.shade = rnd.Chance(70);
    s.texture = rnd.Chance(75);
    s.paint = rnd.Chance(25);
    s.color = static_cast<COLORREF>(rnd.Next() & 0xFFFFFF);
    SpanParams p = Zumeld::MakeSpanParams(s, slot);
    ASSERT_TRUE(p.valid);
    if (rnd.Chance(85)) RandomiseParams(rnd, p);

    std::vector<tagHorzLine> lines(1 + rnd.Below(40));
    for (auto& l : lines) {
        l.y = static_cast<short>(rnd.Range(-1, h));
        l.left = static_cast<short>(rnd.Chance(80) ? rnd.Range(-3, w) : -1000);
        l.right = static_cast<short>(rnd.Chance(10) ? l.left - 1 : rnd.Range(l.left, w + 3));
    }
    *spans += static_cast<std::int64_t>(lines.size());
    const int bpp = rnd.Chance(50) ? 3 : 4;
    const BYTE fill = static_cast<BYTE>(rnd.Below(256));
    const int padding = static_cast<int>(rnd.Below(8));
    Target fast(w, h, bpp, fill, padding), reference(w, h, bpp, fill, padding);
    Zumeld::RenderSpans(grid.view, PlanesOf(slot), p, lines.data(), static_cast<int>(lines.size()),
                        fast.surface);
    Zumeld::RenderSpansReference(grid.view, PlanesOf(slot), p, lines.data(),
                                 static_cast<int>(lines.size()), reference.surface);
    ASSERT_EQ(fast.mem, reference.mem)
        << "case " << n << ", seed " << std::hex << rnd.Seed() << std::dec << ", " << bpp * 8
        << "-bit, texture " << tw << "x" << th << ", d " << p.shadeDistance << ", g " << p.shadeGain
        << ", k " << p.blendK << ", tone " << p.tone << ", paint " << p.paint;
}

TEST(SimdSpanKernels, EveryVariantMatchesTheReferenceOnRandomSpans) {
    const std::vector<Variant> variants = RunnableVariants();
    if (variants.empty()) GTEST_SKIP() << "no vector kernels on this processor";
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        KernelOverride use(v.kernels);
        ASSERT_STREQ(K::ActiveKernelName(), v.name);
        zumeld_test::TestRandom rnd(0xD1FF5EEDull);
        std::int64_t spans = 0;
        for (int n = 0; spans < 110000; ++n) {
            CompareOneCall(rnd, n, &spans);
            if (HasFatalFailure()) return;
        }
    }
}

// Forcing scalar makes every kernel pointer null, and lifting it restores the choice.
TEST(SimdSpanKernels, ForcingScalarSwitchesTheKernelsOff) {
    const bool forced = K::ScalarForcedForTesting();
    K::ForceScalarForTesting(false);
    const std::string chosen = K::ActiveKernelName();
    K::ForceScalarForTesting(true);
    EXPECT_EQ(K::ActiveSpanKernels(), nullptr);
    EXPECT_STREQ(K::ActiveKernelName(), "scalar");
    K::ForceScalarForTesting(false);
    EXPECT_EQ(K::ActiveKernelName(), chosen);
    K::ForceScalarForTesting(forced);
}

// Spans of one kind: all sea, all land, mixed, the one-texel colour source and the flat fill,
// every length from 1 to 40 at every start, against the reference.
TEST(SimdSpanKernels, EveryLengthAndStartOfASpan) {
    const std::vector<Variant> variants = RunnableVariants();
    if (variants.empty()) GTEST_SKIP() << "no vector kernels on this processor";
    zumeld_test::TestRandom rnd(0x1E57A27ull);
    const tagTEXTURE_SLOT slot = MakeSlot(
        13, 3, [&](int, int) { return RandomTexel(rnd); },
        [&](int, int) { return RandomTexel(rnd); }, [&](int, int) { return RandomTexel(rnd); });
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        KernelOverride use(v.kernels);
        // A fill byte chosen at run time (GCC's overflow warning misreads the picture set-up
        // when every size is a constant).
        const BYTE fill = static_cast<BYTE>(rnd.Below(256));
        for (int kind = 0; kind < 5; ++kind) {
            Grid grid(48, 2, 0, 9, 3);
            for (short& c : grid.cells)
                c = kind == 0 ? 0 : kind == 1 ? 1500 : static_cast<short>(rnd.Range(0, 3000));
            SpanSetup s;
            s.scale = 1.0;
            s.mapHeight = 100;
            s.shade = kind != 1 && kind != 4;
            s.texture = kind < 3;
            s.paint = kind == 4;
            s.tone = kind;
            const SpanParams p = Zumeld::MakeSpanParams(s, slot);
            for (int bpp = 3; bpp <= 4; ++bpp)
                for (int left = 0; left < 8; ++left)
                    for (int len = 1; len <= 40; ++len) {
                        const tagHorzLine line{1, static_cast<short>(left),
                                               static_cast<short>(left + len - 1)};
                        Target fast(grid.view.width, grid.view.height, bpp, fill),
                            reference(grid.view.width, grid.view.height, bpp, fill);
                        Zumeld::RenderSpans(grid.view, PlanesOf(slot), p, &line, 1, fast.surface);
                        Zumeld::RenderSpansReference(grid.view, PlanesOf(slot), p, &line, 1,
                                                     reference.surface);
                        ASSERT_EQ(fast.mem, reference.mem)
                            << "kind " << kind << ", " << bpp * 8 << "-bit, left " << left
                            << ", length " << len;
                    }
        }
    }
}

}  // namespace
