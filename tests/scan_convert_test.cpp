// Polygon scan conversion: worked examples, clipping and storage limits, and coverage laws
// checked on random rectangles and convex polygons.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "test_random.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/geometry/ScanConvert.h"

namespace {

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

struct SpanCase {
    const char* name;
    Points points;
    std::vector<Span> expected;
};

TEST(ScanConvert, WorkedExamplesGiveExactSpansInOrder) {
    const std::vector<Span> u = [] {
        std::vector<Span> s;
        for (int y = 0; y <= 6; ++y) {
            s.emplace_back(y, 0, 3);
            s.emplace_back(y, 6, 9);
        }
        for (int y = 7; y <= 9; ++y) s.emplace_back(y, 0, 9);
        return s;
    }();
    const SpanCase cases[] = {
        {"square", Rect(2, 2, 6, 6), FullRows(2, 6, 2, 6)},
        {"triangle",
         {{5, 0}, {9, 8}, {0, 8}},
         {{0, 5, 5},
          {1, 4, 6},
          {2, 4, 6},
          {3, 3, 7},
          {4, 2, 7},
          {5, 2, 8},
          {6, 1, 8},
          {7, 1, 9},
          {8, 0, 9}}},
        {"U", {{0, 0}, {3, 0}, {3, 6}, {6, 6}, {6, 0}, {9, 0}, {9, 9}, {0, 9}}, u},
        {"steep segment", {{0, 0}, {3, 3}}, {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}}},
        {"flat segment", {{0, 0}, {10, 1}}, {{0, 0, 5}, {1, 6, 10}}},
        {"shallow segment", {{0, 0}, {10, 3}}, {{0, 0, 1}, {1, 2, 5}, {2, 6, 8}, {3, 9, 10}}},
        {"mirrored segment", {{10, 0}, {0, 3}}, {{0, 9, 10}, {1, 5, 8}, {2, 2, 4}, {3, 0, 1}}},
        {"shallow triangle",
         {{0, 0}, {10, 3}, {0, 3}},
         {{0, 0, 1}, {1, 0, 5}, {2, 0, 8}, {3, 0, 10}}},
        {"rectangle over the area", Rect(-5, -5, 30, 30), FullRows(0, 19, 0, 19)},
        {"rectangle over the right edge", Rect(19, 2, 25, 5), FullRows(2, 5, 19, 19)},
        {"rectangle over the left edge", Rect(-5, 2, 0, 5), FullRows(2, 5, 0, 0)},
        {"right of the area", Rect(20, 2, 25, 5), {}},
        {"below the area", Rect(2, 20, 5, 29), {}},
        {"single point", {{4, 4}}, {}},
        {"one row", {{1, 4}, {9, 4}, {5, 4}}, {}},
    };
    for (const SpanCase& c : cases) EXPECT_EQ(Convert(c.points, 20, 20), c.expected) << c.name;
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

// Refusals: 0 and nothing written.

TEST(ScanConvert, OutOfContractCallsWriteNothing) {
    const Points sq = Rect(2, 2, 6, 6);
    struct Case {
        const char* name;
        const tagPOINT* points;
        int nPoints, w, h, maxLines;
    } cases[] = {
        {"display 0 x 0", sq.data(), 4, 0, 0, 10}, {"display -1 x -1", sq.data(), 4, -1, -1, 10},
        {"width 0", sq.data(), 4, 0, 20, 10},      {"height -1", sq.data(), 4, 20, -1, 10},
        {"maxLines 0", sq.data(), 4, 20, 20, 0},   {"maxLines -5", sq.data(), 4, 20, 20, -5},
        {"null points", nullptr, 4, 20, 20, 10},   {"one point", sq.data(), 1, 20, 20, 10},
        {"no points", sq.data(), 0, 20, 20, 10},   {"negative count", sq.data(), -3, 20, 20, 10},
    };
    for (const Case& c : cases) {
        std::vector<tagHorzLine> lines(10, tagHorzLine{-7, -7, -7});
        EXPECT_EQ(ScanConvertPolygon(c.points, c.nPoints, c.w, c.h, lines.data(), c.maxLines), 0)
            << c.name;
        EXPECT_EQ(lines[0].y, -7) << c.name;
    }
    EXPECT_EQ(ScanConvertPolygon(sq.data(), 4, 20, 20, nullptr, 10), 0);
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

// Convex hull (monotone chain), counter-clockwise, collinear points dropped.
Points ConvexHull(Points p) {
    std::sort(p.begin(), p.end(), [](const tagPOINT& a, const tagPOINT& b) {
        return std::pair(a.x, a.y) < std::pair(b.x, b.y);
    });
    p.erase(
        std::unique(p.begin(), p.end(),
                    [](const tagPOINT& a, const tagPOINT& b) { return a.x == b.x && a.y == b.y; }),
        p.end());
    if (p.size() < 3) return p;
    const auto cross = [](const tagPOINT& o, const tagPOINT& a, const tagPOINT& b) {
        return std::int64_t{a.x - o.x} * (b.y - o.y) - std::int64_t{a.y - o.y} * (b.x - o.x);
    };
    Points hull(2 * p.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], p[i]) <= 0) --k;
        hull[k++] = p[i];
    }
    for (std::size_t i = p.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && cross(hull[k - 2], hull[k - 1], p[i - 1]) <= 0) --k;
        hull[k++] = p[i - 1];
    }
    hull.resize(k - 1);
    return hull;
}

TEST(ScanConvert, ConvexPolygonPixelsDoNotDependOnStartOrDirection) {
    zumeld_test::TestRandom rng(0xc0ffee);
    for (int iter = 0; iter < 50; ++iter) {
        Points cloud(static_cast<std::size_t>(rng.Range(3, 12)));
        for (tagPOINT& p : cloud)
            p = {static_cast<LONG>(rng.Range(-8, 40)), static_cast<LONG>(rng.Range(-8, 40))};
        Points hull = ConvexHull(cloud);
        if (hull.size() < 3) continue;
        const auto reference = PixelsOf(Convert(hull, 32, 32));
        for (std::size_t start = 0; start < hull.size(); ++start) {
            Points turned = hull;
            std::rotate(turned.begin(), turned.begin() + static_cast<std::ptrdiff_t>(start),
                        turned.end());
            ASSERT_EQ(PixelsOf(Convert(turned, 32, 32)), reference)
                << "seed " << rng.Seed() << " iteration " << iter << " start " << start;
            std::reverse(turned.begin(), turned.end());
            ASSERT_EQ(PixelsOf(Convert(turned, 32, 32)), reference)
                << "seed " << rng.Seed() << " iteration " << iter << " reversed from " << start;
        }
    }
}

// The member reads the map's display size.

TEST(ScanConvert, MemberClipsToTheDisplayArea) {
    Zumeld::CCtrlElvMap map;
    Points sq = Rect(-5, -5, 30, 30);
    std::vector<tagHorzLine> lines(64);
    EXPECT_EQ(map.CalcPolygon(sq.data(), 4, lines.data(), 64), 0) << "no display area yet";
    map.m_nDisplayWidth = 7;
    map.m_nDisplayHeight = 3;
    ASSERT_EQ(map.CalcPolygon(sq.data(), 4, lines.data(), 64), 3);
    EXPECT_EQ(lines[2].y, 2);
    EXPECT_EQ(lines[2].right, 6);
    map.ElevationDataModified();
    EXPECT_EQ(map.CalcPolygon(sq.data(), 4, lines.data(), 64), 0) << "display size -1";
}

}  // namespace
