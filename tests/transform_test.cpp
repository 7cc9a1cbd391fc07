// The terrain transforms: the kernels (sinking, resizing, rotation, sector and barrel warps) on
// worked grids and on random grids and arguments, and the edit members, which install their
// result through the one grid replacement.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <vector>

#include "elv_test_support.h"
#include "test_random.h"
#include "zumeld/transform/Transforms.h"

using namespace Zumeld;
using Rows = std::vector<std::vector<int>>;
using namespace elv_test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A width x height grid whose rows carry two padding cells, so that a kernel reading past a
// row or using the wrong stride shows.
struct TestGrid {
    int width, height;
    std::ptrdiff_t stride;
    std::vector<short> cells;
    TestGrid(int w, int h, short fill = 0)
        : width(w), height(h), stride(w + 2), cells(std::size_t((w + 2) * h), 31111) {
        for (int r = 0; r < h; ++r) std::fill_n(&at(r, 0), w, fill);
    }
    TestGrid(std::initializer_list<std::initializer_list<int>> rows)
        : TestGrid(int(rows.begin()->size()), int(rows.size())) {
        int r = 0;
        for (const auto& row : rows) std::copy(row.begin(), row.end(), &at(r++, 0));
    }
    // Cell (r, c) = f(r, c).
    template <std::invocable<int, int> F>
    TestGrid(int w, int h, F f) : TestGrid(w, h) {
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) at(r, c) = static_cast<short>(f(r, c));
    }
    short& at(int r, int c) { return cells[std::size_t(r * stride + c)]; }
    short at(int r, int c) const { return cells[std::size_t(r * stride + c)]; }
    GridView view() const { return {cells.data(), stride, width, height}; }
};

short Cell(const TransformedGrid& g, int r, int c) {
    return g.cells[std::ptrdiff_t(r) * (g.width + 1) + c];
}

// The used cells of a result, row by row.
Rows AllRows(const TransformedGrid& g) {
    Rows rows(std::size_t(g.height));
    for (int r = 0; r < g.height; ++r)
        for (int c = 0; c < g.width; ++c) rows[r].push_back(Cell(g, r, c));
    return rows;
}

bool Near(int v, int expected) {
    return v == expected || v == expected - 1;  // a sum truncated a hair short loses one
}

TEST(TransformSink, WorkedRectangles) {
    const TestGrid src{{5, 0, 300, -7}, {1, 40, -2, 9}, {0, 200, 30000, 2}};
    const Rows same = {{5, 0, 300, -7}, {1, 40, -2, 9}, {0, 200, 30000, 2}};
    const struct {
        int depth, left, top, width, height;
        bool keepLand;
        Rows rows;
    } cases[] = {
        // clang-format off
        // Deeper than every cell of columns 1-2 of rows 0-1: all sea; with keepLand, land
        // stops at 1, sea stays 0 and negative cells become 0.
        {1000, 1, 0, 2, 2, false, {{5, 0, 0, -7}, {1, 0, 0, 9}, same[2]}},
        {1000, 1, 0, 2, 2, true, {{5, 0, 1, -7}, {1, 1, 0, 9}, same[2]}},
        {0, 0, 0, 4, 3, false, {{5, 0, 300, 0}, {1, 40, 0, 9}, same[2]}},  // negatives only
        {3, 0, 0, 1, 2, true, {{2, 0, 300, -7}, {1, 40, -2, 9}, same[2]}},
        // A negative depth raises land, saturating at 32767; the depth is a 16-bit amount:
        // 65536 + 4 sinks by 4, 40000 raises by 25536.
        {-3000, 1, 1, 2, 2, false, {same[0], {1, 3040, 0, 9}, {0, 3200, 32767, 2}}},
        {65540, 0, 0, 1, 1, false, {{1, 0, 300, -7}, same[1], same[2]}},
        {40000, 2, 0, 1, 1, false, {{5, 0, 25836, -7}, same[1], same[2]}},
        // Clipped to the used grid; extreme sizes do not overflow; empty rectangles copy.
        {1, -5, -5, 100, 100, false, {{4, 0, 299, 0}, {0, 39, 0, 8}, {0, 199, 29999, 1}}},
        {1, 3, 2, INT_MAX, INT_MAX, false, {same[0], same[1], {0, 200, 30000, 1}}},
        {1, 2, 1, 0, 5, false, same}, {1, 4, 0, 3, 3, false, same},
        // clang-format on
    };
    for (const auto& c : cases) {
        const TransformedGrid g =
            SinkArea(src.view(), c.depth, c.left, c.top, c.width, c.height, c.keepLand);
        ASSERT_TRUE(g) << &c - cases;
        EXPECT_EQ(AllRows(g), c.rows) << &c - cases;
    }
    const short cell = 5;  // no grid or no used cells: nothing
    for (GridView bad : {GridView{nullptr, 1, 1, 1}, {&cell, 1, 0, 1}, {&cell, 1, 1, -3}})
        EXPECT_FALSE(SinkArea(bad, 1, 0, 0, 1, 1, false));
}

TEST(TransformResize, WorkedLinesAlongRowsAndColumns) {
    const std::vector<int> cases[][2] = {
        {{0, 100}, {0, 25, 50, 75, 100}},
        {{0, 100, 200, 300}, {0, 100, 200}},  // one cell fewer drops the last cell
        {{0, 90, 30}, {52}},                  // the mean 52.5, truncated
        // Slices of three intervals: the means of the ramp over [0,3], [3,6], [6,9].
        {{0, 10, 20, 30, 40, 50, 60, 70, 80, 90}, {15, 45, 75}},
        {{-100, 0}, {-100, -66, -33, 0}},  // truncation toward zero, not floor
        {{7}, {7, 7, 7, 7}},               // one cell: the scale is 0
        {{3, -8, 12}, {3, -8, 12}}};       // same length: a copy
    for (const auto& [in, out] : cases) {
        const int n = int(in.size()), m = int(out.size());
        const TestGrid row(n, 1, [&](int, int c) { return in[c]; });
        const TestGrid column(1, n, [&](int r, int) { return in[r]; });
        const TransformedGrid rows = ResizeGrid(row.view(), m, 1);
        const TransformedGrid cols = ResizeGrid(column.view(), 1, m);
        ASSERT_TRUE(rows && cols);
        EXPECT_EQ(AllRows(rows)[0], out) << n << " to " << m;
        for (int r = 0; r < m; ++r) EXPECT_EQ(Cell(cols, r, 0), out[r]) << n << " to " << m;
    }
    // Two cells of 100 widened to 13: in column 1 the weights add up to a hair under 1, and
    // the result is truncated, not rounded.
    const TransformedGrid wide = ResizeGrid(TestGrid(2, 1, 100).view(), 13, 1);
    ASSERT_TRUE(wide);
    const std::vector<int> row = AllRows(wide)[0];
    EXPECT_EQ(std::vector(row.begin(), row.begin() + 2), (std::vector{100, 99}));
    EXPECT_EQ(row[12], 100);
    for (int v : row) EXPECT_TRUE(v == 99 || v == 100) << v;
    // Rows first: 0,1 -> 0,0,1 and 1,2 -> 1,1,2 (0.5 and 1.5 truncated); then the middle
    // column 0,1 -> 0,0,1. A one-step bilinear resample would put 1 in the centre.
    const TestGrid src{{0, 1}, {1, 2}};
    EXPECT_EQ(AllRows(ResizeGrid(src.view(), 3, 3)), (Rows{{0, 0, 1}, {0, 0, 1}, {1, 1, 2}}));
    EXPECT_EQ(AllRows(ResizeGrid(src.view(), 1, 1)), Rows{{0}});             // the top-left cell
    for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-3, -3}, {50000, 50000}})  // 50000^2: 5 GB
        EXPECT_FALSE(ResizeGrid(src.view(), w, h)) << w << "x" << h;
    EXPECT_FALSE(ResizeGrid({nullptr, 3, 2, 2}, 4, 4));
    // Tall maps are done in column strips: 6000 rows of the ramp 0, 10, .. 990 widened from
    // 100 to 199 columns (a scale of exactly 0.5) read 5 k in column k on every row.
    const TransformedGrid tall =
        ResizeGrid(TestGrid(100, 6000, [](int, int c) { return 10 * c; }).view(), 199, 6000);
    ASSERT_TRUE(tall);
    for (int r = 0; r < 6000; r += 7)
        for (int k = 0; k < 199; ++k) ASSERT_EQ(Cell(tall, r, k), 5 * k) << r << "," << k;
}

TEST(TransformRotate, QuarterTurnsPermuteCellsExactly) {
    const TestGrid src{{1, 2, 3}, {4, 5, 6}};
    const Rows same = {{1, 2, 3}, {4, 5, 6}}, turned90 = {{3, 6}, {2, 5}, {1, 4}},
               turned180 = {{6, 5, 4}, {3, 2, 1}}, turned270 = {{4, 1}, {5, 2}, {6, 3}};
    const std::pair<int, Rows> cases[] = {{0, same},        {90, turned90},   {180, turned180},
                                          {270, turned270}, {-90, turned270}, {-180, turned180},
                                          {-270, turned90}, {-360, same},     {-450, turned270},
                                          {-720, same},     {-3510, turned90}};
    for (const auto& [angle, rows] : cases)
        EXPECT_EQ(AllRows(RotateGrid(src.view(), angle)), rows) << angle;
    EXPECT_FALSE(RotateGrid({nullptr, 6, 5, 3}, 30));
    // A result that would not fit in 2^31 - 1 bytes is refused before any cell is read.
    const short one = 1;
    EXPECT_FALSE(RotateGrid({&one, 100000, 100000, 100000}, 45));
    EXPECT_FALSE(RotateGrid({&one, 40000, 40000, 40000}, 90));
}

TEST(TransformRotate, WorkedGeneralRotations) {
    // A 4 x 4 map of 100 turned by 45: the coast falls off over about one cell.
    EXPECT_EQ(AllRows(RotateGrid(TestGrid(4, 4, 100).view(), 45)),
              (Rows{{0, 0, 35, 35, 0, 0},
                    {0, 35, 100, 100, 35, 0},
                    {35, 100, 100, 100, 100, 35},
                    {35, 100, 100, 100, 100, 35},
                    {0, 35, 100, 100, 35, 0},
                    {0, 0, 35, 35, 0, 0}}));
    // Sizes; 360 and 450 are not reduced: the general path, whose sine is not exactly 0.
    const int sizes[][5] = {
        {3, 2, 1, 4, 3}, {3, 3, 360, 4, 4}, {3, 3, 450, 4, 4}, {10, 1, 30, 10, 6}};
    for (const auto& [w, h, angle, newW, newH] : sizes) {
        const TransformedGrid g = RotateGrid(TestGrid(w, h, 7).view(), angle);
        EXPECT_EQ(std::pair(g.width, g.height), std::pair(newW, newH)) << angle;
    }
    // A constant map keeps its elevation in the middle, is sea in the corners, and no cell
    // leaves the range between sea and the constant, for any angle however large.
    for (int value : {500, -500, 32767})
        for (int angle : {30, 135, 200, 333, INT_MIN, INT_MIN + 1, INT_MAX, 1000000007}) {
            const TransformedGrid g = RotateGrid(TestGrid(17, 11, short(value)).view(), angle);
            ASSERT_TRUE(g);
            for (const auto& row : AllRows(g))
                for (int v : row)
                    ASSERT_TRUE(v >= std::min(0, value) && v <= std::max(0, value)) << angle;
            EXPECT_EQ(Cell(g, g.height / 2, g.width / 2), value) << angle;
            EXPECT_EQ(Cell(g, g.height / 2 + 2, g.width / 2 - 3), value) << angle;
            EXPECT_EQ(Cell(g, 0, 0) | Cell(g, g.height - 1, g.width - 1), 0) << angle;
        }
}

// The ratio of sums of a negated map is exactly the negated ratio; rounding half away from
// zero maps it to the negated elevation (rounding half up would not).
TEST(TransformRotate, RoundingIsHalfAwayFromZeroSoNegatingCommutes) {
    zumeld_test::TestRandom rnd(0x0707);
    const TestGrid src(23, 19, [&](int, int) { return rnd.Range(-32767, 32767); });
    const TestGrid neg(23, 19, [&](int r, int c) { return -src.at(r, c); });
    for (int angle : {1, 45, 271, 360}) {
        const TransformedGrid a = RotateGrid(src.view(), angle), b = RotateGrid(neg.view(), angle);
        ASSERT_TRUE(a && b);
        for (int k = 0; k < a.height; ++k)
            for (int i = 0; i < a.width; ++i)
                ASSERT_EQ(Cell(b, k, i), -Cell(a, k, i)) << angle << " " << k << "," << i;
    }
}

// R = 20 x 4 / 2 pi = 12.73 and r = 6.37: the fan's box runs from (-10, 4), 20 x 9. The left
// half of the map lands left of the fan's axis, its top half on the inner part of the ring.
TEST(TransformSector, QuarterRingKeepsLeftAndTopWhereTheyBelong) {
    const TestGrid src(20, 10,
                       [](int r, int c) { return 1 + (c < 10 ? 100 : 0) + (r < 5 ? 10 : 0); });
    const TransformedGrid g = SectorWarp(src.view(), 90, 50);
    ASSERT_TRUE(g);
    ASSERT_EQ(std::pair(g.width, g.height), std::pair(20, 9));
    // Row, column, value: (X, Y) = (-7, 9) and (6, 9) lie beyond the ring's middle radius 9.55,
    // (-4, 7) and (4, 7) inside it; the box's corners are sea.
    const int cells[][3] = {{5, 3, 101}, {5, 16, 1}, {3, 6, 111},
                            {3, 14, 11}, {0, 0, 0},  {8, 19, 0}};
    for (const auto& [j, i, v] : cells) EXPECT_TRUE(Near(Cell(g, j, i), v)) << j << "," << i;
}

TEST(TransformSector, FullCircleIsADiscAndDeepRingsAreScaledToTheRows) {
    // R = 20 / 2 pi = 3.1831: the box is 8 x 8 from x0 = y0 = -4, the centre stays sea.
    const TransformedGrid g = SectorWarp(TestGrid(20, 4, 100).view(), 360, 0);
    ASSERT_EQ(std::pair(g.width, g.height), std::pair(8, 8));
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            const double rho = std::hypot(i - 4.0, j - 4.0);
            const int v = Cell(g, j, i);
            EXPECT_TRUE(rho + 0.5 >= 3.1831 || (rho == 0 ? v == 0 : Near(v, 100))) << j << "," << i;
            EXPECT_TRUE(rho - 0.5 <= 3.1831 || v == 0) << j << "," << i;
        }
    // 100 x 5 at 90 degrees: R = 63.66 would need 64 rows; scaled, R = 5 and r = 0, the
    // outer arc 5 pi / 2 = 7.85 long. Box: floor(-3.54) = -4 .. 4, 0 .. 5.
    const TransformedGrid deep = SectorWarp(TestGrid(100, 5, 40).view(), 90, 0);
    ASSERT_EQ(std::pair(deep.width, deep.height), std::pair(8, 5));
    EXPECT_TRUE(Near(Cell(deep, 3, 4), 40));
    const TestGrid src(6, 4, 10);
    // The angle in (0, 360] and the inner radius in [0, 100) percent; NaN is neither.
    for (auto [angle, inner] :
         {std::pair{0.0, 0.0}, {360.001, 0}, {kNaN, 0}, {90, -1}, {90, 100}, {90, kNaN}})
        EXPECT_FALSE(SectorWarp(src.view(), angle, inner)) << angle << " " << inner;
    EXPECT_TRUE(SectorWarp(src.view(), 360, 99.999) && SectorWarp(src.view(), 1e-9, 50));
    EXPECT_FALSE(SectorWarp({nullptr, 7, 6, 4}, 90, 0));
}

TEST(TransformBarrel, WorkedRowsAndEmptySpans) {
    // xl = -W / 2 on every row (or clipped to it) gives the rows back.
    zumeld_test::TestRandom rnd(0xBA22E1);
    const TestGrid random(12, 7, [&](int, int) { return rnd.Range(-32768, 32767); });
    for (double c : {-6.0, -1e300}) {
        const TransformedGrid g = BarrelWarp(random.view(), 0, 0, c);
        for (int r = 0; r < 7; ++r)
            for (int k = 0; k < 12; ++k) ASSERT_EQ(Cell(g, r, k), random.at(r, k)) << r << "," << k;
    }
    // xl = -3.5 on every row: 7 cells in columns 1 to 7, the first over [-3.5, -2].
    for (const auto& row : AllRows(BarrelWarp(TestGrid(10, 5, 50).view(), 0, 0, -3.5)))
        for (int c = 0; c < 10; ++c) EXPECT_TRUE(c >= 1 && c <= 7 ? Near(row[c], 50) : row[c] == 0);
    // xl = 0.2 y^2 - 5, y = r - 2.5: row 0 at -3.75, rows 2 and 3 at -4.95.
    const TestGrid ramp(10, 5, [](int, int c) { return 10 * c; });
    const Rows rows = AllRows(BarrelWarp(ramp.view(), 0.2, 0, -5));
    EXPECT_EQ(rows[0], (std::vector<int>{0, 7, 25, 37, 52, 65, 77, 90, 0, 0}));
    EXPECT_EQ(rows[2], (std::vector<int>{4, 19, 29, 39, 50, 60, 70, 80, 90, 0}));
    EXPECT_EQ(rows[3], rows[2]);
    EXPECT_EQ(rows[1], rows[4]);  // y = -1.5 and 1.5
    // Reversed or empty spans stay sea. xl = y^2 - 1: rows 0, 1, 4 reversed, rows 2 and 3 at
    // -0.75 get one cell, in column trunc(4.25) = 4, holding the whole row's mean: 450 / 10.
    const std::vector<int> sea(10, 0);
    for (auto [a, c] : {std::pair{0.0, 0.0}, {0, 0.5}, {0, 2}, {kNaN, -5}, {0, kNaN}})
        EXPECT_EQ(AllRows(BarrelWarp(ramp.view(), a, 0, c)), Rows(5, sea)) << a << " " << c;
    std::vector<int> one(10, 0);
    one[4] = 45;
    EXPECT_EQ(AllRows(BarrelWarp(ramp.view(), 1, 0, -1)), (Rows{sea, sea, one, one, sea}));
    EXPECT_FALSE(BarrelWarp({nullptr, 11, 10, 5}, 0, 0, -5));
}

// Every transform on random small grids and arguments: each new cell is a mean (or an
// interpolation) of old cells, so it stays inside the old range (sea included where cells
// are left uncovered), give or take the one unit a sum truncated a hair short can lose.
// Under the sanitizers this also checks that no argument makes a kernel read outside the grid.
TEST(TransformRandom, NewCellsStayWithinTheOldRange) {
    zumeld_test::TestRandom rnd(0x7A2F0001);
    for (int trial = 0; trial < 300; ++trial) {
        const bool extreme = rnd.Chance(30);
        const TestGrid src(rnd.Between(1, 9), rnd.Between(1, 9), [&](int, int) {
            return extreme ? (rnd.Chance(50) ? 32767 : -32768) : rnd.Range(-2000, 5000);
        });
        int lo = 32767, hi = -32768;
        for (int r = 0; r < src.height; ++r)
            for (int c = 0; c < src.width; ++c) {
                lo = std::min<int>(lo, src.at(r, c));
                hi = std::max<int>(hi, src.at(r, c));
            }
        auto expectWithin = [&](const TransformedGrid& g, const char* what, bool sea) {
            ASSERT_TRUE(g) << what << " trial " << trial;
            const int low = (sea ? std::min(lo, 0) : lo) - 1,
                      high = (sea ? std::max(hi, 0) : hi) + 1;
            for (const auto& row : AllRows(g))
                for (int v : row)
                    ASSERT_TRUE(v >= low && v <= high) << what << " trial " << trial << ": " << v;
        };
        expectWithin(ResizeGrid(src.view(), rnd.Between(1, 20), rnd.Between(1, 20)), "resize",
                     false);
        expectWithin(RotateGrid(src.view(), rnd.Between(-800, 800)), "rotate", true);
        const double angle = rnd.Range(1, 3600) / 10.0, inner = rnd.Range(0, 999) / 10.0;
        expectWithin(SectorWarp(src.view(), angle, inner), "sector", true);
        const double a = rnd.Range(-100, 100) / 50.0, b = rnd.Range(-100, 100) / 50.0;
        expectWithin(BarrelWarp(src.view(), a, b, rnd.Range(-1000, 200) / 100.0), "barrel", true);
    }
}

// ---- The terrain-edit members: each installs its result through the one grid replacement, which
// sets the sizes, restores the margin and marks the display grid stale; an undo copy keeps the
// grid it had. (An edit that fails leaves the map as it was: fault_test.cpp.)

// A 6 x 4 map with land, sea and a negative cell.
void MakeTestMap(CCtrlElvMap& map) {
    const short cells[] = {0, 120, 340, 560, 780, 900, 10, 200, -30, 600, 800, 950,
                           0, 0,   400, 650, 850, 990, 5,  60,  450, 700, 870, 1000};
    map.SetElevationData(6, 4, cells);
}

TEST(TransformReplace, EditsInstallAGridOfTheirOwnAndTheUndoCopyKeepsTheOld) {
    struct Case {
        const char* name;
        void (*edit)(CCtrlElvMap&, bool);
        int newWidth, newHeight;
    } cases[] = {
        {"sink", [](CCtrlElvMap& m, bool d) { m.TransSink(50, 3, 1, 10, 10, false, d); }, 6, 4},
        {"size up", [](CCtrlElvMap& m, bool d) { m.TransSize(11, 7, d); }, 11, 7},
        {"size down", [](CCtrlElvMap& m, bool d) { m.TransSize(4, 2, d); }, 4, 2},
        {"rotate 90", [](CCtrlElvMap& m, bool d) { m.TransRotate(90, d); }, 4, 6},
        {"rotate 180", [](CCtrlElvMap& m, bool d) { m.TransRotate(-180, d); }, 6, 4},
        {"rotate 30", [](CCtrlElvMap& m, bool d) { m.TransRotate(30, d); }, 8, 7},
        {"sector", [](CCtrlElvMap& m, bool d) { m.TransSector(120, 40, d); }, 6, 3},
        {"barrel", [](CCtrlElvMap& m, bool d) { m.TransBarrel(0.1, 0, -2.5, d); }, 6, 4}};
    for (const Case& e : cases) {
        for (bool deleteOld : {true, false}) {
            SCOPED_TRACE(testing::Message() << e.name << (deleteOld ? " delete" : " keep"));
            CCtrlElvMap map;
            MakeTestMap(map);
            const std::vector<short> before = WholeGrid(map);
            CCtrlElvMap undo(map);
            const short* held = undo.m_pElevation.get();
            e.edit(map, deleteOld);
            ASSERT_TRUE(map.m_pElevation);
            EXPECT_EQ(map.m_nWidth, e.newWidth);
            EXPECT_EQ(map.m_nHeight, e.newHeight);
            EXPECT_EQ(map.m_nBufferWidth, e.newWidth + 1);
            EXPECT_EQ(map.m_nBufferHeight, e.newHeight + 1);
            EXPECT_EQ(map.m_nRowBytes, (e.newWidth + 1) * 2);
            ExpectMarginRule(map);
            ExpectDisplayArguments(map, -1);
            // The copy still holds the old grid, unchanged, and is now its only holder.
            EXPECT_NE(map.m_pElevation.get(), held);
            EXPECT_EQ(undo.m_pElevation.get(), held);
            EXPECT_EQ(undo.m_pElevation.use_count(), 1);
            EXPECT_EQ(WholeGrid(undo), before);
        }
        CCtrlElvMap empty;  // without a grid: nothing changes
        e.edit(empty, true);
        EXPECT_TRUE(empty.m_pElevation == nullptr) << e.name;
        EXPECT_EQ(empty.m_nWidth + empty.m_nHeight, 0) << e.name;
        ExpectDisplayArguments(empty, 0);
    }
}

}  // namespace
