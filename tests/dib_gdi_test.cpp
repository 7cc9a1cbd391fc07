// Palettes, conversion between DIBs and device bitmaps, and drawing through CCtrlDib, read
// back from a 32-bit bitmap selected into a memory device context.
#include <gtest/gtest.h>

#include <vector>

#include "dib_test_support.h"
#include "zumeld/dib/CtrlDib.h"

using namespace dib_test;
using Zumeld::CCtrlDib;

namespace {

// The entries of `pal`, which is deleted.
std::vector<PALETTEENTRY> Entries(HPALETTE pal) {
    std::vector<PALETTEENTRY> e(300);
    e.resize(GetPaletteEntries(pal, 0, static_cast<UINT>(e.size()), e.data()));
    DeleteObject(pal);
    return e;
}

HPALETTE PaletteOf(Bytes b) {
    return CCtrlDib().CreateBIPalette(reinterpret_cast<tagBITMAPINFOHEADER*>(b.data()));
}

TEST(DibPalette, EntriesComeFromTheColourTableOrTheFixedPaletteOrNowhere) {
    CCtrlDib dib;
    const Bytes block = Cat(InfoHeader({.clrUsed = 20}), ColorTable(20, 4), Bytes(8));
    const auto e = Entries(PaletteOf(block));
    ASSERT_EQ(e.size(), 20u);
    for (unsigned k = 0; k < 20; ++k) {
        EXPECT_EQ(RGB(e[k].peRed, e[k].peGreen, e[k].peBlue), RGB(3 * k + 2, 2 * k + 1, k));
        EXPECT_EQ(e[k].peFlags, 0);
    }
    Dib d(ToBlock(block));
    EXPECT_EQ(Entries(dib.CreateDibPalette(d.h)).size(), 20u);
    // 24 bits without a table: the fixed palette.
    const auto fixed = Entries(PaletteOf(InfoHeader({.bits = 24})));
    ASSERT_EQ(fixed.size(), 256u);
    EXPECT_EQ(RGB(fixed[255].peRed, fixed[255].peGreen, fixed[255].peBlue), RGB(224, 224, 192));
    // No colours, a core header, nothing, or no room for the 256 entries announced.
    EXPECT_EQ(PaletteOf(InfoHeader({.bits = 16})), nullptr);
    EXPECT_EQ(PaletteOf(Cat(CoreHeader(4, 4, 8), ColorTable(256, 3))), nullptr);
    EXPECT_EQ(dib.CreateBIPalette(nullptr), nullptr);
    EXPECT_EQ(dib.CreateDibPalette(nullptr), nullptr);
    Dib small(ToBlock(InfoHeader({.bits = 8})));
    EXPECT_EQ(dib.CreateDibPalette(small.h), nullptr);
}

// A 32-bit device bitmap whose pixel (x, y), y counted from the top, is red 2x, green 3y, blue 9.
HBITMAP PatternBitmap(int width, int height) {
    std::vector<BYTE> bits;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bits.insert(bits.end(), {9, static_cast<BYTE>(3 * y), static_cast<BYTE>(2 * x), 0});
    return CreateBitmap(width, height, 1, 32, bits.data());
}

TEST(DibConvert, DibOfABitmapHasTheAskedDepthAndRowsBottomFirst) {
    CCtrlDib dib;
    HBITMAP bmp = PatternBitmap(100, 50);
    const struct {
        WORD asked;
        unsigned bits, image, table;
    } cases[] = {{0, 32, 20000, 0}, {24, 24, 15000, 0}, {8, 8, 5000, 1024}, {1, 1, 800, 8}};
    for (const auto& c : cases) {
        Dib d(dib.DibFromBitmap(bmp, BI_RGB, c.asked, nullptr));
        const Bytes b = d.bytes();
        ASSERT_EQ(b.size(), 40 + c.table + c.image) << c.asked;
        const Bytes header =
            InfoHeader({.width = 100, .height = 50, .bits = c.bits, .sizeImage = c.image});
        EXPECT_EQ(Slice(b, 0, 24), Slice(header, 0, 24)) << c.asked;
        if (c.bits != 32) continue;
        for (int m : {0, 17, 49})  // memory row m is picture row 49 - m
            for (int x : {0, 1, 99})
                EXPECT_EQ(Slice(b, 40 + m * 400 + x * 4, 3),
                          (Bytes{9, static_cast<std::uint8_t>(3 * (49 - m)),
                                 static_cast<std::uint8_t>(2 * x)}))
                    << m << "," << x;
    }
    DeleteObject(bmp);
}

TEST(DibConvert, FailedConversionsGiveNullAndReleaseEverything) {
    CCtrlDib dib;
    EXPECT_EQ(dib.DibFromBitmap(nullptr, BI_RGB, 32, nullptr), nullptr);
    HBITMAP bmp = PatternBitmap(8, 8);
    EXPECT_EQ(dib.DibFromBitmap(bmp, BI_RGB, 7, nullptr), nullptr);
    EXPECT_EQ(dib.DibFromBitmap(bmp, 77, 24, nullptr), nullptr);
    DeleteObject(bmp);
    EXPECT_EQ(dib.BitmapFromDib(nullptr, nullptr), nullptr);
    Dib tiny(GlobalAlloc(GHND, 10));
    EXPECT_EQ(dib.BitmapFromDib(tiny.h, nullptr), nullptr);
}

// Colour of the 64 x 32 test DIB at column x, picture row y (0 = top).
COLORREF DibColor(int x, int y) {
    return RGB(4 * x, 8 * y, 0x55);
}

// A 24-bit 64 x 32 DIB of DibColor, rows bottom first.
Bytes PatternDib() {
    Bytes block = InfoHeader({.width = 64, .height = 32, .bits = 24});
    for (int m = 0; m < 32; ++m)
        for (int x = 0; x < 64; ++x)
            block.insert(block.end(),
                         {0x55, static_cast<BYTE>(8 * (31 - m)), static_cast<BYTE>(4 * x)});
    return block;
}

// The pixels of a black 200 x 120 target that differ from black outside [x0, x1) x [y0, y1).
int ChangedOutside(HDC dc, int x0 = 0, int y0 = 0, int x1 = 0, int y1 = 0) {
    int changed = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x)
            changed += (x < x0 || x >= x1 || y < y0 || y >= y1) && GetPixel(dc, x, y) != 0;
    return changed;
}

// Draws with `draw` on a black 200 x 120 target: the w x h rectangle at (x0, y0) must hold
// color(x, y) and nothing outside it may change.
template <class Draw, class Color>
void ExpectDrawn(Draw draw, int x0, int y0, int w, int h, Color color) {
    MemoryTarget t(200, 120);
    EXPECT_NE(draw(t.dc), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(GetPixel(t.dc, x0 + x, y0 + y), color(x, y)) << x << "," << y;
    EXPECT_EQ(ChangedOutside(t.dc, x0, y0, x0 + w, y0 + h), 0);
}

TEST(DibDrawing, DrawsTheChosenPartAtTheDestinationAndNothingElse) {
    CCtrlDib dib;
    Dib d(ToBlock(PatternDib()));
    ExpectDrawn([&](HDC dc) { return dib.DibBlt(dc, 10, 20, 64, 32, d.h, 0, 0, SRCCOPY); }, 10, 20,
                64, 32, DibColor);
    // Lower-left corner 8 columns in and 4 rows up: picture rows 20 to 27, columns 8 to 23.
    ExpectDrawn([&](HDC dc) { return dib.DibBlt(dc, 0, 0, 16, 8, d.h, 8, 4, SRCCOPY); }, 0, 0, 16,
                8, [](int x, int y) { return DibColor(8 + x, 20 + y); });
    ExpectDrawn(
        [&](HDC dc) { return dib.StretchDibBlt(dc, 5, 7, 128, 64, d.h, 0, 0, 64, 32, SRCCOPY); }, 5,
        7, 128, 64, [](int x, int y) { return DibColor(x / 2, y / 2); });
    HBITMAP bmp = PatternBitmap(16, 8);
    Dib d24(dib.DibFromBitmap(bmp, BI_RGB, 24, nullptr));
    HBITMAP back = dib.BitmapFromDib(d24.h, nullptr);  // through a DIB and back
    const auto bitmapColor = [](int x, int y) { return RGB(2 * x, 3 * y, 9); };
    // The second draw of `bmp` shows that DrawBitmap left it free.
    for (HBITMAP b : {bmp, back, bmp})
        ExpectDrawn([&](HDC dc) { return dib.DrawBitmap(dc, 30, 40, b, SRCCOPY); }, 30, 40, 16, 8,
                    bitmapColor);
    MemoryTarget target(200, 120);
    EXPECT_EQ(dib.DrawBitmap(target.dc, 0, 0, nullptr, SRCCOPY), 0);
    EXPECT_EQ(dib.DrawBitmap(nullptr, 0, 0, bmp, SRCCOPY), 0);
    DeleteObject(bmp);
    DeleteObject(back);
}

TEST(DibDrawing, NullDibFillsWithTheBrushAndCutDibsAreNotDrawn) {
    CCtrlDib dib;
    MemoryTarget target(200, 120);
    HBRUSH brush = CreateSolidBrush(RGB(200, 10, 30));
    HGDIOBJ oldBrush = SelectObject(target.dc, brush);
    EXPECT_NE(dib.DibBlt(target.dc, 3, 4, 5, 6, nullptr, 0, 0, PATCOPY), 0);
    EXPECT_NE(dib.StretchDibBlt(target.dc, 50, 60, 7, 2, nullptr, 0, 0, 1, 1, PATCOPY), 0);
    EXPECT_EQ(GetPixel(target.dc, 7, 9), RGB(200, 10, 30));
    EXPECT_EQ(GetPixel(target.dc, 56, 61), RGB(200, 10, 30));
    EXPECT_EQ(ChangedOutside(target.dc), 5 * 6 + 7 * 2);
    DeleteObject(SelectObject(target.dc, oldBrush));

    Bytes cut = PatternDib();  // one byte short of its last row
    cut.pop_back();
    Dib d(ToBlock(cut));
    MemoryTarget clean(200, 120);
    EXPECT_EQ(dib.DibBlt(clean.dc, 0, 0, 64, 32, d.h, 0, 0, SRCCOPY), 0);
    EXPECT_EQ(dib.StretchDibBlt(clean.dc, 0, 0, 64, 32, d.h, 0, 0, 64, 32, SRCCOPY), 0);
    EXPECT_EQ(ChangedOutside(clean.dc), 0);
}

}  // namespace
