// Line drawing: worked examples, colour bytes, clipping to the display area and to the
// target, and laws over a few hundred random lines: argument order does not matter, a
// clipped line is the visible part of the whole line, and huge coordinates give the exact
// pixels of the rounding formula.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "render_test_support.h"
#include "test_random.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/geometry/Line.h"

namespace {

using Zumeld::DrawLine;
using Zumeld::PixelSurface;
using Pixel = std::pair<int, int>;
using PixelSet = std::set<Pixel>;

// The pixels not at the fill value 0 of a picture made with Target(w, h, bpp, 0).
PixelSet Drawn(render_test::Target& t) {
    PixelSet s;
    for (int y = 0; y < t.height; ++y)
        for (int x = 0; x < t.width; ++x)
            if (!(t.At(x, y) == render_test::Texel{0, 0, 0})) s.insert({x, y});
    return s;
}

PixelSet Draw(int w, int h, tagPOINT a, tagPOINT b, int clipW = -2, int clipH = -2) {
    render_test::Target t(w, h, 3, 0);
    DrawLine(t.surface, clipW == -2 ? w : clipW, clipH == -2 ? h : clipH, a, b, 0xFFFFFF);
    EXPECT_TRUE(t.OutsideUntouched()) << "write outside the picture";
    return Drawn(t);
}

struct LineCase {
    const char* name;
    tagPOINT a, b;
    PixelSet expected;
};

TEST(Line, WorkedExamplesOnA20By20Area) {
    PixelSet diagonal;
    for (int i = 0; i < 20; ++i) diagonal.insert({i, i});
    const LineCase cases[] = {
        {"shallow", {0, 0}, {4, 2}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
        {"shallow reversed", {4, 2}, {0, 0}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
        {"steep", {0, 0}, {2, 4}, {{0, 0}, {1, 1}, {1, 2}, {2, 3}, {2, 4}}},
        {"shallow, halves toward A", {0, 0}, {3, 1}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {"steep, halves away from A", {0, 0}, {1, 3}, {{0, 0}, {0, 1}, {1, 2}, {1, 3}}},
        {"single point", {5, 5}, {5, 5}, {{5, 5}}},
        {"single point outside", {25, 5}, {25, 5}, {}},
        {"through the whole area", {-40, -40}, {60, 60}, diagonal},
        {"both ends left", {-3, 0}, {-1, 19}, {}},
        {"both ends right", {20, 0}, {40, 19}, {}},
        {"both ends above", {0, -1}, {19, -9}, {}},
        {"both ends below", {0, 20}, {19, 21}, {}},
        {"past the top-left corner", {-5, 3}, {3, -5}, {}},
        {"past the bottom-right corner", {24, 16}, {16, 24}, {}},
        {"horizontal, clipped",
         {-5, 7},
         {30, 7},
         [] {
             PixelSet s;
             for (int x = 0; x < 20; ++x) s.insert({x, 7});
             return s;
         }()},
        {"vertical, clipped", {3, 25}, {3, 17}, {{3, 17}, {3, 18}, {3, 19}}},
    };
    for (const LineCase& c : cases) EXPECT_EQ(Draw(20, 20, c.a, c.b), c.expected) << c.name;
}

TEST(Line, EmptyDisplayAreaDrawsNothing) {
    for (int size : {0, -1}) {
        EXPECT_TRUE(Draw(20, 20, {0, 0}, {10, 10}, size, size).empty()) << size;
        EXPECT_TRUE(Draw(20, 20, {-5, 3}, {10, 3}, size, 20).empty()) << size;
        EXPECT_TRUE(Draw(20, 20, {3, -5}, {3, 10}, 20, size).empty()) << size;
    }
}

TEST(Line, WritesBlueGreenRedAndKeepsTheFourthByte) {
    render_test::Target t(8, 4, 4, 0);
    // COLORREF 0x00BBGGRR: red 0x33, green 0x22, blue 0x11.
    DrawLine(t.surface, 8, 4, {1, 2}, {6, 2}, 0x00112233);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(t.At(x, 2), (x >= 1 && x <= 6 ? render_test::Texel{0x11, 0x22, 0x33}
                                                : render_test::Texel{0, 0, 0}))
            << x;
    EXPECT_TRUE(t.OutsideUntouched());
}

TEST(Line, TargetSmallerThanTheDisplayAreaIsNotWrittenOutside) {
    // Display area 40 x 30 on a 10 x 6 picture: the picture's own size clips.
    PixelSet expected;
    for (int i = 0; i < 6; ++i) expected.insert({i, i});
    EXPECT_EQ(Draw(10, 6, {0, 0}, {39, 39}, 40, 30), expected);
    EXPECT_TRUE(Draw(10, 6, {12, 0}, {39, 29}, 40, 30).empty());
}

TEST(Line, SurfaceWithoutPixelsOrOfFewerThan24BitsDrawsNothing) {
    BYTE bytes[64] = {};
    const PixelSurface noPixels{nullptr, 16, 4, 4, 3};
    const PixelSurface eightBit{bytes + 48, -16, 4, 4, 1};
    DrawLine(noPixels, 4, 4, {0, 0}, {3, 3}, 0xFFFFFF);
    DrawLine(eightBit, 4, 4, {0, 0}, {3, 3}, 0xFFFFFF);
    EXPECT_TRUE(std::all_of(std::begin(bytes), std::end(bytes), [](BYTE b) { return b == 0; }));
}

tagPOINT RandomPoint(zumeld_test::TestRandom& rng, int lo, int hi) {
    return {static_cast<LONG>(rng.Range(lo, hi)), static_cast<LONG>(rng.Range(lo, hi))};
}

TEST(Line, SameSetFromEitherEnd) {
    zumeld_test::TestRandom rng(0x11e5);
    for (int iter = 0; iter < 500; ++iter) {
        const tagPOINT a = RandomPoint(rng, -30, 60), b = RandomPoint(rng, -30, 60);
        ASSERT_EQ(Draw(32, 24, a, b), Draw(32, 24, b, a))
            << "seed " << rng.Seed() << " iteration " << iter;
    }
}

TEST(Line, ClippedLineIsTheVisiblePartOfTheWholeLine) {
    // The whole line is drawn shifted into a large picture; shifting a line shifts its pixels.
    constexpr int kShift = 40, kBig = 140;
    zumeld_test::TestRandom rng(0xc11b);
    for (int iter = 0; iter < 500; ++iter) {
        const tagPOINT a = RandomPoint(rng, -35, 95), b = RandomPoint(rng, -35, 95);
        const int w = static_cast<int>(rng.Range(1, 40)), h = static_cast<int>(rng.Range(1, 40));
        PixelSet expected;
        for (const auto& [x, y] :
             Draw(kBig, kBig, {a.x + kShift, a.y + kShift}, {b.x + kShift, b.y + kShift}))
            if (x - kShift < w && y - kShift < h && x >= kShift && y >= kShift)
                expected.insert({x - kShift, y - kShift});
        ASSERT_EQ(Draw(w, h, a, b), expected)
            << "seed " << rng.Seed() << " iteration " << iter << " area " << w << "x" << h;
    }
}

// The pixels of the line from the rounding formula alone, inside w x h, in 128 bits: steep
// lines one per row at x = A.x + s floor((2k|dx| + dy) / (2dy)), shallow ones one per column
// at y = A.y + floor((2k dy + |dx| - 1) / (2|dx|)).
PixelSet FormulaPixels(tagPOINT p1, tagPOINT p2, int w, int h) {
    const tagPOINT a = p2.y < p1.y ? p2 : p1, b = p2.y < p1.y ? p1 : p2;
    const __int128 dx = __int128{b.x} - a.x, dy = __int128{b.y} - a.y;
    const __int128 adx = dx < 0 ? -dx : dx, s = dx < 0 ? -1 : 1;
    PixelSet out;
    if (dy >= adx) {
        for (int y = 0; y < h; ++y) {
            const __int128 k = y - __int128{a.y};
            if (k < 0 || k > dy) continue;
            const __int128 x = dy == 0 ? a.x : a.x + s * ((2 * k * adx + dy) / (2 * dy));
            if (x >= 0 && x < w) out.insert({static_cast<int>(x), y});
        }
    } else {
        for (int x = 0; x < w; ++x) {
            const __int128 k = (x - __int128{a.x}) * s;
            if (k < 0 || k > adx) continue;
            const __int128 y = a.y + (2 * k * dy + adx - 1) / (2 * adx);
            if (y >= 0 && y < h) out.insert({x, static_cast<int>(y)});
        }
    }
    return out;
}

TEST(Line, HugeCoordinatesGiveTheExactFormulaPixels) {
    zumeld_test::TestRandom rng(0xb16);
    const std::int64_t extremes[] = {INT32_MIN, INT32_MIN + 1, -70000, -1, 0, 5, 40000, INT32_MAX};
    for (int iter = 0; iter < 1000; ++iter) {
        tagPOINT p[2];
        for (tagPOINT& q : p) {
            const bool wide = rng.Chance(60);
            q.x =
                static_cast<LONG>(wide ? extremes[rng.Below(8)] : rng.Range(INT32_MIN, INT32_MAX));
            q.y = static_cast<LONG>(rng.Chance(50) ? extremes[rng.Below(8)] : rng.Range(-40, 80));
        }
        if (rng.Chance(30)) p[1].y = static_cast<LONG>(rng.Range(INT32_MIN, INT32_MAX));
        ASSERT_EQ(Draw(48, 40, p[0], p[1]), FormulaPixels(p[0], p[1], 48, 40))
            << "seed " << rng.Seed() << " iteration " << iter << " (" << p[0].x << "," << p[0].y
            << ")-(" << p[1].x << "," << p[1].y << ")";
    }
    // Lines through the area from ends near the 32-bit extremes.
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
    for (int x = 0; x < 16; ++x) {
        const BYTE* p = s.Pixel(x, 2);
        EXPECT_EQ(p[0], x < 10 ? 0x11 : 0) << x;
        EXPECT_EQ(p[2], x < 10 ? 0x33 : 0) << x;
        EXPECT_EQ(p[3], 0) << x;
    }
    map.ElevationDataModified();  // display size -1: nothing drawn
    map.DrawLineOnBitmapBuffer({0, 5}, {9, 5}, 0xFFFFFF);
    EXPECT_EQ(s.Pixel(4, 5)[0], 0);
}

}  // namespace
