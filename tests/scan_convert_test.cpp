// Polygon scan conversion: worked examples, clipping and storage limits, and coverage laws
// checked on random rectangles and convex polygons.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
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

// ---- Worked examples on a 20 x 20 area ---------------------------------------------------------

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
        {"left of the area", Rect(-9, 2, -1, 5), {}},
        {"above the area", Rect(2, -9, 5, -1), {}},
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

// ---- Refusals: 0 and nothing written -------------------------------------------------------

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

// ---- Large areas and coordinates ---------------------------------------------------------------

TEST(ScanConvert, StoresColumnsAbove32767As32767AndRowsAsLow16Bits) {
    const auto spans = Convert(Rect(32000, 32766, 39000, 32769), 40000, 40000);
    ASSERT_EQ(spans.size(), 4u);
    const int rows[] = {32766, 32767, -32768, -32767};  // 32768 and 32769 wrap
    for (int i = 0; i < 4; ++i) EXPECT_EQ(spans[i], Span(rows[i], 32000, 32767));
}

// Rounded column of the edge (x0, y0)-(x1, y1) on row y: the exact crossing, halves away from
// the top end, computed in 128 bits.
std::int64_t ExactKey(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                      std::int64_t y) {
    if (y1 < y0) std::swap(x0, x1), std::swap(y0, y1);
    const __int128 dx = x1 - x0, dy = y1 - y0, k = y - y0;
    const __int128 adx = dx < 0 ? -dx : dx;
    const __int128 off = (2 * k * adx + dy) / (2 * dy);
    return static_cast<std::int64_t>(x0 + (dx < 0 ? -off : off));
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

// ---- Coverage laws --------------------------------------------------------------------------

using Coverage = std::map<std::pair<int, int>, int>;  // (x, y) -> times covered

Coverage CoverageOf(const std::vector<Span>& spans) {
    Coverage c;
    for (const auto& [y, l, r] : spans)
        for (int x = l; x <= r; ++x) ++c[{x, y}];
    return c;
}

std::set<std::pair<int, int>> PixelsOf(const std::vector<Span>& spans) {
    std::set<std::pair<int, int>> s;
    for (const auto& [y, l, r] : spans)
        for (int x = l; x <= r; ++x) s.insert({x, y});
    return s;
}

TEST(ScanConvert, AxisAlignedRectangleCoversItsClippedPixelsOnce) {
    zumeld_test::TestRandom rng(0x5ca11);
    for (int iter = 0; iter < 1000; ++iter) {
        const int w = static_cast<int>(rng.Range(1, 30)), h = static_cast<int>(rng.Range(1, 30));
        int x0 = static_cast<int>(rng.Range(-10, 40)), x1 = static_cast<int>(rng.Range(-10, 40));
        int y0 = static_cast<int>(rng.Range(-10, 40)), y1 = static_cast<int>(rng.Range(-10, 40));
        Points pts = Rect(x0, y0, x1, y1);
        std::rotate(pts.begin(), pts.begin() + rng.Below(4), pts.end());
        if (rng.Chance(50)) std::reverse(pts.begin(), pts.end());
        if (x0 > x1) std::swap(x0, x1);
        if (y0 > y1) std::swap(y0, y1);
        Coverage expected;
        if (y0 != y1)  // a rectangle of one row has only horizontal edges
            for (int y = std::max(y0, 0); y <= std::min(y1, h - 1); ++y)
                for (int x = std::max(x0, 0); x <= std::min(x1, w - 1); ++x) expected[{x, y}] = 1;
        ASSERT_EQ(CoverageOf(Convert(pts, w, h)), expected)
            << "seed " << rng.Seed() << " iteration " << iter;
    }
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
    for (int iter = 0; iter < 150; ++iter) {
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

// ---- Span order against a literal model of the algorithm ------------------------------------

// The conversion written out step by step with its error terms (modulus 2dy), selection sort,
// exchange sort and row loop, for small coordinates. Used to check the exact span order on
// random self-intersecting polygons with shallow edges and repeated points.
std::vector<Span> ModelSpans(const Points& pts, int w, int h, int maxLines) {
    struct E {
        std::int64_t tx, ty, bx, by;
        bool topTurns, bottomTurns, down, steep;
        std::int64_t s, q2, r2, mod, cx, cerr, rex, rerr, rsx;  // q2 = s*q, r2 = 2r, mod = 2dy
    };
    struct A {
        int e;
        std::int64_t key, rl, rr;
    };
    std::vector<Span> out;
    const int n = static_cast<int>(pts.size());
    std::vector<E> t;
    bool crossing = false, left = false, right = false;
    for (int i = 0; i < n; ++i) {
        const tagPOINT p0 = pts[i], p1 = pts[(i + 1) % n];
        if (p0.y == p1.y || (p0.y < 0 && p1.y < 0) || (p0.y >= h && p1.y >= h)) continue;
        if (p0.x < 0 && p1.x < 0)
            left = true;
        else if (p0.x >= w && p1.x >= w)
            right = true;
        else
            crossing = true;
        E e{};
        e.down = p1.y > p0.y;
        const tagPOINT tp = e.down ? p0 : p1, bp = e.down ? p1 : p0;
        e.tx = tp.x, e.ty = tp.y, e.bx = bp.x, e.by = bp.y;
        t.push_back(e);
    }
    if (t.empty() || (!crossing && !(left && right))) return out;
    const int m = static_cast<int>(t.size());
    for (int i = 0; i < m; ++i) {
        const bool prev = t[(i + m - 1) % m].down, next = t[(i + 1) % m].down;
        t[i].topTurns = t[i].down ? prev != t[i].down : next != t[i].down;
        t[i].bottomTurns = t[i].down ? next != t[i].down : prev != t[i].down;
    }
    for (int i = 0; i + 1 < m; ++i) {
        int c = i;
        for (int j = i + 1; j < m; ++j)
            if (t[j].ty <= t[c].ty) c = j;
        std::swap(t[i], t[c]);
    }
    const auto step = [](const E& e, std::int64_t& x, std::int64_t& err) {
        x += e.q2;
        err += e.r2;
        if (err >= e.mod) err -= e.mod, x += e.s;
    };
    const auto jump = [](const E& e, std::int64_t& x, std::int64_t& err, std::int64_t k) {
        const std::int64_t total = err + k * e.r2;
        x += k * e.q2 + e.s * (total / e.mod);
        err = total % e.mod;
    };
    for (E& e : t) {
        const std::int64_t dx = e.bx - e.tx, dy = e.by - e.ty, adx = dx < 0 ? -dx : dx;
        const std::int64_t q = adx / dy, r = adx % dy;
        e.s = dx >= 0 ? 1 : -1;
        e.steep = adx < dy + 1;
        e.q2 = e.s * q, e.r2 = 2 * r, e.mod = 2 * dy;
        e.cx = e.tx, e.cerr = dy;
        e.rex = e.tx + e.s * (q / 2), e.rerr = (q % 2 ? dy : 0) + r;
        e.rsx = e.tx;
        if (e.ty < 0) {
            const std::int64_t k = -e.ty;
            jump(e, e.cx, e.cerr, k);
            jump(e, e.rex, e.rerr, k - 1);
            e.rsx = e.rex + e.s;
            step(e, e.rex, e.rerr);
        }
    }
    std::vector<A> act;
    int next = 0;
    std::int64_t row = std::max<std::int64_t>(0, t[0].ty), minBottom = INT64_MAX;
    const auto pass = [&](const A& a) {
        const E& e = t[a.e];
        return (row == e.ty && !e.topTurns) || (row == e.by && !e.bottomTurns);
    };
    while (row < h) {
        for (; next < m && t[next].ty <= row; ++next) {
            act.push_back({next, 0, 0, 0});
            minBottom = std::min(minBottom, t[next].by);
        }
        if (act.empty()) break;
        const std::int64_t event = next < m ? t[next].ty : INT64_MAX;
        for (;;) {
            for (A& a : act) {
                E& e = t[a.e];
                a.key = e.cx;
                step(e, e.cx, e.cerr);
                if (e.steep) {
                    a.rl = a.rr = a.key;
                } else {
                    if (row == e.by) e.rex = e.bx;
                    a.rl = e.s > 0 ? e.rsx : e.rex;
                    a.rr = e.s > 0 ? e.rex : e.rsx;
                    e.rsx = e.rex + e.s;
                    step(e, e.rex, e.rerr);
                }
            }
            for (std::size_t i = 0; i + 1 < act.size(); ++i)
                for (std::size_t j = i + 1; j < act.size(); ++j)
                    if (act[i].key > act[j].key) std::swap(act[i], act[j]);
            bool inside = true, waiting = pass(act[0]);
            for (std::size_t k = 0; k + 1 < act.size(); ++k) {
                if (inside) {
                    const std::int64_t l = std::min(act[k].rl, act[k + 1].rl);
                    const std::int64_t r = std::max(act[k].rr, act[k + 1].rr);
                    if (l <= w - 1 && r >= 0) {
                        out.emplace_back(static_cast<int>(row),
                                         static_cast<int>(std::max<std::int64_t>(l, 0)),
                                         static_cast<int>(std::min<std::int64_t>(r, w - 1)));
                        if (static_cast<int>(out.size()) == maxLines) return out;
                    }
                }
                const bool p = pass(act[k + 1]);
                if (!(waiting && p)) inside = !inside;
                waiting = waiting != p;
            }
            if (++row >= h) return out;
            if (row > minBottom) {
                for (std::size_t i = 0; i < act.size();) {
                    if (t[act[i].e].by < row) {
                        act[i] = act.back();
                        act.pop_back();
                    } else {
                        ++i;
                    }
                }
                minBottom = INT64_MAX;
                for (const A& a : act) minBottom = std::min(minBottom, t[a.e].by);
            }
            if (row == event || act.empty()) break;
        }
    }
    return out;
}

TEST(ScanConvert, SpanOrderMatchesTheStepByStepModel) {
    zumeld_test::TestRandom rng(0x0de7);
    for (int iter = 0; iter < 4000; ++iter) {
        Points pts(static_cast<std::size_t>(rng.Range(2, 12)));
        for (tagPOINT& p : pts)
            p = {static_cast<LONG>(rng.Range(-15, 45)), static_cast<LONG>(rng.Range(-15, 45))};
        if (rng.Chance(20)) pts[rng.Below(static_cast<std::uint32_t>(pts.size()))] = pts[0];
        if (rng.Chance(20)) pts[1].y = pts[0].y;  // a horizontal edge
        const int w = static_cast<int>(rng.Range(1, 32)), h = static_cast<int>(rng.Range(1, 32));
        const int maxLines = rng.Chance(20) ? static_cast<int>(rng.Range(1, 20)) : 20000;
        ASSERT_EQ(Convert(pts, w, h, maxLines), ModelSpans(pts, w, h, maxLines))
            << "seed " << rng.Seed() << " iteration " << iter;
    }
}

// ---- The member reads the map's display size -----------------------------------------------

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
