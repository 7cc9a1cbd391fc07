// Every transform on random small grids and random arguments: each new cell is a mean
// (or interpolation) of old cells, so it stays inside the old range (sea included where
// the transform leaves cells uncovered), give or take the one unit that truncating a sum a
// hair short can lose. Run under the sanitizers this also checks that no
// argument makes a kernel read outside the old grid.
#include <gtest/gtest.h>

#include <algorithm>

#include "test_random.h"
#include "transform_test_util.h"

using zumeld_test::ResultCell;
using zumeld_test::TestGrid;
using zumeld_test::TestRandom;

namespace {

struct Range {
    int lo, hi;
};

void ExpectWithin(const Zumeld::TransformedGrid& g, Range r, const char* what, int trial,
                  std::uint64_t seed) {
    ASSERT_TRUE(g) << what << " trial " << trial << " seed " << seed;
    for (int k = 0; k < g.height; ++k)
        for (int i = 0; i < g.width; ++i) {
            const int v = ResultCell(g, k, i);
            ASSERT_TRUE(v >= r.lo && v <= r.hi)
                << what << " trial " << trial << " seed " << seed << " cell " << k << "," << i
                << " = " << v << " outside " << r.lo << ".." << r.hi;
        }
}

}  // namespace

TEST(TransformRandom, NewCellsStayWithinTheOldRange) {
    TestRandom rnd(0x7A2F0001);
    for (int trial = 0; trial < 300; ++trial) {
        const int w = static_cast<int>(rnd.Range(1, 9)), h = static_cast<int>(rnd.Range(1, 9));
        TestGrid src(w, h);
        const bool extreme = rnd.Chance(30);
        int lo = 32767, hi = -32768;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                const short v = static_cast<short>(extreme ? (rnd.Chance(50) ? 32767 : -32768)
                                                           : rnd.Range(-2000, 5000));
                src.at(r, c) = v;
                lo = std::min<int>(lo, v);
                hi = std::max<int>(hi, v);
            }
        const Range old{lo - 1, hi + 1};
        const Range withSea{std::min(lo, 0) - 1, std::max(hi, 0) + 1};
        const std::uint64_t seed = rnd.Seed();

        ExpectWithin(Zumeld::ResizeGrid(src.view(), static_cast<int>(rnd.Range(1, 20)),
                                        static_cast<int>(rnd.Range(1, 20))),
                     old, "resize", trial, seed);
        ExpectWithin(Zumeld::RotateGrid(src.view(), static_cast<int>(rnd.Range(-800, 800))),
                     withSea, "rotate", trial, seed);
        const double angle = static_cast<double>(rnd.Range(1, 3600)) / 10.0;
        const double inner = static_cast<double>(rnd.Range(0, 999)) / 10.0;
        ExpectWithin(Zumeld::SectorWarp(src.view(), angle, inner), withSea, "sector", trial, seed);
        const double a = static_cast<double>(rnd.Range(-100, 100)) / 50.0;
        const double b = static_cast<double>(rnd.Range(-100, 100)) / 50.0;
        const double c = static_cast<double>(rnd.Range(-1000, 200)) / 100.0;
        ExpectWithin(Zumeld::BarrelWarp(src.view(), a, b, c), withSea, "barrel", trial, seed);
    }
}
