// The sea fill, the two overlay blends and the DIB row copy, as kernels.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "render_test_support.h"
#include "zumeld/render/SeaOverlay.h"

namespace {

using namespace render_test;
using Zumeld::BlendOverlayRect;
using Zumeld::BlendOverlayWhole;
using Zumeld::CopyDibTopFirst;
using Zumeld::FillSea;
using Zumeld::MakeTextureOrigin;
using Zumeld::PlanesOf;

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

TEST(SeaFill, CutToTheTargetAndRefusesEmptyInput) {
    const tagTEXTURE_SLOT slot = SeaSlot();
    // Display width, height, live slot; painted width, height: larger than the 12 x 8 target
    // (cut), smaller (only the display area), empty, no slot.
    const struct {
        int width, height;
        bool live;
        int paintedW, paintedH;
    } cases[] = {
        {20, 10, true, 12, 8}, {5, 3, true, 5, 3}, {10, -1, true, 0, 0}, {10, 10, false, 0, 0}};
    for (const auto& c : cases) {
        Target target(12, 8, 4);
        FillSea(PlanesOf(c.live ? slot : tagTEXTURE_SLOT{}), {}, c.width, c.height, target.surface);
        EXPECT_TRUE(target.OutsideUntouched());
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 12; ++x)
                EXPECT_EQ(target.At(x, y).r, x < c.paintedW && y < c.paintedH ? 200 : 0x11)
                    << x << "," << y;
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

TEST(OverlayBlend, BothFormsCutToTheTargetAndRefuseBadOverlays) {
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
    // No pixels, or rows shorter than width x 4 bytes: each form leaves the target as it was.
    Overlay none(3, 3, 200), narrowRows(3, 3, 200);
    none.view.pixels = nullptr;
    narrowRows.view.rowBytes = 8;
    for (const Overlay* o : {&none, &narrowRows}) {
        Target t(4, 3, 3, 100);
        BlendOverlayWhole(o->view, t.surface);
        BlendOverlayRect(o->view, 0, 0, 3, 3, t.surface);
        EXPECT_EQ(t.At(0, 0), (Texel{100, 100, 100}));
    }
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
