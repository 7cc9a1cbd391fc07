// Palettes, conversion between DIBs and device bitmaps, and drawing through CCtrlDib, read
// back from a 32-bit bitmap selected into a memory device context.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "dib_test_support.h"
#include "zumeld/dib/CtrlDib.h"
#include "zumeld/platform/memory_p.h"

using namespace dib_test;
using Zumeld::CCtrlDib;

namespace {

std::vector<PALETTEENTRY> Entries(HPALETTE pal) {
    std::vector<PALETTEENTRY> e(300);
    e.resize(GetPaletteEntries(pal, 0, static_cast<UINT>(e.size()), e.data()));
    DeleteObject(pal);
    return e;
}

tagBITMAPINFOHEADER* AsHeader(Bytes& b) {
    return reinterpret_cast<tagBITMAPINFOHEADER*>(b.data());
}

TEST(DibPalette, EntriesComeFromTheColourTableOrTheFixedPaletteOrNowhere) {
    CCtrlDib dib;
    Bytes block = Cat(InfoHeader({.bits = 8, .clrUsed = 20}), ColorTable(20, 4), Bytes(8));
    const auto e = Entries(dib.CreateBIPalette(AsHeader(block)));
    ASSERT_EQ(e.size(), 20u);
    for (unsigned k = 0; k < 20; ++k) {
        EXPECT_EQ(RGB(e[k].peRed, e[k].peGreen, e[k].peBlue), RGB(3 * k + 2, 2 * k + 1, k));
        EXPECT_EQ(e[k].peFlags, 0);
    }
    Dib d(ToBlock(block));
    EXPECT_EQ(Entries(dib.CreateDibPalette(d.h)).size(), 20u);

    // 24 bits without a table: the fixed palette, red steps first.
    Bytes rgb = InfoHeader({.bits = 24});
    const auto fixed = Entries(dib.CreateBIPalette(AsHeader(rgb)));
    ASSERT_EQ(fixed.size(), 256u);
    EXPECT_EQ(fixed[1].peRed, 32);
    EXPECT_EQ(RGB(fixed[255].peRed, fixed[255].peGreen, fixed[255].peBlue), RGB(224, 224, 192));

    // No colours, a core header, nothing, or no room for the 256 entries announced.
    for (unsigned bits : {16u, 32u}) {
        Bytes direct = InfoHeader({.bits = bits});
        EXPECT_EQ(dib.CreateBIPalette(AsHeader(direct)), nullptr) << bits;
    }
    Bytes core = Cat(CoreHeader(4, 4, 8), ColorTable(256, 3));
    EXPECT_EQ(dib.CreateBIPalette(AsHeader(core)), nullptr);
    EXPECT_EQ(dib.CreateBIPalette(nullptr), nullptr);
    EXPECT_EQ(dib.CreateDibPalette(nullptr), nullptr);
    Dib small(ToBlock(InfoHeader({.bits = 8})));
    EXPECT_EQ(dib.CreateDibPalette(small.h), nullptr);
}

// A 32-bit device bitmap whose pixel (x, y), y counted from the top, is red 2x, green 3y, blue 9.
HBITMAP PatternBitmap(int width, int height) {
    std::vector<BYTE> bits(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            BYTE* p = &bits[(static_cast<std::size_t>(y) * width + x) * 4];
            p[0] = 9;
            p[1] = static_cast<BYTE>(3 * y);
            p[2] = static_cast<BYTE>(2 * x);
        }
    return CreateBitmap(width, height, 1, 32, bits.data());
}

TEST(DibConvert, DibOfABitmapHasTheAskedDepthAndRowsBottomFirst) {
    CCtrlDib dib;
    HBITMAP bmp = PatternBitmap(100, 50);
    const struct {
        WORD asked;
        unsigned bits;
        std::size_t image, table;
    } cases[] = {{0, 32, 20000, 0}, {24, 24, 15000, 0}, {8, 8, 5000, 1024}, {1, 1, 800, 8}};
    for (const auto& c : cases) {
        Dib d(dib.DibFromBitmap(bmp, BI_RGB, c.asked, nullptr));
        ASSERT_TRUE(d.h) << c.asked;
        const Bytes b = d.bytes();
        ASSERT_EQ(b.size(), 40 + c.table + c.image) << c.asked;
        EXPECT_EQ(Get32(b, 0), 40u);
        EXPECT_EQ(Get32(b, 4), 100u);
        EXPECT_EQ(Get32(b, 8), 50u);
        EXPECT_EQ(Get16(b, 14), c.bits) << c.asked;
        EXPECT_EQ(Get32(b, 16), BI_RGB);
        EXPECT_EQ(Get32(b, 20), c.image) << c.asked;
        if (c.bits != 32) continue;
        for (int m : {0, 17, 49})  // memory row m is picture row 49 - m
            for (int x : {0, 1, 99}) {
                const std::size_t at = 40 + static_cast<std::size_t>(m) * 400 + x * 4;
                EXPECT_EQ(Slice(b, at, 3), (Bytes{9, static_cast<std::uint8_t>(3 * (49 - m)),
                                                  static_cast<std::uint8_t>(2 * x)}))
                    << m << "," << x;
            }
    }
    DeleteObject(bmp);
}

TEST(DibConvert, FailedConversionsGiveNullAndReleaseEverything) {
    CCtrlDib dib;
    EXPECT_EQ(dib.DibFromBitmap(nullptr, BI_RGB, 32, nullptr), nullptr);
    HBITMAP bmp = PatternBitmap(8, 8);
    const std::size_t live = Zumeld::Platform::LiveBlockCount();
    for (long successes : {0L, 1L}) {  // the first allocation fails, then the resize
        Zumeld::Platform::SetAllocationFailureCountdown(successes);
        EXPECT_EQ(dib.DibFromBitmap(bmp, BI_RGB, 24, nullptr), nullptr) << successes;
        Zumeld::Platform::SetAllocationFailureCountdown(-1);
        EXPECT_EQ(Zumeld::Platform::LiveBlockCount(), live) << successes;
    }
    EXPECT_EQ(dib.DibFromBitmap(bmp, BI_RGB, 7, nullptr), nullptr);
    EXPECT_EQ(dib.DibFromBitmap(bmp, 77, 24, nullptr), nullptr);
    EXPECT_EQ(Zumeld::Platform::LiveBlockCount(), live);
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
HGLOBAL PatternDib() {
    Bytes block = InfoHeader({.width = 64, .height = 32, .bits = 24});
    for (int m = 0; m < 32; ++m)
        for (int x = 0; x < 64; ++x) {
            const COLORREF c = DibColor(x, 31 - m);
            block.insert(block.end(), {GetBValue(c), GetGValue(c), GetRValue(c)});
        }
    return ToBlock(block);
}

// The pixels of a black 200 x 120 target that differ from black outside [x0, x1) x [y0, y1).
int ChangedOutside(HDC dc, int x0, int y0, int x1, int y1) {
    int changed = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x)
            if ((x < x0 || x >= x1 || y < y0 || y >= y1) && GetPixel(dc, x, y) != 0) ++changed;
    return changed;
}

TEST(DibDrawing, DrawsTheChosenPartAtTheDestinationAndNothingElse) {
    CCtrlDib dib;
    Dib d(PatternDib());
    HBITMAP bmp = PatternBitmap(16, 8);
    Dib d24(dib.DibFromBitmap(bmp, BI_RGB, 24, nullptr));
    HBITMAP back = dib.BitmapFromDib(d24.h, nullptr);  // through a DIB and back
    const struct {
        const char* what;
        std::function<int(HDC)> draw;
        int x, y, width, height;
        std::function<COLORREF(int, int)> expected;  // at (x, y) inside the drawn rectangle
    } cases[] = {
        {"whole DIB", [&](HDC dc) { return dib.DibBlt(dc, 10, 20, 64, 32, d.h, 0, 0, SRCCOPY); },
         10, 20, 64, 32, DibColor},
        // Lower-left corner 8 columns in and 4 rows up: picture rows 20 to 27, columns 8 to 23.
        {"part of the DIB", [&](HDC dc) { return dib.DibBlt(dc, 0, 0, 16, 8, d.h, 8, 4, SRCCOPY); },
         0, 0, 16, 8, [](int x, int y) { return DibColor(8 + x, 20 + y); }},
        {"stretched twice",
         [&](HDC dc) { return dib.StretchDibBlt(dc, 5, 7, 128, 64, d.h, 0, 0, 64, 32, SRCCOPY); },
         5, 7, 128, 64, [](int x, int y) { return DibColor(x / 2, y / 2); }},
        {"bitmap", [&](HDC dc) { return dib.DrawBitmap(dc, 30, 40, bmp, SRCCOPY); }, 30, 40, 16, 8,
         [](int x, int y) { return RGB(2 * x, 3 * y, 9); }},
        {"bitmap from a DIB", [&](HDC dc) { return dib.DrawBitmap(dc, 9, 9, back, SRCCOPY); }, 9, 9,
         16, 8, [](int x, int y) { return RGB(2 * x, 3 * y, 9); }},
    };
    for (const auto& c : cases) {
        MemoryTarget target(200, 120);
        EXPECT_NE(c.draw(target.dc), 0) << c.what;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                ASSERT_EQ(GetPixel(target.dc, c.x + x, c.y + y), c.expected(x, y))
                    << c.what << " at " << x << "," << y;
        EXPECT_EQ(ChangedOutside(target.dc, c.x, c.y, c.x + c.width, c.y + c.height), 0) << c.what;
    }
    // DrawBitmap leaves the bitmap free to be drawn again; null arguments draw nothing.
    MemoryTarget target(200, 120);
    EXPECT_NE(dib.DrawBitmap(target.dc, 0, 0, bmp, SRCCOPY), 0);
    EXPECT_EQ(GetPixel(target.dc, 15, 7), RGB(30, 21, 9));
    DeleteObject(bmp);
    DeleteObject(back);
    EXPECT_EQ(dib.DrawBitmap(target.dc, 0, 0, nullptr, SRCCOPY), 0);
    EXPECT_EQ(dib.DrawBitmap(nullptr, 0, 0, bmp, SRCCOPY), 0);
}

TEST(DibDrawing, NullDibFillsWithTheBrushAndCutDibsAreNotDrawn) {
    CCtrlDib dib;
    MemoryTarget target(200, 120);
    HDC dc = target.dc;
    HBRUSH brush = CreateSolidBrush(RGB(200, 10, 30));
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    EXPECT_NE(dib.DibBlt(dc, 3, 4, 5, 6, nullptr, 0, 0, PATCOPY), 0);
    EXPECT_NE(dib.StretchDibBlt(dc, 50, 60, 7, 2, nullptr, 0, 0, 1, 1, PATCOPY), 0);
    EXPECT_EQ(GetPixel(dc, 3, 4), RGB(200, 10, 30));
    EXPECT_EQ(GetPixel(dc, 7, 9), RGB(200, 10, 30));
    EXPECT_EQ(GetPixel(dc, 56, 61), RGB(200, 10, 30));
    EXPECT_EQ(ChangedOutside(dc, 0, 0, 0, 0), 5 * 6 + 7 * 2);
    SelectObject(dc, oldBrush);
    DeleteObject(brush);

    // A DIB one byte short of its last row.
    Bytes cut = Dib(PatternDib()).bytes();
    cut.pop_back();
    Dib d(ToBlock(cut));
    MemoryTarget clean(200, 120);
    EXPECT_EQ(dib.DibBlt(clean.dc, 0, 0, 64, 32, d.h, 0, 0, SRCCOPY), 0);
    EXPECT_EQ(dib.StretchDibBlt(clean.dc, 0, 0, 64, 32, d.h, 0, 0, 64, 32, SRCCOPY), 0);
    EXPECT_EQ(ChangedOutside(clean.dc, 0, 0, 0, 0), 0);
}

}  // namespace
