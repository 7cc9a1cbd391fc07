// The vector rows of the bilinear enlargement and of the rotation against their scalar loops,
// byte for byte: seeded random maps (elevations across the whole signed range, with the edges
// 0, 1, 32767 and negatives often), random areas and angles, sentinels around the output to
// catch a stray write.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "test_random.h"
#include "zumeld/simd/Dispatch.h"
#include "zumeld/transform/BilinearRow.h"
#include "zumeld/transform/Resample.h"
#include "zumeld/transform/RotateRow.h"
#include "zumeld/transform/Transforms.h"

namespace {

namespace K = Zumeld::Kernels;
namespace Simd = Zumeld::Simd;
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
        const int angle = static_cast<int>(rnd.Range(-800, 800));
        const std::vector<short> vector = Rotated({grid.data(), stride, w, h}, angle, false);
        ASSERT_EQ(vector, Rotated({grid.data(), stride, w, h}, angle, true))
            << "case " << n << ", seed " << std::hex << rnd.Seed() << std::dec << ", " << w << "x"
            << h << " by " << angle;
        cells += static_cast<std::int64_t>(vector.size());
    }
}

}  // namespace
