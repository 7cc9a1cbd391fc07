// Polygon scan conversion and the point-in-polygon test: worked examples, clipping and
// storage limits, and laws checked on random polygons: triangles cover the same pixels from
// any start in either direction, and the point test agrees with the spans.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "test_random.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/geometry/ScanConvert.h"

namespace {

using Zumeld::PointInPolygon;
using Zumeld::ScanConvertPolygon;
using Zumeld::tagHorzLine;
using Span = std::tuple<int, int, int>;  // row, left, right
using Points = std::vector<tagPOINT>;

std::vector<Span> Convert(const Points& pts, int w, int h, int maxLines = 20000) {
    std::vector<tagHorzLine> lines(static_cast<std::size_t>(std::max(maxLines, 1)));
    const int n =
        ScanConvertPolygon(pts.data(), static_cast<int>(pts.size()), w, h, lines.data(), maxLines);
    std::vector<Span> out;
    for (int i = 0; i < n; ++i) out.emplace_back(lines[i].y, lines[i].left, lines[i].right);
    return out;
}

std::vector<Span> RowsOf(const std::vector<Span>& spans, int row) {
    std::vector<Span> out;
    for (const Span& s : spans)
        if (std::get<0>(s) == row) out.push_back(s);
    return out;
}

std::vector<Span> FullRows(int first, int last, int left, int right) {
    std::vector<Span> out;
    for (int y = first; y <= last; ++y) out.emplace_back(y, left, right);
    return out;
}

Points Rect(int x0, int y0, int x1, int y1) {
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

// Worked examples on a 20 x 20 area.
TEST(ScanConvert, WorkedExamplesGiveExactSpansInOrder) {
    std::vector<Span> u;
    for (int y = 0; y <= 9; ++y) {
        u.emplace_back(y, 0, y <= 6 ? 3 : 9);
        if (y <= 6) u.emplace_back(y, 6, 9);
    }
    const std::pair<Points, std::vector<Span>> cases[] = {
        // clang-format off
        {Rect(2, 2, 6, 6), FullRows(2, 6, 2, 6)},
        {{{5, 0}, {9, 8}, {0, 8}}, {{0, 5, 5}, {1, 4, 6}, {2, 4, 6}, {3, 3, 7}, {4, 2, 7}, {5, 2, 8}, {6, 1, 8}, {7, 1, 9}, {8, 0, 9}}},
        {{{0, 0}, {3, 0}, {3, 6}, {6, 6}, {6, 0}, {9, 0}, {9, 9}, {0, 9}}, u},
        {{{0, 0}, {3, 3}}, {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}}},  // steep segment
        {{{0, 0}, {10, 1}}, {{0, 0, 5}, {1, 6, 10}}},                          // flat segment
        {{{0, 0}, {10, 3}}, {{0, 0, 1}, {1, 2, 5}, {2, 6, 8}, {3, 9, 10}}},    // shallow
        {{{10, 0}, {0, 3}}, {{0, 9, 10}, {1, 5, 8}, {2, 2, 4}, {3, 0, 1}}},    // mirrored
        {{{0, 0}, {10, 3}, {0, 3}}, {{0, 0, 1}, {1, 0, 5}, {2, 0, 8}, {3, 0, 10}}},
        {Rect(-5, -5, 30, 30), FullRows(0, 19, 0, 19)},  // over the area and its edges
        {Rect(19, 2, 25, 5), FullRows(2, 5, 19, 19)},
        {Rect(-5, 2, 0, 5), FullRows(2, 5, 0, 0)},
        {Rect(20, 2, 25, 5), {}}, {Rect(2, 20, 5, 29), {}},  // right of and below the area
        {{{4, 4}}, {}}, {{{1, 4}, {9, 4}, {5, 4}}, {}},       // a point, one row
        // clang-format on
    };
    for (const auto& c : cases) EXPECT_EQ(Convert(c.first, 20, 20), c.second) << &c - cases;
}

TEST(ScanConvert, ApexAndPassThroughRowsGetTheirOwnSpans) {
    const auto diamond = Convert({{5, 0}, {10, 5}, {5, 10}, {0, 5}}, 20, 20);
    EXPECT_EQ(RowsOf(diamond, 5), (std::vector<Span>{{5, 0, 0}, {5, 0, 10}}));
    EXPECT_EQ(RowsOf(diamond, 0), (std::vector<Span>{{0, 5, 5}}));
    EXPECT_EQ(RowsOf(diamond, 10), (std::vector<Span>{{10, 5, 5}}));

    const auto bowTie = Convert({{0, 0}, {10, 10}, {10, 0}, {0, 10}}, 20, 20);
    EXPECT_EQ(RowsOf(bowTie, 0), (std::vector<Span>{{0, 0, 0}, {0, 10, 10}}));
    EXPECT_EQ(RowsOf(bowTie, 5), (std::vector<Span>{{5, 0, 5}, {5, 5, 10}}));
}

TEST(ScanConvert, StopsWhenTheSpanBufferIsFull) {
    std::vector<tagHorzLine> lines(4, tagHorzLine{-7, -7, -7});
    const Points tri{{5, 0}, {9, 8}, {0, 8}};
    EXPECT_EQ(ScanConvertPolygon(tri.data(), 3, 20, 20, lines.data(), 3), 3);
    EXPECT_EQ(lines[2].y, 2);
    EXPECT_EQ(lines[2].left, 4);
    EXPECT_EQ(lines[2].right, 6);
    EXPECT_EQ(lines[3].y, -7) << "nothing past maxLines is written";
}

// Large areas and coordinates.

TEST(ScanConvert, StoresColumnsAbove32767As32767AndRowsAsLow16Bits) {
    const auto spans = Convert(Rect(32000, 32766, 39000, 32769), 40000, 40000);
    ASSERT_EQ(spans.size(), 4u);
    const int rows[] = {32766, 32767, -32768, -32767};  // 32768 and 32769 wrap
    for (int i = 0; i < 4; ++i) EXPECT_EQ(spans[i], Span(rows[i], 32000, 32767));
}

// Rounded column of the edge (x0, y0)-(x1, y1) on row y: the exact crossing, halves away from
// the top end.
std::int64_t ExactKey(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                      std::int64_t y) {
    if (y1 < y0) std::swap(x0, x1), std::swap(y0, y1);
    // With 32-bit ends and y0 <= y <= y1, k |dx| stays below 2^64; the half is added back
    // through the remainder.
    const std::int64_t dx = x1 - x0;
    const std::uint64_t dy = std::uint64_t(y1 - y0), k = std::uint64_t(y - y0);
    const std::uint64_t p = k * std::uint64_t(dx < 0 ? -dx : dx);
    const auto off = static_cast<std::int64_t>(p / dy + (2 * (p % dy) >= dy));
    return x0 + (dx < 0 ? -off : off);
}

TEST(ScanConvert, EdgesFarApartAreSteppedExactly) {
    // A triangle of 32-bit extremes: its left edge is vertical at x = -2^31 and the right
    // edge is a steep diagonal reaching the area only near its middle.
    const std::int64_t lo = INT32_MIN, hi = INT32_MAX;
    const Points tri{{INT32_MIN, INT32_MIN}, {INT32_MAX - 7, INT32_MAX}, {INT32_MIN, INT32_MAX}};
    std::vector<Span> expected;
    for (int y = 0; y < 48; ++y) {
        const std::int64_t key = ExactKey(lo, lo, hi - 7, hi, y);  // about y - 4
        if (key >= 0)
            expected.emplace_back(y, 0, static_cast<int>(std::min<std::int64_t>(key, 63)));
    }
    ASSERT_GT(expected.size(), 40u);
    EXPECT_EQ(Convert(tri, 64, 48), expected);
    // A shallow edge across the whole 32-bit range: row 1's run ends at
    // -2^31 + floor(3 (2^32 - 1) / 6) = -1, row 2's run starts at 0 and passes the area.
    const auto flat = Convert({{INT32_MIN, 0}, {INT32_MAX, 3}}, 64, 8);
    EXPECT_EQ(flat, (std::vector<Span>{{2, 0, 63}}));
}

TEST(ScanConvert, RowsFarFromTheAreaAreSkippedWithoutChangingSpans) {
    // A slanted band 2^29 rows tall that reaches the 4-column area only on its last rows:
    // row k has the band on columns N - k .. N + 3 - k. The sweep may not walk the empty rows.
    constexpr int N = (1 << 29) + 10;
    const Points band{{N, 0}, {N + 3, 0}, {3, N}, {0, N}};
    EXPECT_EQ(Convert(band, 4, N + 1),
              (std::vector<Span>{{7, 3, 3}, {8, 2, 3}, {9, 1, 3}, {10, 0, 3}}));
}

TEST(ScanConvert, NarrowAreaGivesTheWideAreasSpansClipped) {
    // Rows that emit nothing in a narrow area are skipped in bulk; a wide area, which every
    // edge crosses, walks every row. Clipped to the narrow area the two must agree.
    zumeld_test::TestRandom rng(0x7a11);
    constexpr int kShift = 200, kWide = 600;
    for (int iter = 0; iter < 400; ++iter) {
        Points pts(static_cast<std::size_t>(rng.Range(3, 9)));
        for (tagPOINT& p : pts)
            p = {static_cast<LONG>(rng.Range(-150, 150)), static_cast<LONG>(rng.Range(-20, 400))};
        const int w = static_cast<int>(rng.Range(1, 24)), h = static_cast<int>(rng.Range(1, 420));
        Points shifted = pts;
        for (tagPOINT& p : shifted) p.x += kShift;
        std::vector<Span> expected;
        for (const auto& [y, l, r] : Convert(shifted, kWide, h))
            if (r - kShift >= 0 && l - kShift <= w - 1)
                expected.emplace_back(y, std::max(l - kShift, 0), std::min(r - kShift, w - 1));
        ASSERT_EQ(Convert(pts, w, h), expected) << "seed " << rng.Seed() << " iteration " << iter;
    }
}

// Coverage laws.

std::set<std::pair<int, int>> PixelsOf(const std::vector<Span>& spans) {
    std::set<std::pair<int, int>> s;
    for (const auto& [y, l, r] : spans)
        for (int x = l; x <= r; ++x) s.insert({x, y});
    return s;
}

// A triangle is convex: its pixels do not depend on the vertex it starts from or the
// direction it runs in.
TEST(ScanConvert, TrianglePixelsDoNotDependOnStartOrDirection) {
    zumeld_test::TestRandom rng(0xc0ffee);
    for (int iter = 0; iter < 300; ++iter) {
        Points tri(3);
        for (tagPOINT& p : tri)
            p = {static_cast<LONG>(rng.Range(-8, 40)), static_cast<LONG>(rng.Range(-8, 40))};
        const auto reference = PixelsOf(Convert(tri, 32, 32));
        for (int turn = 0; turn < 6; ++turn) {
            std::rotate(tri.begin(), tri.begin() + 1, tri.end());
            if (turn == 3) std::reverse(tri.begin(), tri.end());
            ASSERT_EQ(PixelsOf(Convert(tri, 32, 32)), reference)
                << "seed " << rng.Seed() << " iteration " << iter << " turn " << turn;
        }
    }
}

TEST(PointInPolygon, WorkedExamples) {
    const Points sq{{2, 2}, {6, 2}, {6, 6}, {2, 6}};
    // A polygon, points inside, points outside.
    const std::tuple<Points, Points, Points> cases[] = {
        // clang-format off
        {sq, {{2, 2}, {6, 6}, {6, 4}, {4, 4}, {2, 6}, {4, 2}}, {{7, 4}, {1, 4}, {4, 1}, {4, 7}}},
        {{{5, 0}, {10, 5}, {5, 10}, {0, 5}}, {{5, 0}, {10, 5}, {5, 10}, {0, 5}, {5, 5}},
         {{-1, 5}, {11, 5}, {4, 0}, {6, 0}}},
        {{{0, 0}, {3, 0}, {3, 6}, {6, 6}, {6, 0}, {9, 0}, {9, 9}, {0, 9}},
         {{3, 6}, {6, 6}, {1, 0}, {4, 7}}, {{4, 6}, {4, 5}, {4, 0}}},
        // A shallow edge counts only at its rounded crossing column, not along its run (the
        // spans of row 0 cover 0..5).
        {{{0, 0}, {10, 1}, {0, 2}}, {{0, 0}, {5, 1}, {10, 1}}, {{3, 0}}},
        {{{0, 0}, {10, 10}, {10, 0}, {0, 10}}, {{2, 5}, {5, 5}, {8, 5}}, {{5, 2}}},  // bow tie
        {{{0, 0}, {3, 3}}, {{1, 1}, {0, 0}, {3, 3}}, {{1, 2}, {4, 4}}},  // a segment
        {{{4, 4}}, {}, {{4, 4}}}, {{{1, 4}, {9, 4}}, {}, {{5, 4}}},       // a point, one row
        // Across the 32-bit range, without clipping to any area.
        {{{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MAX}},
         {{0, 0}, {INT32_MAX, INT32_MIN}, {-40000, 70000}}, {}},
        {{{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}}, {{5, 5}}, {{6, 5}}},
        // clang-format on
    };
    for (const auto& [polygon, inside, outside] : cases) {
        const int n = static_cast<int>(polygon.size());
        for (const tagPOINT& p : inside)
            EXPECT_TRUE(PointInPolygon(p, polygon.data(), n)) << p.x << "," << p.y;
        for (const tagPOINT& p : outside)
            EXPECT_FALSE(PointInPolygon(p, polygon.data(), n)) << p.x << "," << p.y;
    }
    EXPECT_FALSE(PointInPolygon({4, 4}, nullptr, 4));
    for (int n : {1, 0, -2}) EXPECT_FALSE(PointInPolygon({4, 4}, sq.data(), n)) << n;
    // The member reads nothing of the map (display size 0 does not clip).
    Zumeld::CCtrlElvMap map;
    Points big{{100, 100}, {200, 100}, {200, 200}, {100, 200}};
    EXPECT_TRUE(map.PtInPolygon({150, 150}, big.data(), 4));
    EXPECT_FALSE(map.PtInPolygon({250, 150}, big.data(), 4));
}

// A closed polygon whose every edge has |dx| <= dy and dy >= 1 (no horizontal edges): y
// values with distinct neighbours, x moving at most as far as y along each edge, retried
// until the closing edge is steep too. On such polygons the point test and the spans agree.
TEST(PointInPolygon, AgreesWithTheSpansOnSteepPolygons) {
    constexpr int kSize = 24;
    zumeld_test::TestRandom rng(0x9017);
    auto coordinate = [&] { return static_cast<LONG>(rng.Range(-4, kSize + 3)); };
    for (int iter = 0; iter < 400 && !HasFailure(); ++iter) {
        Points poly;
        do {
            poly.assign(1, {coordinate(), coordinate()});
            for (int i = 1, n = static_cast<int>(rng.Range(2, 9)); i < n; ++i) {
                LONG y;
                do y = coordinate();
                while (y == poly.back().y);
                const std::int64_t dy = std::llabs(y - poly.back().y);
                poly.push_back({static_cast<LONG>(poly.back().x + rng.Range(-dy, dy)), y});
            }
        } while (poly.back().y == poly[0].y ||
                 std::llabs(poly.back().x - poly[0].x) > std::llabs(poly.back().y - poly[0].y));
        bool covered[kSize][kSize] = {};
        for (const auto& [y, l, r] : Convert(poly, kSize, kSize))
            for (int x = l; x <= r; ++x) covered[y][x] = true;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                EXPECT_EQ(PointInPolygon({x, y}, poly.data(), static_cast<int>(poly.size())),
                          covered[y][x])
                    << "iteration " << iter << " pixel (" << x << "," << y << ")";
    }
}

}  // namespace
