// Line drawing: clipping, and random lines (small, clipped and near the 32-bit extremes)
// against the exact pixels of the rounding formula, drawn from either end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

#include "render_test_support.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/geometry/Line.h"

namespace {

using render_test::Texel;
using Zumeld::DrawLine;
using Zumeld::PixelSurface;
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
        const int w = static_cast<int>(rng.Range(1, 48)), h = static_cast<int>(rng.Range(1, 40));
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
