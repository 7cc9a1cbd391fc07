// Rotation: exact quarter turns and the general rotation with the lens kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "test_random.h"
#include "transform_test_util.h"

using Zumeld::RotateGrid;
using zumeld_test::AllRows;
using zumeld_test::ResultCell;
using zumeld_test::Rows;
using zumeld_test::TestGrid;

TEST(TransformRotate, LensKernelTable) {
    const std::array<double, 256> t = Zumeld::MakeLensKernelTable();
    EXPECT_NEAR(t[0], 3.14159265358979, 1e-12);
    EXPECT_NEAR(t[1], 2.7885, 5e-5);
    EXPECT_NEAR(t[127], 0.000923, 5e-7);
    for (int i = 1; i < 128; ++i) EXPECT_LT(t[i], t[i - 1]) << i;  // falls with distance
    for (int i = 128; i < 256; ++i) EXPECT_EQ(t[i], 0.0) << i;     // circles 2 apart
}

TEST(TransformRotate, QuarterTurnsPermuteCellsExactly) {
    const TestGrid src{{1, 2, 3}, {4, 5, 6}};
    const Rows turned90 = {{3, 6}, {2, 5}, {1, 4}};  // the right-hand column on top
    const Rows turned180 = {{6, 5, 4}, {3, 2, 1}};
    const Rows turned270 = {{4, 1}, {5, 2}, {6, 3}};
    const Rows same = {{1, 2, 3}, {4, 5, 6}};
    const std::pair<int, Rows> cases[] = {{0, same},        {90, turned90},   {180, turned180},
                                          {270, turned270}, {-90, turned270}, {-180, turned180},
                                          {-270, turned90}, {-360, same},     {-450, turned270},
                                          {-720, same},     {-3510, turned90}};
    for (const auto& [angle, rows] : cases) {
        const Zumeld::TransformedGrid g = RotateGrid(src.view(), angle);
        ASSERT_TRUE(g) << angle;
        EXPECT_EQ(AllRows(g), rows) << angle;
    }
}

TEST(TransformRotate, WorkedGeneralRotations) {
    // A 4 x 4 map of 100 turned by 45: the coast falls off over about one cell.
    const Zumeld::TransformedGrid g45 = RotateGrid(TestGrid(4, 4, 100).view(), 45);
    ASSERT_TRUE(g45);
    // clang-format off
    EXPECT_EQ(AllRows(g45), (Rows{{0, 0, 35, 35, 0, 0}, {0, 35, 100, 100, 35, 0},
                                  {35, 100, 100, 100, 100, 35}, {35, 100, 100, 100, 100, 35},
                                  {0, 35, 100, 100, 35, 0}, {0, 0, 35, 35, 0, 0}}));
    // clang-format on
    struct SizeCase {
        int w, h, angle, newW, newH;
    } sizes[] = {{3, 2, 1, 4, 3},
                 // 360 and 450 are not reduced: the general path, whose sine is not exactly 0.
                 {3, 3, 360, 4, 4},
                 {3, 3, 450, 4, 4},
                 {10, 1, 30, 10, 6}};  // 8.66 + 0.5 -> 10 wide, 5 + 0.87 -> 6 high
    for (const SizeCase& c : sizes) {
        const Zumeld::TransformedGrid g = RotateGrid(TestGrid(c.w, c.h, 7).view(), c.angle);
        ASSERT_TRUE(g) << c.angle;
        EXPECT_EQ(g.width, c.newW) << c.w << "x" << c.h << " by " << c.angle;
        EXPECT_EQ(g.height, c.newH) << c.w << "x" << c.h << " by " << c.angle;
    }
}

// A constant map keeps its elevation in the middle, is sea in the corners, and no cell leaves
// the range between sea and the constant, for any angle however large.
TEST(TransformRotate, ConstantMapStaysConstantInsideAndSeaOutside) {
    for (int value : {500, -500, 32767}) {
        for (int angle : {30, 135, 200, 333, INT_MIN, INT_MIN + 1, INT_MAX, 1000000007}) {
            const Zumeld::TransformedGrid g =
                RotateGrid(TestGrid(17, 11, static_cast<short>(value)).view(), angle);
            ASSERT_TRUE(g);
            const int lo = std::min(0, value), hi = std::max(0, value);
            for (const auto& row : AllRows(g))
                for (int v : row) ASSERT_TRUE(v >= lo && v <= hi) << angle;
            EXPECT_EQ(ResultCell(g, g.height / 2, g.width / 2), value) << angle;
            EXPECT_EQ(ResultCell(g, g.height / 2 + 2, g.width / 2 - 3), value) << angle;
            EXPECT_EQ(ResultCell(g, 0, 0), 0) << angle;
            EXPECT_EQ(ResultCell(g, g.height - 1, g.width - 1), 0) << angle;
        }
    }
}

// The ratio of sums of a negated map is exactly the negated ratio; rounding half away from
// zero maps it to the negated elevation (rounding half up would not).
TEST(TransformRotate, RoundingIsHalfAwayFromZeroSoNegatingCommutes) {
    zumeld_test::TestRandom rnd(0x0707);
    TestGrid src(23, 19), neg(23, 19);
    for (int r = 0; r < 19; ++r)
        for (int c = 0; c < 23; ++c) {
            src.at(r, c) = static_cast<short>(rnd.Range(-32767, 32767));
            neg.at(r, c) = static_cast<short>(-src.at(r, c));
        }
    for (int angle : {1, 45, 271, 360}) {
        const Zumeld::TransformedGrid a = RotateGrid(src.view(), angle);
        const Zumeld::TransformedGrid b = RotateGrid(neg.view(), angle);
        ASSERT_TRUE(a && b);
        for (int k = 0; k < a.height; ++k)
            for (int i = 0; i < a.width; ++i)
                ASSERT_EQ(ResultCell(b, k, i), -ResultCell(a, k, i))
                    << angle << " " << k << "," << i << " seed " << rnd.Seed();
    }
}

TEST(TransformRotate, Refusals) {
    const TestGrid src(5, 3, 9);
    EXPECT_FALSE(RotateGrid({nullptr, 6, 5, 3}, 30));
    EXPECT_FALSE(RotateGrid({src.cells.data(), src.stride, 5, 0}, 30));
    // A result that would not fit in 2^31 - 1 bytes is refused before any cell is read.
    const short one = 1;
    EXPECT_FALSE(RotateGrid({&one, 100000, 100000, 100000}, 45));
    EXPECT_FALSE(RotateGrid({&one, 40000, 40000, 40000}, 90));
}
