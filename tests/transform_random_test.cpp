// Every transform on random small grids and random arguments: each new cell is a mean (or
// interpolation) of old cells, so it stays inside the old range (sea included where cells are
// left uncovered), give or take the one unit a sum truncated a hair short can lose. Under the
// sanitizers this also checks that no argument makes a kernel read outside the old grid.
#include <gtest/gtest.h>

#include <algorithm>

#include "test_random.h"
#include "transform_test_util.h"

using zumeld_test::AllRows;
using zumeld_test::TestGrid;
using zumeld_test::TestRandom;

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
        auto expectWithin = [&](const Zumeld::TransformedGrid& g, const char* what, bool sea) {
            ASSERT_TRUE(g) << what << " trial " << trial << " seed " << rnd.Seed();
            const int low = (sea ? std::min(lo, 0) : lo) - 1,
                      high = (sea ? std::max(hi, 0) : hi) + 1;
            for (const auto& row : AllRows(g))
                for (int v : row)
                    ASSERT_TRUE(v >= low && v <= high)
                        << what << " trial " << trial << " seed " << rnd.Seed() << ": " << v
                        << " outside " << low << ".." << high;
        };
        expectWithin(Zumeld::ResizeGrid(src.view(), static_cast<int>(rnd.Range(1, 20)),
                                        static_cast<int>(rnd.Range(1, 20))),
                     "resize", false);
        expectWithin(Zumeld::RotateGrid(src.view(), static_cast<int>(rnd.Range(-800, 800))),
                     "rotate", true);
        const double angle = static_cast<double>(rnd.Range(1, 3600)) / 10.0;
        const double inner = static_cast<double>(rnd.Range(0, 999)) / 10.0;
        expectWithin(Zumeld::SectorWarp(src.view(), angle, inner), "sector", true);
        const double a = static_cast<double>(rnd.Range(-100, 100)) / 50.0;
        const double b = static_cast<double>(rnd.Range(-100, 100)) / 50.0;
        const double c = static_cast<double>(rnd.Range(-1000, 200)) / 100.0;
        expectWithin(Zumeld::BarrelWarp(src.view(), a, b, c), "barrel", true);
    }
}
