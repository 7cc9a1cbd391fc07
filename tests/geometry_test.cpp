// Geometry: polygon scan conversion and the point-in-polygon test (worked examples, clipping
// and storage limits, laws on random polygons), and line drawing (clipping, and random lines
// against the exact pixels of the rounding formula, drawn from either end).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "render_test_support.h"
#include "test_random.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/geometry/Line.h"
#include "zumeld/geometry/ScanConvert.h"

using render_test::Texel;
using Zumeld::DrawLine;
using Zumeld::PixelSurface;
using Zumeld::PointInPolygon;
using Zumeld::ScanConvertPolygon;
using Zumeld::tagHorzLine;

namespace {

// ---- Polygon scan conversion and the point-in-polygon test: laws checked on random polygons
// are that triangles cover the same pixels from any start in either direction, and that the
// point test agrees with the spans.

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
        const int w = rng.Between(1, 24), h = rng.Between(1, 420);
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
            for (int i = 1, n = rng.Between(2, 9); i < n; ++i) {
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

// ---- Line drawing: random lines are small, clipped, or near the 32-bit extremes.

using PixelSet = std::set<std::pair<int, int>>;

// The pixels a line sets in a w x h 32-bit picture of a clipW x clipH display area; each
// takes the colour's blue, green and red bytes in that order and keeps its fourth byte.
PixelSet Draw(int w, int h, tagPOINT a, tagPOINT b, int clipW = -2, int clipH = -2) {
    render_test::Target t(w, h, 4, 0);
    DrawLine(t.surface, clipW == -2 ? w : clipW, clipH == -2 ? h : clipH, a, b, 0x00112233);
    EXPECT_TRUE(t.OutsideUntouched()) << "write outside the picture";
    PixelSet s;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!(t.At(x, y) == Texel{0, 0, 0})) {
                s.insert({x, y});
                EXPECT_EQ(t.At(x, y), (Texel{0x11, 0x22, 0x33}));
            }
        }
    return s;
}

PixelSet Diagonal(int n) {
    PixelSet s;
    for (int i = 0; i < n; ++i) s.insert({i, i});
    return s;
}

TEST(Line, ClippedToTheDisplayAreaAndThePicture) {
    for (int size : {0, -1}) {  // an empty display area draws nothing
        EXPECT_TRUE(Draw(20, 20, {-5, 3}, {10, 3}, size, 20).empty()) << size;
        EXPECT_TRUE(Draw(20, 20, {3, -5}, {3, 10}, 20, size).empty()) << size;
    }
    // Display area 40 x 30 on a 10 x 6 picture: the picture's own size clips.
    EXPECT_EQ(Draw(10, 6, {0, 0}, {39, 39}, 40, 30), Diagonal(6));
    EXPECT_TRUE(Draw(10, 6, {12, 0}, {39, 29}, 40, 30).empty());
    // No pixels, or fewer than 24 bits: nothing drawn.
    BYTE bytes[64] = {};
    DrawLine(PixelSurface{nullptr, 16, 4, 4, 3}, 4, 4, {0, 0}, {3, 3}, 0xFFFFFF);
    DrawLine(PixelSurface{bytes + 48, -16, 4, 4, 1}, 4, 4, {0, 0}, {3, 3}, 0xFFFFFF);
    EXPECT_TRUE(std::all_of(std::begin(bytes), std::end(bytes), [](BYTE b) { return b == 0; }));
}

// The pixels of the line from the rounding formula alone, inside w x h: steep lines one per
// row at x = A.x + s floor((2k|dx| + dy) / (2dy)), shallow ones one per column at
// y = A.y + floor((2k dy + |dx| - 1) / (2|dx|)), A the end with the smaller y. The product of
// k and the shorter extent stays below 2^64; the halves are added back through its remainder.
PixelSet FormulaPixels(tagPOINT p1, tagPOINT p2, int w, int h) {
    const tagPOINT a = p2.y < p1.y ? p2 : p1, b = p2.y < p1.y ? p1 : p2;
    const std::int64_t dx = std::int64_t{b.x} - a.x, dy = std::int64_t{b.y} - a.y;
    const std::uint64_t adx = static_cast<std::uint64_t>(dx < 0 ? -dx : dx);
    const std::uint64_t udy = static_cast<std::uint64_t>(dy);
    const std::int64_t s = dx < 0 ? -1 : 1;
    PixelSet out;
    if (udy >= adx) {
        for (int y = 0; y < h; ++y) {
            const std::int64_t k = y - std::int64_t{a.y};
            if (k < 0 || k > dy) continue;
            const std::uint64_t p = static_cast<std::uint64_t>(k) * adx;
            const std::int64_t step =
                dy == 0 ? 0 : static_cast<std::int64_t>(p / udy + (2 * (p % udy) >= udy));
            const std::int64_t x = a.x + s * step;
            if (x >= 0 && x < w) out.insert({static_cast<int>(x), y});
        }
    } else {
        for (int x = 0; x < w; ++x) {
            const std::int64_t k = (x - std::int64_t{a.x}) * s;
            if (k < 0 || static_cast<std::uint64_t>(k) > adx) continue;
            const std::uint64_t p = static_cast<std::uint64_t>(k) * udy;
            const std::int64_t y =
                a.y + static_cast<std::int64_t>(p / adx + (2 * (p % adx) >= adx + 1));
            if (y >= 0 && y < h) out.insert({x, static_cast<int>(y)});
        }
    }
    return out;
}

TEST(Line, RandomLinesGiveTheFormulaPixelsFromEitherEnd) {
    zumeld_test::TestRandom rng(0xb16);
    const std::int64_t extremes[] = {INT32_MIN, INT32_MIN + 1, -70000, -1, 0, 5, 40000, INT32_MAX};
    auto coordinate = [&](bool huge, int hi) {
        return LONG(!huge            ? rng.Range(-35, hi)
                    : rng.Chance(50) ? extremes[rng.Below(8)]
                                     : rng.Range(INT32_MIN, INT32_MAX));
    };
    for (int iter = 0; iter < 600; ++iter) {
        const bool huge = iter % 2 == 1;
        const int w = rng.Between(1, 48), h = rng.Between(1, 40);
        tagPOINT p[2];
        for (tagPOINT& q : p) q = {coordinate(huge, 95), coordinate(huge && rng.Chance(40), 80)};
        const PixelSet expected = FormulaPixels(p[0], p[1], w, h);
        ASSERT_EQ(Draw(w, h, p[0], p[1]), expected)
            << "seed " << rng.Seed() << " iteration " << iter << " (" << p[0].x << "," << p[0].y
            << ")-(" << p[1].x << "," << p[1].y << ") area " << w << "x" << h;
        ASSERT_EQ(Draw(w, h, p[1], p[0]), expected) << "reversed, iteration " << iter;
    }
    // Lines through the area from ends at the 32-bit extremes.
    const tagPOINT corners[][2] = {{{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}},
                                   {{INT32_MAX, INT32_MIN}, {INT32_MIN, INT32_MAX}},
                                   {{INT32_MIN, 7}, {INT32_MAX, 30}},
                                   {{5, INT32_MIN}, {40, INT32_MAX}}};
    for (const auto& c : corners) {
        const PixelSet expected = FormulaPixels(c[0], c[1], 48, 40);
        EXPECT_EQ(Draw(48, 40, c[0], c[1]), expected);
        EXPECT_EQ(Draw(48, 40, c[1], c[0]), expected);
    }
}

TEST(Line, MemberDrawsOnTheTargetWithinTheDisplayArea) {
    Zumeld::CCtrlElvMap map;
    Quobel::CControlBmp bmp;
    ASSERT_TRUE(bmp.CreateBitmap(16, 8, 32, 0, nullptr));
    bmp.ClearBuffer();
    map.SetExternalBmp(&bmp);
    map.m_nDisplayWidth = 10;
    map.m_nDisplayHeight = 8;
    map.DrawLineOnBitmapBuffer({-3, 2}, {30, 2}, 0x00112233);
    const PixelSurface s = Zumeld::SurfaceOf(&bmp);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(s.Pixel(x, 2)[0], x < 10 ? 0x11 : 0) << x;
    map.ElevationDataModified();  // display size -1: nothing drawn
    map.DrawLineOnBitmapBuffer({0, 5}, {9, 5}, 0xFFFFFF);
    EXPECT_EQ(s.Pixel(4, 5)[0], 0);
}

}  // namespace
