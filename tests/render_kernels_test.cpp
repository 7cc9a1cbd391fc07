// The drawing kernels: the span renderer's set-up numbers and pixel formulas on hand-worked
// values, tiling, clipping and span order; the sea fill, the two overlay blends and the DIB row
// copy.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>
#include <vector>

#include "render_test_support.h"
#include "zumeld/render/SeaOverlay.h"
#include "zumeld/render/SpanRenderer.h"

using namespace render_test;
using Zumeld::BlendOverlayRect;
using Zumeld::BlendOverlayWhole;
using Zumeld::CopyDibTopFirst;
using Zumeld::FillSea;
using Zumeld::MakeSpanParams;
using Zumeld::MakeTextureOrigin;
using Zumeld::PlanesOf;
using Zumeld::SpanParams;
using Zumeld::SpanSetup;
using Zumeld::tagHorzLine;

namespace {

// ---- The span renderer: set-up numbers and pixel formulas on hand-worked values, tiling,
// clipping, span order and the calls that draw nothing.

using Ints = std::vector<long long>;

constexpr Texel kSea{11, 22, 33};
constexpr Texel kUntouched{0x11, 0x11, 0x11};

enum { X = 1, P = 2, S = 4 };  // texture, paint, shade

SpanSetup Config(int flags, COLORREF color = 0, int tone = 0, double scale = 1.0) {
    return {.scale = scale,
            .mapHeight = 100,
            .tone = tone,
            .shade = (flags & S) != 0,
            .texture = (flags & X) != 0,
            .color = color,
            .paint = (flags & P) != 0};
}
SpanSetup BaseSetup(double scale = 1.0) {
    return Config(X, 0, 0, scale);
}

// Draws every row 0..h-1 across 0..w-1.
std::vector<tagHorzLine> FullRows(int w, int h) {
    std::vector<tagHorzLine> lines;
    for (short y = 0; y < h; ++y) lines.push_back({y, 0, static_cast<short>(w - 1)});
    return lines;
}

void Draw(const Grid& grid, const tagTEXTURE_SLOT& slot, const SpanSetup& s,
          const std::vector<tagHorzLine>& lines, Target& target) {
    Zumeld::RenderSpans(grid.view, PlanesOf(slot), MakeSpanParams(s, slot), lines.data(),
                        static_cast<int>(lines.size()), target.surface);
}

TEST(SpanRendererSetup, HandWorkedParameters) {
    const tagTEXTURE_SLOT slot = UniformSlot({}, {}, {});
    // Shading distance d and gain g; a relief level below 1 acts as 1.
    struct {
        double scale;
        int relief, d, g;
    } shading[] = {
        {0.5, 1, 1, 384}, {0.3, 7, 1, 32}, {2.5, 3, 2, 320}, {1.0, -4, 1, 768}, {0.999, 2, 1, 383}};
    for (const auto& c : shading) {
        SpanSetup s = BaseSetup(c.scale);
        s.reliefLevel = c.relief;
        s.shade = true;
        const SpanParams p = MakeSpanParams(s, slot);
        EXPECT_EQ((Ints{p.shadeDistance, p.shadeGain}), (Ints{c.d, c.g})) << c.scale;
    }
    // k = min(32767, 8388608 div blend); a blend elevation below 1 gives the maximum.
    for (auto [blend, k] : {std::pair{2000, 4194}, {256, 32767}, {257, 32640}, {0, 32767}})
        EXPECT_EQ(MakeSpanParams(BaseSetup(), UniformSlot({}, {}, {}, blend)).blendK, k) << blend;
    // Fade line base and step: top, bottom, map height, stretch top, scale, base, step.
    const double fade[][7] = {
        {2000, 1000, 768, 100, 2.5, 1870 * 4096., -2133},  // -130.2 truncates to -130
        {5, 6, 3, 0, 1.0, 5 * 4096., 1365},                // 1 / 3 x 4096 in double, not 0
        {10, 17, 3, 2, 0.5, 14 * 4096., 19114},            // 7 x 2 / 3 = 4; 7 / 3 / 0.5 x 4096
    };
    for (const auto& c : fade) {
        SpanSetup s = BaseSetup(c[4]);
        s.mapHeight = int(c[2]);
        s.stretchTop = int(c[3]);
        const SpanParams p = MakeSpanParams(s, UniformSlot({}, {}, {}, 2000, int(c[0]), int(c[1])));
        EXPECT_EQ((Ints{p.fadeBase, p.fadeStep}), (Ints{(long long)c[5], (long long)c[6]})) << c[0];
    }
    // The texture origin at scale 2.5 from (7, 3): trunc(17.5) = 17 texels in, trunc(7.5) = 7 down.
    const auto o = Zumeld::MakeTextureOrigin(2.5, 7, 3, 240, 14400);
    EXPECT_EQ((Ints{o.u0, o.row0}), (Ints{68, 7}));
    // Without texture the colour source is one texel, whatever the position.
    SpanSetup flat{.scale = 1.0, .stretchLeft = 17, .stretchTop = 33, .mapHeight = 100};
    const SpanParams p = MakeSpanParams(flat, MakeSlot(60, 60, Flat({}), Flat({}), Flat({})));
    EXPECT_EQ((Ints{p.rowBytes, p.planeSize, p.origin.u0, p.origin.row0}), (Ints{4, 4, 0, 0}));
}

TEST(SpanRendererPixel, HandWorkedSinglePixels) {
    // Slots: 0 blank, 1 grey 200 low, 2 mixed low/high, 3 fade line flat at 1000, 4 sea/paint.
    const tagTEXTURE_SLOT slots[] = {
        UniformSlot({}, {}, kSea, 2000, 30000, 30000),
        UniformSlot({200, 200, 200}, {}, kSea, 2000, 30000, 30000),
        UniformSlot({200, 10, 60}, {100, 250, 0}, kSea, 2000, 30000, 30000),
        UniformSlot({}, {}, kSea, 2000, 1000, 1000),
        UniformSlot({200, 100, 50}, {}, kSea, 2000, 30000, 30000)};
    constexpr COLORREF kWhite = 0xFFFFFF, kGrey = 0x818181;  // 129 mixed gives 128
    auto G = [](int v) { return Texel{BYTE(v), BYTE(v), BYTE(v)}; };
    const struct {
        int slot, flags, tone;
        COLORREF color;
        short e, neighbour;
        Texel expect;
    } cases[] = {
        // clang-format off
        // Flat white mixed with itself: 255 x 255 >> 8; painted flat: the colour itself.
        {0, 0, 0, kWhite, 100, 100, G(254)}, {0, P, 0, kWhite, 100, 100, G(255)},
        // Tones: half rounded up, 3/4, 3/2 and 5/4 saturated; other tones act as 0.
        {0, P, 1, kWhite, 0, 0, G(128)}, {0, P, 3, kWhite, 0, 0, G(255)},
        {0, P, 2, 0x646464, 0, 0, G(75)}, {0, P, 3, 0x646464, 0, 0, G(150)},
        {0, P, 4, 0x646464, 0, 0, G(125)}, {0, P, 5, 0x646464, 0, 0, G(100)},
        // Tones on textured land (200 at t = 0 is 199).
        {1, X, 1, 0, 1, 1, G(100)}, {1, X, 4, 0, 1, 1, G(249)},
        // Mixing, k = 4194: t = min(255, e k >> 15) = 1, 127, 255; (lo (255 - t) + hi t) / 256.
        {2, X, 0, 0, 8, 8, {198, 10, 59}}, {2, X, 0, 0, 1000, 1000, {149, 129, 30}},
        {2, X, 0, 0, 2000, 2000, {99, 249, 0}}, {2, X, 0, 0, 5000, 5000, {99, 249, 0}},
        // Fading toward 160 with f = min(255, (e - L) / 2), from q = 254: below the line, f = 0.
        {3, 0, 0, kWhite, 999, 999, G(254)}, {3, 0, 0, kWhite, 1000, 1000, G(253)},
        {3, 0, 0, kWhite, 1200, 1200, G(216)}, {3, 0, 0, kWhite, 30000, 30000, G(159)},
        // Shading at scale 1: h = floor(3 delta / 8) clamped to -128..127, q = 128 + h.
        {0, S, 0, kGrey, 1000, 1002, G(128)}, {0, S, 0, kGrey, 1000, 999, G(127)},
        {0, S, 0, kGrey, 1000, 1400, G(255)}, {0, S, 0, kGrey, 1000, 600, G(0)},
        {0, S, 0, kWhite, 1000, 1400, G(255)},  // 254 x 255 >> 7 = 506, saturated
        // Negative elevations are sea; as a shading neighbour 0: delta -100 gives -38.
        {0, S, 0, kGrey, -32768, 100, kSea}, {0, S, 0, kGrey, 100, -5, G(90)},
        // Sea: the sea texel, without tone or shading, even in flat colour; painted, 0 is land.
        {4, X|S, 1, 0x402010, 0, 500, kSea}, {4, 0, 2, 0x402010, 0, 500, kSea},
        {4, X|P, 0, 0x402010, 0, 500, {199, 99, 49}}, {4, X|P, 1, 0x402010, 0, 500, {100, 50, 25}},
        // clang-format on
    };
    for (const auto& c : cases)
        for (int bpp : {3, 4}) {
            SCOPED_TRACE(testing::Message() << "slot " << c.slot << " tone " << c.tone << " e "
                                            << c.e << "/" << c.neighbour << " bpp " << bpp);
            Grid grid(1, 1, c.neighbour);
            grid.at(0, 0) = c.e;
            Target target(1, 1, bpp);
            Draw(grid, slots[c.slot], Config(c.flags, c.color, c.tone), FullRows(1, 1), target);
            EXPECT_EQ(target.At(0, 0), c.expect);
            EXPECT_TRUE(target.OutsideUntouched());
        }
}

TEST(SpanRendererTiling, PixelsTakeTheTexelOfTheirDisplayPosition) {
    // Every texel distinct: low (x, y) = (x, y, 7), sea (x, y) = (x, y, 8). Land at t = 0
    // shows the low texel at ((u0 + x) mod w, (row0 + y) mod h) scaled by 255 / 256.
    const int w = 5, h = 3;
    const tagTEXTURE_SLOT slot =
        MakeSlot(w, h, Ramp(1, 1, 7), Flat({0, 0, 0}), Ramp(1, 1, 8), 30000, 30000, 30000);
    Grid grid(12, 7, 1);
    for (int i = 0; i < 12 * 7; ++i) grid.at(i % 12, i / 12) = (i % 12 + i / 12) % 3 == 0 ? 0 : 1;
    SpanSetup s = BaseSetup(1.0);
    s.stretchLeft = 7, s.stretchTop = 4;  // u0 = 2 texels, row0 = 1
    for (int bpp : {3, 4}) {
        Target target(12, 7, bpp);
        Draw(grid, slot, s, FullRows(12, 7), target);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 12; ++x) {
                const int tx = (2 + x) % w, ty = (1 + y) % h;
                const Texel expect = grid.at(x, y) == 0
                                         ? Texel{BYTE(tx), BYTE(ty), 8}
                                         : Texel{BYTE(tx * 255 / 256), BYTE(ty * 255 / 256), 6};
                ASSERT_EQ(target.At(x, y), expect) << x << "," << y << " bpp " << bpp;
            }
        EXPECT_TRUE(target.OutsideUntouched());
    }
}

TEST(SpanRendererSpans, AnyRowOrderDrawsEachSpanOnItsOwnRow) {
    // Texture rows differ and the fade line L = 1 + 300 y moves per row, so a span drawn with
    // another row's texture row or fade line shows. e = 600 with k = 279 gives t = 5, so a low
    // texel v shows as v x 250 / 256; row 0 (L = 1) fades fully to 159, row 1 is not drawn.
    const tagTEXTURE_SLOT slot =
        MakeSlot(4, 5, Ramp(10, 20, 7), Flat({0, 0, 0}), Flat(kSea), 30000, 1, 30001);
    Grid grid(6, 9, 600);
    const std::vector<tagHorzLine> lines = {{7, 1, 4}, {2, 0, 5}, {5, 2, 2}, {2, 3, 3}, {0, 0, 0}};
    Target target(6, 9, 3);
    Draw(grid, slot, BaseSetup(), lines, target);
    const BYTE blue[] = {0, 9, 19, 29};               // 10 x (x mod 4)
    const BYTE green[] = {0, 0, 39, 0, 0, 0, 0, 39};  // 20 x (y mod 5), rows 2, 5, 7
    for (const auto& l : lines)
        for (int x = l.left; x <= l.right; ++x)
            EXPECT_EQ(target.At(x, l.y),
                      (l.y == 0 ? Texel{159, 159, 159} : Texel{blue[x % 4], green[l.y], 6}))
                << x << "," << l.y;
    EXPECT_EQ(target.At(0, 1), kUntouched);
    EXPECT_TRUE(target.OutsideUntouched());
}

TEST(SpanRendererSpans, ClippedToDisplayAndTarget) {
    const tagTEXTURE_SLOT slot = UniformSlot({200, 200, 200}, {0, 0, 0}, kSea, 30000, 30000, 30000);
    // Display 8 x 6 on a target of w x h; the span's pixels [drawnLeft, drawnRight] are drawn.
    struct {
        int w, h;
        tagHorzLine line;
        int drawnLeft = -1, drawnRight = -1;
    } cases[] = {{8, 6, {-1, 0, 7}},        {8, 6, {6, 0, 7}},
                 {8, 4, {4, 0, 7}},         {8, 6, {2, -5, 3}, 0, 3},
                 {8, 6, {2, 5, 100}, 5, 7}, {5, 6, {2, 3, 7}, 3, 4},
                 {8, 6, {2, 6, 2}},         {8, 6, {2, -9, -1}},
                 {8, 6, {2, 8, 12}},        {8, 6, {2, -32768, 32767}, 0, 7}};
    for (const auto& c : cases)
        for (int bpp : {3, 4})
            for (bool flat : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << "line " << c.line.y << ":" << c.line.left << ".." << c.line.right
                             << " flat " << flat << " bpp " << bpp);
                Grid grid(8, 6, 1);
                Target target(c.w, c.h, bpp);
                Draw(grid, slot, Config(flat ? P : X, 0xC7C7C7), {c.line}, target);
                EXPECT_TRUE(target.OutsideUntouched());
                for (int x = 0, y = c.line.y; x < c.w && y >= 0 && y < c.h; ++x) {
                    const bool drawn = x >= c.drawnLeft && x <= c.drawnRight;
                    EXPECT_EQ(target.At(x, y), (drawn ? Texel{199, 199, 199} : kUntouched)) << x;
                }
            }
}

TEST(SpanRendererSpans, ShadingNeighbourStaysInsideTheGrid) {
    // Scale 3 gives d = 3 but the grid has one margin row and column: the neighbour of (x, y)
    // is read at (min(x + 3, 4), 3). Cells are 100 + 10 x + 100 y; green = 128 + 3 delta / 8.
    Grid grid(4, 3);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) grid.at(x, y) = static_cast<short>(100 + 10 * x + 100 * y);
    Target target(4, 3, 3);
    Draw(grid, UniformSlot({}, {}, kSea, 30000, 30000, 30000), Config(S, 0x818181, 0, 3.0),
         FullRows(4, 3), target);
    const int expect[3][4] = {{251, 251, 248, 244}, {214, 214, 210, 206}, {176, 176, 173, 169}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(target.At(x, y).g, expect[y][x]) << x << "," << y;
    EXPECT_TRUE(target.OutsideUntouched());
}

TEST(SpanRendererSpans, NothingDrawnWhenAnInputIsMissing) {
    const tagTEXTURE_SLOT slot = UniformSlot({200, 200, 200}, {0, 0, 0}, kSea);
    tagTEXTURE_SLOT noPixels = slot, zeroSize = slot;  // sizes without pixels, pixels of size 0
    noPixels.pLandPixels.reset();
    noPixels.pSeaPixels = nullptr;
    zeroSize.nWidth = zeroSize.nRowBytes = zeroSize.nPlaneSize = 0;
    const tagHorzLine line{0, 0, 3};
    for (int what : {0, 1, 3, 4, 5, 6, 7, 9, 10, 11}) {  // 0 draws; the others lack one input
        SCOPED_TRACE(what);
        Grid grid(4, 2, 500);
        if (what == 1) grid.view.width = 0;
        Target target(4, 2, 3);
        Zumeld::PixelSurface surface = target.surface;
        if (what == 10) surface.bytesPerPixel = 1;
        if (what == 11) surface.topRow = nullptr;
        SpanSetup s = BaseSetup();
        if (what == 7) s.mapHeight = 0;
        if (what == 9) s.scale = std::numeric_limits<double>::quiet_NaN();
        const tagTEXTURE_SLOT& used = what == 5 ? noPixels : what == 6 ? zeroSize : slot;
        Zumeld::RenderSpans(grid.view, PlanesOf(used), MakeSpanParams(s, used),
                            what == 4 ? nullptr : &line, what == 3 ? 0 : 1, surface);
        EXPECT_TRUE(target.OutsideUntouched());
        EXPECT_EQ(target.At(1, 0) == kUntouched, what != 0);
    }
}

// ---- The sea fill, the two overlay blends and the DIB row copy.

// A 60 x 60 slot whose sea texel (x, y) is (x, y, 200) and land texels are dark.
tagTEXTURE_SLOT SeaSlot() {
    return MakeSlot(60, 60, Flat({1, 1, 1}), Flat({2, 2, 2}), Ramp(1, 1, 200));
}

// The fill repeats the sea texture from the display origin, and the renderer's sea pixels
// take the same texel at every position, so the two meet without a seam.
TEST(SeaFill, RepeatsTheSeaTextureAsTheRendererDrawsSea) {
    const tagTEXTURE_SLOT slot = SeaSlot();
    for (double scale : {1.0, 2.5, 0.75}) {
        const auto origin = MakeTextureOrigin(scale, 70, 125, slot.nRowBytes, slot.nPlaneSize);
        Zumeld::SpanSetup s{.scale = scale, .stretchLeft = 70, .stretchTop = 125, .mapHeight = 500};
        s.shade = s.texture = true;
        Grid grid(150, 130, 0, 3, 3);
        std::vector<Zumeld::tagHorzLine> lines;
        for (short y = 0; y < 130; ++y) lines.push_back({y, 0, 149});
        for (int bpp : {3, 4}) {
            Target drawn(150, 130, bpp), filled(150, 130, bpp);
            Zumeld::RenderSpans(grid.view, PlanesOf(slot), Zumeld::MakeSpanParams(s, slot),
                                lines.data(), 130, drawn.surface);
            FillSea(PlanesOf(slot), origin, 150, 130, filled.surface);
            EXPECT_EQ(drawn.mem, filled.mem) << "scale " << scale;
            EXPECT_TRUE(filled.OutsideUntouched());
        }
    }
}

// An overlay of w x h pixels, every byte `value`, rows padded by 8 bytes.
struct Overlay {
    std::vector<BYTE> pixels;
    Zumeld::OverlayView view;
    Overlay(int w, int h, BYTE value) : pixels(static_cast<size_t>(w * 4 + 8) * h, value) {
        view = {pixels.data(), w, h, w * 4 + 8};
    }
};

TEST(OverlayBlend, RoundingOfBothForms) {
    struct {
        int overlay, target, whole, rect;
    } cases[] = {{200, 100, 150, 150}, {3, 5, 4, 3}, {255, 255, 255, 254}, {1, 1, 1, 0}};
    for (const auto& c : cases)
        for (int bpp : {3, 4}) {
            Overlay o(2, 2, static_cast<BYTE>(c.overlay));
            Target whole(2, 2, bpp, static_cast<BYTE>(c.target));
            Target rect(2, 2, bpp, static_cast<BYTE>(c.target));
            BlendOverlayWhole(o.view, whole.surface);
            BlendOverlayRect(o.view, 0, 0, 2, 2, rect.surface);
            EXPECT_EQ(whole.At(1, 1).g, c.whole) << c.overlay << " over " << c.target;
            EXPECT_EQ(rect.At(1, 1).g, c.rect) << c.overlay << " over " << c.target;
            EXPECT_TRUE(whole.OutsideUntouched());
            EXPECT_TRUE(rect.OutsideUntouched());
        }
}

TEST(OverlayBlend, BothFormsCutToTheTarget) {
    // Overlay 6 x 4 on a target of 8 x 5 (target 100, overlay 200: blended pixels are 150).
    // Rectangle; blended [left, right) x [top, bottom), none if left < 0: inside, cut at the
    // right and bottom, cut at the left and top, past the right, before the left, empty,
    // overflowing ends.
    // clang-format off
    const struct {
        int x, y, cx, cy;
        int left = -1, top = 0, right = 0, bottom = 0;
    } cases[] = {
        {1, 1, 2, 2, 1, 1, 3, 3}, {4, 2, 10, 10, 4, 2, 6, 4}, {-2, -1, 4, 3, 0, 0, 2, 2},
        {6, 0, 3, 3}, {-9, 0, 3, 3}, {2, 2, 0, 5}, {INT_MAX, 0, INT_MAX, 1},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX}};
    // clang-format on
    for (const auto& c : cases) {
        Overlay o(6, 4, 200);
        Target target(8, 5, 4, 100);
        BlendOverlayRect(o.view, c.x, c.y, c.cx, c.cy, target.surface);
        EXPECT_TRUE(target.OutsideUntouched());
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool in =
                    c.left >= 0 && x >= c.left && x < c.right && y >= c.top && y < c.bottom;
                EXPECT_EQ(target.At(x, y).b, in ? 150 : 100)
                    << "case " << &c - cases << " at " << x << "," << y;
            }
    }
    // The whole form is cut to the target too.
    Overlay big(10, 10, 200);
    Target target(4, 3, 3, 100);
    BlendOverlayWhole(big.view, target.surface);
    EXPECT_TRUE(target.OutsideUntouched());
    EXPECT_EQ(target.At(3, 2), (Texel{150, 150, 150}));
}

// A DIB whose stored row s holds the value s + 1 in every byte.
std::vector<BYTE> MakeDib(int width, int height, int bits = 32, DWORD compression = BI_RGB) {
    const BITMAPINFOHEADER h{
        DWORD(sizeof(BITMAPINFOHEADER)), width, height, 1, WORD(bits), compression, 0, 0, 0, 0, 0};
    const int rows = height < 0 ? -height : height;
    std::vector<BYTE> dib(sizeof(h) + static_cast<size_t>(width) * 4 * rows);
    std::memcpy(dib.data(), &h, sizeof(h));
    for (int s = 0; s < rows; ++s)
        std::memset(dib.data() + sizeof(h) + static_cast<size_t>(s) * width * 4, s + 1, width * 4);
    return dib;
}

TEST(DibRows, TopRowFirstForBothOrdersAndUnreadableDibsGiveNoPicture) {
    for (int height : {3, -3}) {
        const std::vector<BYTE> dib = MakeDib(2, height);
        const auto pic = CopyDibTopFirst(dib.data(), dib.size());
        ASSERT_NE(pic.pixels.get(), nullptr) << height;
        EXPECT_EQ((std::vector{pic.width, pic.height, pic.rowBytes}), (std::vector{2, 3, 8}));
        for (int r = 0; r < 3; ++r)  // a positive height is stored bottom-up
            EXPECT_EQ(pic.pixels[r * 8 + 5], (height > 0 ? 3 - r : r + 1)) << height << " " << r;
    }
    std::vector<BYTE> cases[] = {MakeDib(4, 4, 24), MakeDib(4, 4, 32, BI_BITFIELDS),
                                 MakeDib(0, 4),     MakeDib(4, 4),
                                 MakeDib(4, 4),     MakeDib(4, 4),
                                 MakeDib(1, 1),     std::vector<BYTE>(10, 0)};
    cases[3].pop_back();  // one byte short
    auto header = [&](int i) { return reinterpret_cast<BITMAPINFOHEADER*>(cases[i].data()); };
    header(4)->biSize = 4000;
    header(5)->biSize = 12;
    header(6)->biHeight = INT_MIN;  // refused by the size check before any copy
    for (const auto& dib : cases) {
        const auto pic = CopyDibTopFirst(dib.data(), dib.size());
        EXPECT_TRUE(pic.pixels.get() == nullptr && pic.width + pic.height == 0) << &dib - cases;
    }
    EXPECT_EQ(CopyDibTopFirst(nullptr, 100).pixels.get(), nullptr);
}

}  // namespace
