// The span renderer kernel: set-up numbers, every pixel formula on hand-worked values,
// tiling, clipping, span order, and the calls that must draw nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "render_test_support.h"
#include "test_random.h"
#include "zumeld/render/SpanRenderer.h"

namespace {

using namespace render_test;
using Zumeld::MakeSpanParams;
using Zumeld::MakeTextureOrigin;
using Zumeld::PlanesOf;
using Zumeld::RenderSpans;
using Zumeld::SpanParams;
using Zumeld::SpanSetup;
using Zumeld::tagHorzLine;

constexpr Texel kSea{11, 22, 33};

SpanSetup BaseSetup(double scale = 1.0) {
    SpanSetup s;
    s.scale = scale;
    s.mapHeight = 100;
    s.reliefLevel = 1;
    s.texture = true;
    return s;
}

// Draws the single pixel of a 1 x 1 display whose cell is e and whose margin cells (the
// shading neighbours) are `neighbour`.
Texel RenderOne(const tagTEXTURE_SLOT& slot, const SpanSetup& setup, short e, short neighbour,
                int bpp = 3) {
    Grid grid(1, 1, neighbour);
    grid.at(0, 0) = e;
    Target target(1, 1, bpp);
    const tagHorzLine line{0, 0, 0};
    RenderSpans(grid.view, PlanesOf(slot), MakeSpanParams(setup, slot), &line, 1, target.surface);
    EXPECT_TRUE(target.OutsideUntouched());
    return target.At(0, 0);
}

// ---- Set-up ------------------------------------------------------------------------------------

TEST(SpanRendererSetup, ShadingDistanceAndGain) {
    struct {
        double scale;
        int relief;
        int d, g;
    } cases[] = {
        {1.0, 1, 1, 768},   {0.5, 1, 1, 384},   {0.3, 7, 1, 32},   // 230.4 / 7 = 32.9
        {2.5, 1, 2, 960},   {2.5, 3, 2, 320},   {3.0, 2, 3, 384},  // 2.5 / 2 x 768 = 960
        {1.0, 0, 1, 768},   {1.0, -4, 1, 768},  // a relief level below 1 acts as 1
        {1.75, 1, 1, 1344}, {0.999, 2, 1, 383},
    };
    const tagTEXTURE_SLOT slot = UniformSlot({}, {}, {});
    for (const auto& c : cases) {
        SpanSetup s = BaseSetup(c.scale);
        s.reliefLevel = c.relief;
        s.shade = true;
        const SpanParams p = MakeSpanParams(s, slot);
        EXPECT_EQ(p.shadeDistance, c.d) << c.scale << " relief " << c.relief;
        EXPECT_EQ(p.shadeGain, c.g) << c.scale << " relief " << c.relief;
        s.shade = false;
        EXPECT_EQ(MakeSpanParams(s, slot).shadeDistance, 0);
    }
}

TEST(SpanRendererSetup, BlendFactor) {
    struct {
        int blend, k;
    } cases[] = {{2000, 4194}, {1, 32767}, {256, 32767}, {257, 32640}, {0, 32767}, {-9, 32767}};
    for (const auto& c : cases) {
        const tagTEXTURE_SLOT slot = UniformSlot({}, {}, {}, c.blend);
        EXPECT_EQ(MakeSpanParams(BaseSetup(), slot).blendK, c.k) << c.blend;
    }
}

TEST(SpanRendererSetup, FadeLineBaseAndStep) {
    struct {
        int top, bottom, mapHeight, stretchTop;
        double scale;
        long long base, step;
    } cases[] = {
        {2000, 2000, 768, 0, 1.0, 2000 * 4096LL, 0},
        {1000, 2000, 1000, 0, 1.0, 1000 * 4096LL, 4096},
        // -100000 / 768 = -130.2 truncates to -130; -1000 / 768 / 2.5 x 4096 = -2133.3.
        {2000, 1000, 768, 100, 2.5, 1870 * 4096LL, -2133},
        // The difference is divided in double: 1 / 3 x 4096 = 1365.3, not 0.
        {5, 6, 3, 0, 1.0, 5 * 4096LL, 1365},
        // 7 x 2 / 3 = 4 (integer division), step 7 / 3 / 0.5 x 4096 = 19114.6.
        {10, 17, 3, 2, 0.5, 14 * 4096LL, 19114},
    };
    for (const auto& c : cases) {
        const tagTEXTURE_SLOT slot = UniformSlot({}, {}, {}, 2000, c.top, c.bottom);
        SpanSetup s = BaseSetup(c.scale);
        s.mapHeight = c.mapHeight;
        s.stretchTop = c.stretchTop;
        const SpanParams p = MakeSpanParams(s, slot);
        EXPECT_EQ(p.fadeBase, c.base) << c.top << "->" << c.bottom;
        EXPECT_EQ(p.fadeStep, c.step) << c.top << "->" << c.bottom;
    }
}

TEST(SpanRendererSetup, TextureOrigin) {
    struct {
        double scale;
        int left, top, rowBytes, planeSize, u0, row0;
    } cases[] = {
        {1.0, 61, 125, 240, 14400, 4, 5},     // 244 mod 240; 125 mod 60
        {2.5, 7, 3, 240, 14400, 68, 7},       // trunc(17.5) = 17 texels; trunc(7.5) = 7
        {0.5, 121, 121, 240, 14400, 0, 0},    // trunc(60.5) = 60 texels: back to 0
        {1.0, -1, -61, 240, 14400, 236, 59},  // a negative position still lands inside
        {1.0, 5, 5, 4, 4, 0, 0},              // a flat colour: one texel
    };
    for (const auto& c : cases) {
        const auto o = MakeTextureOrigin(c.scale, c.left, c.top, c.rowBytes, c.planeSize);
        EXPECT_EQ(o.u0, c.u0) << c.scale << " " << c.left;
        EXPECT_EQ(o.row0, c.row0) << c.scale << " " << c.top;
    }
}

TEST(SpanRendererSetup, FlatColourAddressesOneTexel) {
    const tagTEXTURE_SLOT slot = UniformSlot({}, {}, {}, 2000, 2000, 2000, 60, 60);
    SpanSetup s = BaseSetup(1.0);
    s.stretchLeft = 17;
    s.stretchTop = 33;
    s.texture = false;
    const SpanParams p = MakeSpanParams(s, slot);
    EXPECT_EQ(p.rowBytes, 4);
    EXPECT_EQ(p.planeSize, 4);
    EXPECT_EQ(p.origin.u0, 0);
    EXPECT_EQ(p.origin.row0, 0);
}

// ---- Pixel formulas ----------------------------------------------------------------------------

TEST(SpanRendererPixel, WhiteFlatColour) {
    // Land below the fade line, no shading, no texture: the flat texel mixed with itself.
    const tagTEXTURE_SLOT slot = UniformSlot({}, {}, kSea, 2000, 30000, 30000);
    struct {
        bool paint;
        BYTE expect;
    } cases[] = {{false, 254}, {true, 255}};
    for (const auto& c : cases) {
        SpanSetup s = BaseSetup();
        s.texture = false;
        s.color = 0x00FFFFFF;
        s.paint = c.paint;
        for (int bpp : {3, 4})
            EXPECT_EQ(RenderOne(slot, s, 100, 100, bpp), (Texel{c.expect, c.expect, c.expect}))
                << "paint " << c.paint << " bpp " << bpp;
    }
}

TEST(SpanRendererPixel, EveryToneOn255And100) {
    // The flat path (paint, no texture, no shading) shows the tone on the colour itself.
    struct {
        int tone, p, expect;
    } cases[] = {
        {0, 255, 255}, {1, 255, 128}, {2, 255, 192}, {3, 255, 255},
        {4, 255, 255}, {0, 100, 100}, {1, 100, 50},  {2, 100, 75},
        {3, 100, 150}, {4, 100, 125}, {5, 100, 100}, {-1, 100, 100},  // other tones act as 0
    };
    const tagTEXTURE_SLOT slot = UniformSlot({}, {}, kSea);
    for (const auto& c : cases) {
        SpanSetup s = BaseSetup();
        s.texture = false;
        s.paint = true;
        s.tone = c.tone;
        s.color = static_cast<COLORREF>(c.p * 0x010101);
        const BYTE e = static_cast<BYTE>(c.expect);
        EXPECT_EQ(RenderOne(slot, s, 0, 0), (Texel{e, e, e})) << "tone " << c.tone << " on " << c.p;
        EXPECT_EQ(Zumeld::ApplyTone(c.tone, c.p), c.expect);
    }
}

TEST(SpanRendererPixel, ToneOnTexturedLand) {
    // Texel 200 mixed at t = 0 (elevation 1 with k = 4194): 200 x 255 >> 8 = 199.
    const tagTEXTURE_SLOT slot = UniformSlot({200, 200, 200}, {0, 0, 0}, kSea, 2000, 30000, 30000);
    struct {
        int tone;
        BYTE expect;
    } cases[] = {{0, 199}, {1, 100}, {2, 150}, {3, 255}, {4, 249}};
    for (const auto& c : cases) {
        SpanSetup s = BaseSetup();
        s.tone = c.tone;
        EXPECT_EQ(RenderOne(slot, s, 1, 1), (Texel{c.expect, c.expect, c.expect})) << c.tone;
    }
}

TEST(SpanRendererPixel, MixingWeightsWithDefaultParameters) {
    // k = 8388608 / 2000 = 4194; t = min(255, e x 4194 >> 15). Low 200/10/60, high 100/250/0.
    const tagTEXTURE_SLOT slot =
        UniformSlot({200, 10, 60}, {100, 250, 0}, kSea, 2000, 30000, 30000);
    struct {
        short e;
        int t;
    } cases[] = {{1000, 127}, {2000, 255}, {5000, 255}, {1, 0}, {8, 1}};
    for (const auto& c : cases) {
        auto mix = [&](int lo, int hi) {
            return static_cast<BYTE>((lo * (255 - c.t) + hi * c.t) / 256);
        };
        const Texel expect{mix(200, 100), mix(10, 250), mix(60, 0)};
        EXPECT_EQ(RenderOne(slot, BaseSetup(), c.e, c.e), expect) << "e " << c.e;
    }
    // Hand-worked: t = 127 gives (200 x 128 + 100 x 127) / 256 = 149; t = 255 gives 99.
    EXPECT_EQ(RenderOne(slot, BaseSetup(), 1000, 1000).b, 149);
    EXPECT_EQ(RenderOne(slot, BaseSetup(), 2000, 2000).b, 99);
}

TEST(SpanRendererPixel, FadingTowardGrey) {
    // Fade line flat at 1000; the flat white texel gives q = 254 before fading.
    const tagTEXTURE_SLOT slot = UniformSlot({}, {}, kSea, 2000, 1000, 1000);
    struct {
        short e;
        BYTE expect;
    } cases[] = {
        {999, 254},   // below the line: untouched
        {1000, 253},  // f = 0 still applies: 254 x 255 >> 8
        {1002, 252},  // f = 1: (254 x 254 + 160) >> 8 = 252.6
        {1200, 216},  // f = 100: (254 x 155 + 16000) >> 8 = 216.3
        {1509, 159},  // f = 254
        {1510, 159},  // f = 255: 160 x 255 >> 8
        {30000, 159},
    };
    for (const auto& c : cases) {
        SpanSetup s = BaseSetup();
        s.texture = false;
        s.color = 0x00FFFFFF;
        const int f = c.e < 1000 ? -1 : std::min(255, (c.e - 1000) / 2);
        const int q = f < 0 ? 254 : (254 * (255 - f) + 160 * f) / 256;
        const BYTE e = static_cast<BYTE>(q);
        EXPECT_EQ(RenderOne(slot, s, c.e, c.e), (Texel{e, e, e})) << "e " << c.e;
        EXPECT_EQ(q, c.expect) << "e " << c.e;
    }
}

TEST(SpanRendererPixel, FadeLineFollowsTheRows) {
    // Line from 1000 at map row 0 to 2000 at row 1000, scale 1, shown from map row 0:
    // display row y has L = 1000 + y. Elevation 1003 fades on rows 0..3 only.
    const tagTEXTURE_SLOT slot = UniformSlot({}, {}, kSea, 2000, 1000, 2000);
    Grid grid(1, 8, 1003);
    Target target(1, 8, 3);
    SpanSetup s = BaseSetup();
    s.mapHeight = 1000;
    s.texture = false;
    s.color = 0x00FFFFFF;
    std::vector<tagHorzLine> lines;
    for (short y = 0; y < 8; ++y) lines.push_back({y, 0, 0});
    RenderSpans(grid.view, PlanesOf(slot), MakeSpanParams(s, slot), lines.data(), 8,
                target.surface);
    for (int y = 0; y < 8; ++y) {
        const int f = y <= 3 ? (1003 - 1000 - y) / 2 : -1;
        const int q = f < 0 ? 254 : (254 * (255 - f) + 160 * f) / 256;
        EXPECT_EQ(target.At(0, y).g, q) << "row " << y;
    }
}

TEST(SpanRendererPixel, EveryShadingStepAtScaleOne) {
    // Colour 129 gives q = 129 x 255 >> 8 = 128. Scale 1, relief 1: d = 1, g = 768, so
    // h = floor(3 x delta / 8) clamped to -128..127, and q becomes min(255, 128 + h).
    const tagTEXTURE_SLOT slot = UniformSlot({}, {}, kSea, 2000, 30000, 30000);
    SpanSetup s = BaseSetup();
    s.texture = false;
    s.shade = true;
    s.color = 0x00818181;
    const short e = 1000;
    for (int delta = -400; delta <= 400; ++delta) {
        const int h = std::clamp(static_cast<int>(std::floor(3.0 * delta / 8.0)), -128, 127);
        const BYTE q = static_cast<BYTE>(std::min(255, 128 + h));
        ASSERT_EQ(RenderOne(slot, s, e, static_cast<short>(e + delta)), (Texel{q, q, q}))
            << "delta " << delta;
    }
    // Hand-worked: +1, +2 leave 128; +3 gives 129; -1, -2 give 127; -3 gives 126.
    struct {
        int delta;
        BYTE q;
    } hand[] = {{0, 128}, {1, 128}, {2, 128}, {3, 129}, {-1, 127}, {-2, 127}, {-3, 126}};
    for (const auto& c : hand)
        EXPECT_EQ(RenderOne(slot, s, e, static_cast<short>(e + c.delta)).r, c.q) << c.delta;
}

TEST(SpanRendererPixel, SeaAndPaint) {
    // Sea texel 11/22/33 at (0, 0); land low 200/100/50, high 0.
    const tagTEXTURE_SLOT slot = UniformSlot({200, 100, 50}, {0, 0, 0}, kSea, 2000, 30000, 30000);
    struct {
        bool paint, texture, shade;
        int tone;
        Texel expect;
    } cases[] = {
        {false, true, false, 0, kSea},
        {false, true, true, 1, kSea},           // no tone or shading on sea
        {false, false, false, 2, kSea},         // flat colour: still the sea texel
        {true, true, false, 0, {199, 99, 49}},  // drawn as land with t = 0: the low texture
        {true, true, false, 1, {100, 50, 25}},
    };
    for (const auto& c : cases) {
        SpanSetup s = BaseSetup();
        s.paint = c.paint;
        s.texture = c.texture;
        s.shade = c.shade;
        s.tone = c.tone;
        s.color = 0x00402010;
        EXPECT_EQ(RenderOne(slot, s, 0, 500), c.expect) << "paint " << c.paint;
    }
}

TEST(SpanRendererPixel, NegativeElevationsAreSea) {
    const tagTEXTURE_SLOT slot = UniformSlot({}, {}, kSea, 2000, 30000, 30000);
    SpanSetup s = BaseSetup();
    s.texture = false;
    s.shade = true;
    s.color = 0x00818181;
    for (short e : {short(-1), short(-32768)}) EXPECT_EQ(RenderOne(slot, s, e, 100), kSea) << e;
    // As a neighbour: 100 against -5 (read as 0) is delta -100, h = floor(-37.5) = -38.
    EXPECT_EQ(RenderOne(slot, s, 100, -5), (Texel{90, 90, 90}));
    EXPECT_EQ(RenderOne(slot, s, 100, 0), (Texel{90, 90, 90}));
}

TEST(SpanRendererPixel, FourthByteKept) {
    const tagTEXTURE_SLOT slot = UniformSlot({200, 100, 50}, {0, 9, 250}, kSea, 2000, 10, 10);
    Grid grid(6, 2, 0);
    const short cells[] = {0, 5, 500, 3000, -4, 32767};
    for (int x = 0; x < 6; ++x) grid.at(x, 0) = grid.at(x, 1) = cells[x];
    for (int variant = 0; variant < 4; ++variant) {
        SpanSetup s = BaseSetup();
        s.shade = variant & 1;
        s.texture = variant != 2;
        s.paint = variant >= 2;
        Target target(6, 2, 4);
        const tagHorzLine lines[] = {{0, 0, 5}, {1, 0, 5}};
        RenderSpans(grid.view, PlanesOf(slot), MakeSpanParams(s, slot), lines, 2, target.surface);
        EXPECT_TRUE(target.OutsideUntouched()) << "variant " << variant;
        EXPECT_NE(target.At(3, 0), (Texel{0x11, 0x11, 0x11})) << "drawn, variant " << variant;
    }
}

TEST(SpanRendererPixel, ThirtyTwoAndTwentyFourBitsAgree) {
    zumeld_test::TestRandom rnd(20261206);
    const tagTEXTURE_SLOT slot = MakeSlot(
        7, 5,
        [](int x, int y) {
            return Texel{BYTE(x * 30), BYTE(y * 40), BYTE(x + y)};
        },
        [](int x, int y) {
            return Texel{BYTE(255 - x), BYTE(y * 9), BYTE(x * y * 7)};
        },
        [](int x, int y) {
            return Texel{BYTE(x), BYTE(y), BYTE(99)};
        },
        700, 900, 1500);
    Grid grid(23, 9, 0, 3, 3);
    for (short& c : grid.cells) c = static_cast<short>(rnd.Range(-50, 2500));
    SpanSetup s = BaseSetup(2.5);
    s.shade = true;
    s.stretchLeft = 3;
    s.stretchTop = 9;
    Target t3(23, 9, 3), t4(23, 9, 4);
    std::vector<tagHorzLine> lines;
    for (short y = 0; y < 9; ++y) lines.push_back({y, 0, 22});
    const SpanParams p = MakeSpanParams(s, slot);
    RenderSpans(grid.view, PlanesOf(slot), p, lines.data(), 9, t3.surface);
    RenderSpans(grid.view, PlanesOf(slot), p, lines.data(), 9, t4.surface);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 23; ++x) ASSERT_EQ(t3.At(x, y), t4.At(x, y)) << x << "," << y;
    EXPECT_TRUE(t3.OutsideUntouched());
    EXPECT_TRUE(t4.OutsideUntouched());
}

// ---- Tiling ------------------------------------------------------------------------------------

// A slot whose every texel is distinct: low (x, y) = (x, y, 7), sea (x, y) = (x, y, 8).
tagTEXTURE_SLOT DistinctSlot(int w, int h) {
    return MakeSlot(
        w, h,
        [](int x, int y) {
            return Texel{BYTE(x), BYTE(y), 7};
        },
        [](int, int) {
            return Texel{0, 0, 0};
        },
        [](int x, int y) {
            return Texel{BYTE(x), BYTE(y), 8};
        },
        30000, 30000, 30000);
}

TEST(SpanRendererTiling, PixelsTakeTheTexelOfTheirDisplayPosition) {
    // Land at elevation 1 (t = 0) shows the low texel at ((u0 + x) mod w, (row0 + y) mod h);
    // sea shows the sea texel at the same place. Flat ground, no shading.
    const int w = 5, h = 3;
    const tagTEXTURE_SLOT slot = DistinctSlot(w, h);
    Grid grid(12, 7, 1);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 12; ++x) grid.at(x, y) = (x + y) % 3 == 0 ? 0 : 1;
    SpanSetup s = BaseSetup(1.0);
    s.stretchLeft = 7;  // u0 = 2 texels
    s.stretchTop = 4;   // row0 = 1
    Target target(12, 7, 3);
    std::vector<tagHorzLine> lines;
    for (short y = 0; y < 7; ++y) lines.push_back({y, 0, 11});
    RenderSpans(grid.view, PlanesOf(slot), MakeSpanParams(s, slot), lines.data(), 7,
                target.surface);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 12; ++x) {
            const int tx = (2 + x) % w, ty = (1 + y) % h;
            const bool sea = grid.at(x, y) == 0;
            // Land texel value v mixed at t = 0 is v x 255 >> 8.
            const Texel expect = sea ? Texel{BYTE(tx), BYTE(ty), 8}
                                     : Texel{BYTE(tx * 255 / 256), BYTE(ty * 255 / 256), 6};
            ASSERT_EQ(target.At(x, y), expect) << x << "," << y;
        }
}

TEST(SpanRendererTiling, TextureStaysOnTheGroundWhenPanningByWholeCells) {
    // A map of distinct flat land; the same map cell must get the same texel after a pan.
    const tagTEXTURE_SLOT slot = DistinctSlot(60, 60);
    struct {
        double scale;
        int fromLeft, toLeft, fromTop, toTop, shiftX, shiftY;
    } cases[] = {
        {1.0, 10, 13, 20, 21, 3, 1},
        {2.0, 4, 5, 7, 9, 2, 4},
        {2.5, 10, 12, 4, 6, 5, 5},
    };
    for (const auto& c : cases) {
        Grid grid(40, 30, 1, 3, 3);
        auto render = [&](int left, int top) {
            SpanSetup s = BaseSetup(c.scale);
            s.stretchLeft = left;
            s.stretchTop = top;
            Target t(40, 30, 3);
            std::vector<tagHorzLine> lines;
            for (short y = 0; y < 30; ++y) lines.push_back({y, 0, 39});
            RenderSpans(grid.view, PlanesOf(slot), MakeSpanParams(s, slot), lines.data(), 30,
                        t.surface);
            return t;
        };
        Target a = render(c.fromLeft, c.fromTop), b = render(c.toLeft, c.toTop);
        for (int y = 0; y + c.shiftY < 30; ++y)
            for (int x = 0; x + c.shiftX < 40; ++x)
                ASSERT_EQ(b.At(x, y), a.At(x + c.shiftX, y + c.shiftY))
                    << "scale " << c.scale << " at " << x << "," << y;
    }
}

// ---- Spans: order, clipping, refusals
// ------------------------------------------------------------

TEST(SpanRendererSpans, AnyRowOrderDrawsEachSpanOnItsOwnRow) {
    // Texture rows differ and the fade line moves per row: a span drawn with another row's
    // texture row or fade line would differ from the expected texel.
    const int w = 4, h = 5;
    const tagTEXTURE_SLOT slot = MakeSlot(
        w, h,
        [](int x, int y) {
            return Texel{BYTE(10 * x), BYTE(20 * y), 7};
        },
        [](int, int) {
            return Texel{0, 0, 0};
        },
        [](int, int) { return kSea; }, 30000, 1, 30001);
    // Fade line L = 1 + y x 30000 / 100 = 1 + 300 y (mapHeight 100, scale 1, step 1228800).
    Grid grid(6, 9, 600);
    SpanSetup s = BaseSetup(1.0);
    s.stretchTop = 0;
    const SpanParams p = MakeSpanParams(s, slot);
    const tagHorzLine lines[] = {{7, 1, 4}, {2, 0, 5}, {5, 2, 2}, {2, 3, 3}, {0, 0, 0}};
    Target target(6, 9, 3);
    RenderSpans(grid.view, PlanesOf(slot), p, lines, 5, target.surface);
    auto expected = [&](int x, int y) {
        const int lo[3] = {10 * (x % w), 20 * (y % h), 7};
        const long long line = (p.fadeBase + p.fadeStep * y) >> 12;
        Texel t;
        BYTE* out[3] = {&t.b, &t.g, &t.r};
        for (int ch = 0; ch < 3; ++ch) {
            int q = (lo[ch] * (255 - 5) + 0 * 5) / 256;  // t = 600 x 279 >> 15 = 5
            if (600 >= line) {
                const int f = static_cast<int>(std::min<long long>(255, (600 - line) / 2));
                q = (q * (255 - f) + 160 * f) / 256;
            }
            *out[ch] = static_cast<BYTE>(q);
        }
        return t;
    };
    EXPECT_EQ(p.blendK, 279);  // 8388608 / 30000
    for (const auto& l : lines)
        for (int x = l.left; x <= l.right; ++x)
            EXPECT_EQ(target.At(x, l.y), expected(x, l.y)) << x << "," << l.y;
    EXPECT_EQ(target.At(0, 1), (Texel{0x11, 0x11, 0x11}));  // rows without spans untouched
    EXPECT_TRUE(target.OutsideUntouched());
}

TEST(SpanRendererSpans, ClippedToDisplayAndTarget) {
    const tagTEXTURE_SLOT slot = UniformSlot({200, 200, 200}, {0, 0, 0}, kSea, 30000, 30000, 30000);
    struct {
        int displayW, displayH, targetW, targetH;
        tagHorzLine line;
        int drawnLeft, drawnRight;  // -1: nothing
    } cases[] = {
        {8, 6, 8, 6, {-1, 0, 7}, -1, -1},   // row above
        {8, 6, 8, 6, {6, 0, 7}, -1, -1},    // row below the display
        {8, 6, 8, 4, {4, 0, 7}, -1, -1},    // row below the target
        {8, 6, 8, 6, {2, -5, 3}, 0, 3},     // left cut
        {8, 6, 8, 6, {2, 5, 100}, 5, 7},    // right cut at the display
        {8, 6, 5, 6, {2, 3, 7}, 3, 4},      // right cut at the target
        {8, 6, 8, 6, {2, 6, 2}, -1, -1},    // left > right
        {8, 6, 8, 6, {2, -9, -1}, -1, -1},  // wholly left
        {8, 6, 8, 6, {2, 8, 12}, -1, -1},   // wholly right
        {8, 6, 8, 6, {2, -32768, 32767}, 0, 7}, {1, 1, 1, 1, {0, 0, 0}, 0, 0},
    };
    for (const auto& c : cases) {
        for (int bpp : {3, 4}) {
            Grid grid(c.displayW, c.displayH, 1);
            Target target(c.targetW, c.targetH, bpp);
            for (bool flat : {false, true}) {
                SpanSetup s = BaseSetup();
                s.texture = !flat;
                s.paint = flat;
                s.color = 0x00C7C7C7;
                RenderSpans(grid.view, PlanesOf(slot), MakeSpanParams(s, slot), &c.line, 1,
                            target.surface);
                EXPECT_TRUE(target.OutsideUntouched());
                const int y = c.line.y;
                for (int x = 0; x < c.targetW && y >= 0 && y < c.targetH; ++x) {
                    const bool drawn = x >= c.drawnLeft && x <= c.drawnRight && c.drawnLeft >= 0;
                    EXPECT_EQ(target.At(x, y),
                              (drawn ? Texel{199, 199, 199} : Texel{0x11, 0x11, 0x11}))
                        << "line " << c.line.y << ":" << c.line.left << ".." << c.line.right
                        << " x " << x << " flat " << flat;
                }
            }
        }
    }
}

TEST(SpanRendererSpans, ShadingNeighbourStaysInsideTheGrid) {
    // Scale 3 gives d = 3 but the grid has one margin row and column: the neighbour of
    // (x, y) is read at (min(x + 3, 4), min(y + 3, 3)).
    const tagTEXTURE_SLOT slot = UniformSlot({}, {}, kSea, 30000, 30000, 30000);
    Grid grid(4, 3, 0, 1, 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) grid.at(x, y) = static_cast<short>(100 + 10 * x + 100 * y);
    SpanSetup s = BaseSetup(3.0);
    s.texture = false;
    s.shade = true;
    s.color = 0x00818181;
    const SpanParams p = MakeSpanParams(s, slot);
    ASSERT_EQ(p.shadeDistance, 3);
    ASSERT_EQ(p.shadeGain, 768);
    Target target(4, 3, 3);
    const tagHorzLine lines[] = {{0, 0, 3}, {1, 0, 3}, {2, 0, 3}};
    RenderSpans(grid.view, PlanesOf(slot), p, lines, 3, target.surface);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const int delta = grid.at(std::min(x + 3, 4), std::min(y + 3, 3)) - grid.at(x, y);
            const int h = std::clamp(static_cast<int>(std::floor(delta * 768 / 2048.0)), -128, 127);
            EXPECT_EQ(target.At(x, y).g, std::min(255, 128 + h)) << x << "," << y;
        }
    EXPECT_TRUE(target.OutsideUntouched());
}

TEST(SpanRendererSpans, NothingDrawnWhenAnInputIsMissing) {
    const tagTEXTURE_SLOT slot = UniformSlot({200, 200, 200}, {0, 0, 0}, kSea);
    tagTEXTURE_SLOT noPixels = slot;
    noPixels.pLandPixels.reset();
    noPixels.pSeaPixels = nullptr;
    tagTEXTURE_SLOT zeroSize = slot;
    zeroSize.nWidth = 0;
    zeroSize.nRowBytes = 0;
    zeroSize.nPlaneSize = 0;
    const tagHorzLine line{0, 0, 3};
    enum What {
        kNone,
        kWidth0,
        kHeightNeg,
        kLines0,
        kLinesNull,
        kNoPixels,
        kZeroSlot,
        kMap0,
        kScale0,
        kScaleNaN,
        kTarget8,
        kTargetNull
    };
    for (int what = kNone; what <= kTargetNull; ++what) {
        Grid grid(4, 2, 500);
        if (what == kWidth0) grid.view.width = 0;
        if (what == kHeightNeg) grid.view.height = -1;
        Target target(4, 2, 3);
        Zumeld::PixelSurface surface = target.surface;
        if (what == kTarget8) surface.bytesPerPixel = 1;
        if (what == kTargetNull) surface.topRow = nullptr;
        SpanSetup s = BaseSetup();
        if (what == kMap0) s.mapHeight = 0;
        if (what == kScale0) s.scale = 0.0;
        if (what == kScaleNaN) s.scale = std::numeric_limits<double>::quiet_NaN();
        const tagTEXTURE_SLOT& used = what == kNoPixels   ? noPixels
                                      : what == kZeroSlot ? zeroSize
                                                          : slot;
        RenderSpans(grid.view, PlanesOf(used), MakeSpanParams(s, used),
                    what == kLinesNull ? nullptr : &line, what == kLines0 ? 0 : 1, surface);
        EXPECT_TRUE(target.OutsideUntouched());
        EXPECT_EQ(target.At(1, 0) == (Texel{0x11, 0x11, 0x11}), what != kNone) << "case " << what;
    }
}

// ---- Packed loop against the reference
// -----------------------------------------------------------

TEST(SpanRendererPacked, SameBytesAsTheReferenceOnRandomInputs) {
    zumeld_test::TestRandom rnd(0x5EED2026);
    const short edges[] = {-32768, -1, 0, 1, 2, 32767, 32766, 1000, 2000};
    const double scales[] = {1.0, 2.5, 0.5, 3.0, 0.37, 1.75, 4.0};
    for (int n = 0; n < 1500; ++n) {
        const int tw = 1 + static_cast<int>(rnd.Below(9)), th = 1 + static_cast<int>(rnd.Below(9));
        const tagTEXTURE_SLOT slot = MakeSlot(
            tw, th,
            [&](int, int) {
                return Texel{BYTE(rnd.Below(256)), BYTE(rnd.Below(256)), BYTE(rnd.Below(256))};
            },
            [&](int, int) {
                return Texel{BYTE(rnd.Below(256)), BYTE(rnd.Below(256)), BYTE(rnd.Below(256))};
            },
            [&](int, int) {
                return Texel{BYTE(rnd.Below(256)), BYTE(rnd.Below(256)), BYTE(rnd.Below(256))};
            },
            static_cast<int>(rnd.Range(1, 5000)), static_cast<int>(rnd.Range(1, 4000)),
            static_cast<int>(rnd.Range(1, 4000)));
        const int w = 1 + static_cast<int>(rnd.Below(30)), h = 1 + static_cast<int>(rnd.Below(12));
        Grid grid(w, h, 0, 1 + static_cast<int>(rnd.Below(4)), 1 + static_cast<int>(rnd.Below(4)));
        for (short& c : grid.cells)
            c = rnd.Chance(15) ? edges[rnd.Below(9)] : static_cast<short>(rnd.Range(0, 4000));
        SpanSetup s = BaseSetup(scales[rnd.Below(7)]);
        s.stretchLeft = static_cast<int>(rnd.Range(0, 500));
        s.stretchTop = static_cast<int>(rnd.Range(0, 500));
        s.mapHeight = static_cast<int>(rnd.Range(1, 2000));
        s.reliefLevel = static_cast<int>(rnd.Range(1, 4));
        s.tone = static_cast<int>(rnd.Range(-1, 5));
        s.shade = rnd.Chance(70);
        s.texture = rnd.Chance(80);
        s.paint = rnd.Chance(20);
        s.color = static_cast<COLORREF>(rnd.Next() & 0xFFFFFF);
        std::vector<tagHorzLine> lines(1 + rnd.Below(10));
        for (auto& l : lines) {
            l.y = static_cast<short>(rnd.Range(-1, h));
            l.left = static_cast<short>(rnd.Range(-2, w));
            l.right = static_cast<short>(rnd.Range(l.left - 1, w + 1));
        }
        const int bpp = rnd.Chance(50) ? 3 : 4;
        Target fast(w, h, bpp), reference(w, h, bpp);
        const SpanParams p = MakeSpanParams(s, slot);
        RenderSpans(grid.view, PlanesOf(slot), p, lines.data(), static_cast<int>(lines.size()),
                    fast.surface);
        Zumeld::RenderSpansReference(grid.view, PlanesOf(slot), p, lines.data(),
                                     static_cast<int>(lines.size()), reference.surface);
        ASSERT_EQ(fast.mem, reference.mem) << "case " << n << ", seed " << rnd.Seed();
    }
}

}  // namespace
