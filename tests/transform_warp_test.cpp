// Sector and barrel warps: area-weighted means over each new cell's preimage.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "test_random.h"
#include "transform_test_util.h"

using Zumeld::BarrelWarp;
using Zumeld::SectorWarp;
using zumeld_test::AllRows;
using zumeld_test::ResultCell;
using zumeld_test::Rows;
using zumeld_test::TestGrid;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool Near(int v, int expected) {
    return v == expected || v == expected - 1;  // a sum truncated a hair short loses one
}

}  // namespace

TEST(TransformSector, QuarterRingOfTwentyByTen) {
    // R = 20 * 4 / 2 pi = 12.7324, r = 6.3662; 10 >= R - r, so no scaling. The box runs
    // from x0 = -10 to 10 and from y0 = floor(cos 45 * 6.3662) = 4 to 13: 20 x 9.
    const int W = 20, H = 10;
    const double R = 12.732395, r = 6.366198, half = 90 * 0.008726638888888888;
    TestGrid flat(W, H, 100), leftHigh(W, H), topHigh(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            leftHigh.at(y, x) = x < W / 2 ? 100 : 0;
            topHigh.at(y, x) = y < H / 2 ? 100 : 0;
        }
    const Zumeld::TransformedGrid g = SectorWarp(flat.view(), 90, 50);
    const Zumeld::TransformedGrid gl = SectorWarp(leftHigh.view(), 90, 50);
    const Zumeld::TransformedGrid gt = SectorWarp(topHigh.view(), 90, 50);
    ASSERT_TRUE(g && gl && gt);
    ASSERT_EQ(g.width, 20);
    ASSERT_EQ(g.height, 9);
    EXPECT_EQ(AllRows(g)[0], std::vector<int>(20, 0));  // Y = 4 lies inside the inner arc
    // Each new cell's preimage in old-grid coordinates, from the fan's geometry; cells this
    // near an edge of the map are not classified.
    const double eps = 1e-3, sx = W / (2 * half), sy = H / (R - r);
    int covered = 0;
    for (int j = 0; j < g.height; ++j) {
        for (int i = 0; i < g.width; ++i) {
            const double rho = std::hypot(-10 + i, 4 + j), phi = std::atan2(-10 + i, 4 + j);
            const double delta = std::atan2(0.5, rho);
            const double xa = (phi - delta + half) * sx, xb = (phi + delta + half) * sx;
            const double ya = (rho - 0.5 - r) * sy, yb = (rho + 0.5 - r) * sy;
            const bool off = xb < -eps || xa > W + eps || yb < -eps || ya > H + eps;
            const bool on = xb > eps && xa < W - eps && yb > eps && ya < H - eps;
            const int v = ResultCell(g, j, i), l = ResultCell(gl, j, i), t = ResultCell(gt, j, i);
            SCOPED_TRACE(testing::Message() << j << "," << i);
            EXPECT_TRUE(!off || v == 0);
            if (!on) continue;
            ++covered;
            EXPECT_TRUE(Near(v, 100)) << v;
            // Left columns on the fan's left side, top rows on the inner arc.
            EXPECT_TRUE(xb >= W / 2 - eps || l == v);
            EXPECT_TRUE(xa <= W / 2 + eps || l == 0);
            EXPECT_TRUE(yb >= H / 2 - eps || t == v);
            EXPECT_TRUE(ya <= H / 2 + eps || t == 0);
        }
    }
    EXPECT_GT(covered, 60);
}

TEST(TransformSector, FullCircleIsADiscAndDeepRingsAreScaledToTheRows) {
    // R = 20 / 2 pi = 3.1831: the box is 8 x 8 from x0 = y0 = -4.
    const Zumeld::TransformedGrid g = SectorWarp(TestGrid(20, 4, 100).view(), 360, 0);
    ASSERT_TRUE(g);
    ASSERT_EQ(g.width, 8);
    ASSERT_EQ(g.height, 8);
    EXPECT_EQ(ResultCell(g, 4, 4), 0);  // the fan's centre
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            const double rho = std::hypot(i - 4.0, j - 4.0);
            const int v = ResultCell(g, j, i);
            EXPECT_TRUE(rho == 0 || rho + 0.5 >= 3.1831 || Near(v, 100)) << j << "," << i;
            EXPECT_TRUE(rho - 0.5 <= 3.1831 || v == 0) << j << "," << i;
        }

    // 100 x 5 at 90 degrees: R = 63.66 would need 64 rows; scaled, R = 5 and r = 0, the
    // outer arc 5 pi / 2 = 7.85 long. Box: floor(-3.54) = -4 .. 4, 0 .. 5.
    const Zumeld::TransformedGrid deep = SectorWarp(TestGrid(100, 5, 40).view(), 90, 0);
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep.width, 8);
    EXPECT_EQ(deep.height, 5);
    EXPECT_TRUE(Near(ResultCell(deep, 3, 4), 40));
}

TEST(TransformSector, RefusesAnglesAndRadiiOutOfRange) {
    const TestGrid src(6, 4, 10);
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, double> bad[] = {{0, 0},    {-30, 10},  {360.001, 0},
                                             {kNaN, 0}, {90, -1},   {90, 100},
                                             {90, 150}, {90, kNaN}, {inf, 0}};
    for (auto [angle, inner] : bad)
        EXPECT_FALSE(SectorWarp(src.view(), angle, inner)) << angle << " " << inner;
    EXPECT_TRUE(SectorWarp(src.view(), 360, 99.999));
    EXPECT_TRUE(SectorWarp(src.view(), 1e-9, 50));
    EXPECT_FALSE(SectorWarp({nullptr, 7, 6, 4}, 90, 0));
}

TEST(TransformBarrel, FullSpansReproduceEvenWidthRows) {
    zumeld_test::TestRandom rnd(0xBA22E1);
    TestGrid src(12, 7);
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 12; ++c) src.at(r, c) = static_cast<short>(rnd.Range(-32768, 32767));
    // xl = -W / 2 on every row, and any xl below it is clipped to it.
    for (double c : {-6.0, -1e300}) {
        const Zumeld::TransformedGrid g = BarrelWarp(src.view(), 0, 0, c);
        ASSERT_TRUE(g);
        for (int r = 0; r < 7; ++r)
            for (int k = 0; k < 12; ++k)
                ASSERT_EQ(ResultCell(g, r, k), src.at(r, k))
                    << r << "," << k << " seed " << rnd.Seed();
    }
}

TEST(TransformBarrel, WorkedRowsAndEmptySpans) {
    TestGrid ramp(10, 5);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 10; ++c) ramp.at(r, c) = static_cast<short>(10 * c);

    // xl = -3.5 on every row: 7 cells in columns 1 to 7, the first over [-3.5, -2].
    const Zumeld::TransformedGrid narrow = BarrelWarp(TestGrid(10, 5, 50).view(), 0, 0, -3.5);
    ASSERT_TRUE(narrow);
    for (const auto& row : AllRows(narrow))
        for (int c = 0; c < 10; ++c) EXPECT_TRUE(c >= 1 && c <= 7 ? Near(row[c], 50) : row[c] == 0);

    // xl = 0.2 y^2 - 5, y = r - 2.5: row 0 at -3.75, rows 2 and 3 at -4.95.
    const Zumeld::TransformedGrid g = BarrelWarp(ramp.view(), 0.2, 0, -5);
    ASSERT_TRUE(g);
    const Rows rows = AllRows(g);
    EXPECT_EQ(rows[0], (std::vector<int>{0, 7, 25, 37, 52, 65, 77, 90, 0, 0}));
    const std::vector<int> middle{4, 19, 29, 39, 50, 60, 70, 80, 90, 0};
    EXPECT_EQ(rows[2], middle);
    EXPECT_EQ(rows[3], middle);
    EXPECT_EQ(rows[1], rows[4]);  // y = -1.5 and 1.5

    // Reversed or empty spans stay sea.
    const std::vector<int> sea(10, 0);
    struct Case {
        double a, b, c;
    } allSea[] = {{0, 0, 0}, {0, 0, 0.5}, {0, 0, 2}, {kNaN, 0, -5}, {0, 0, kNaN}};
    for (const Case& c : allSea) {
        const Zumeld::TransformedGrid e = BarrelWarp(ramp.view(), c.a, c.b, c.c);
        ASSERT_TRUE(e);
        EXPECT_EQ(AllRows(e), Rows(5, sea)) << c.a << " " << c.c;
    }
    // xl = y^2 - 1: rows 0, 1, 4 reversed (5.25, 1.25, 1.25), rows 2 and 3 at -0.75 get one
    // cell, in column trunc(4.25) = 4, holding the whole row's mean: 450 / 10.
    const Zumeld::TransformedGrid h = BarrelWarp(ramp.view(), 1, 0, -1);
    ASSERT_TRUE(h);
    std::vector<int> one(10, 0);
    one[4] = 45;
    EXPECT_EQ(AllRows(h), (Rows{sea, sea, one, one, sea}));
    EXPECT_FALSE(BarrelWarp({nullptr, 11, 10, 5}, 0, 0, -5));
}
