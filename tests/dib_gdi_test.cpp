// Palettes, conversion between DIBs and device bitmaps, and drawing through CCtrlDib, read
// back from a 32-bit bitmap selected into a memory device context.
#include <gtest/gtest.h>

#include <vector>

#include "dib_test_support.h"
#include "zumeld/dib/CtrlDib.h"
#include "zumeld/platform/memory_p.h"

using namespace dib_test;
using Zumeld::CCtrlDib;

namespace {

// ---- Palettes -------------------------------------------------------------------------------

std::vector<PALETTEENTRY> Entries(HPALETTE pal) {
    std::vector<PALETTEENTRY> e(300);
    e.resize(GetPaletteEntries(pal, 0, static_cast<UINT>(e.size()), e.data()));
    return e;
}

TEST(DibPalette, EightBitDibWithTwentyColoursGivesTwentyEntries) {
    CCtrlDib dib;
    Info i;
    i.bits = 8;
    i.clrUsed = 20;
    Bytes block = InfoHeader(i);
    Append(block, ColorTable(20, 4));
    HPALETTE pal = dib.CreateBIPalette(reinterpret_cast<tagBITMAPINFOHEADER*>(block.data()));
    ASSERT_TRUE(pal);
    const auto e = Entries(pal);
    ASSERT_EQ(e.size(), 20u);
    for (unsigned k = 0; k < 20; ++k) {
        EXPECT_EQ(e[k].peRed, 3 * k + 2);
        EXPECT_EQ(e[k].peGreen, 2 * k + 1);
        EXPECT_EQ(e[k].peBlue, k);
        EXPECT_EQ(e[k].peFlags, 0);
    }
    DeleteObject(pal);

    // The same through a DIB handle.
    block.resize(block.size() + 8);
    Dib d(ToBlock(block));
    pal = dib.CreateDibPalette(d.h);
    ASSERT_TRUE(pal);
    EXPECT_EQ(Entries(pal).size(), 20u);
    DeleteObject(pal);
}

TEST(DibPalette, TwentyFourBitDibWithoutTableGetsTheFixedPalette) {
    CCtrlDib dib;
    Info i;
    i.bits = 24;
    Bytes block = InfoHeader(i);
    HPALETTE pal = dib.CreateBIPalette(reinterpret_cast<tagBITMAPINFOHEADER*>(block.data()));
    ASSERT_TRUE(pal);
    const auto e = Entries(pal);
    ASSERT_EQ(e.size(), 256u);
    struct Entry {
        int index, red, green, blue;
    };
    for (const Entry x : {Entry{0, 0, 0, 0}, Entry{1, 32, 0, 0}, Entry{8, 0, 32, 0},
                          Entry{64, 0, 0, 64}, Entry{255, 224, 224, 192}}) {
        EXPECT_EQ(e[x.index].peRed, x.red) << x.index;
        EXPECT_EQ(e[x.index].peGreen, x.green) << x.index;
        EXPECT_EQ(e[x.index].peBlue, x.blue) << x.index;
    }
    DeleteObject(pal);
}

TEST(DibPalette, NoPaletteWithoutColours) {
    CCtrlDib dib;
    for (unsigned bits : {16u, 32u}) {
        Info i;
        i.bits = bits;
        Bytes block = InfoHeader(i);
        EXPECT_EQ(dib.CreateBIPalette(reinterpret_cast<tagBITMAPINFOHEADER*>(block.data())),
                  nullptr)
            << bits;
    }
    Bytes core = CoreHeader(4, 4, 8);
    Append(core, ColorTable(256, 3));
    EXPECT_EQ(dib.CreateBIPalette(reinterpret_cast<tagBITMAPINFOHEADER*>(core.data())), nullptr);
    EXPECT_EQ(dib.CreateBIPalette(nullptr), nullptr);
    EXPECT_EQ(dib.CreateDibPalette(nullptr), nullptr);
    // A block too small for the table its header announces.
    Info i;
    i.bits = 8;
    Dib small(ToBlock(InfoHeader(i)));
    EXPECT_EQ(dib.CreateDibPalette(small.h), nullptr);
}

// ---- Device bitmaps and DIBs ----------------------------------------------------------------

// A 32-bit device bitmap whose pixel (x, y), y counted from the top, is red 2x, green 3y, blue 9.
HBITMAP PatternBitmap(int width, int height) {
    std::vector<BYTE> bits(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            BYTE* p = &bits[(static_cast<std::size_t>(y) * width + x) * 4];
            p[0] = 9;
            p[1] = static_cast<BYTE>(3 * y);
            p[2] = static_cast<BYTE>(2 * x);
            p[3] = 0;
        }
    return CreateBitmap(width, height, 1, 32, bits.data());
}

TEST(DibConvert, ThirtyTwoBitDibOfABitmapHoldsHeaderAndRows) {
    CCtrlDib dib;
    HBITMAP bmp = PatternBitmap(100, 50);
    ASSERT_TRUE(bmp);
    Dib d(dib.DibFromBitmap(bmp, BI_RGB, 32, nullptr));
    ASSERT_TRUE(d.h);
    const Bytes b = d.bytes();
    ASSERT_EQ(b.size(), 40u + 20000);
    EXPECT_EQ(Get32(b, 0), 40u);
    EXPECT_EQ(Get32(b, 4), 100u);
    EXPECT_EQ(Get32(b, 8), 50u);
    EXPECT_EQ(Get16(b, 14), 32u);
    EXPECT_EQ(Get32(b, 16), BI_RGB);
    EXPECT_EQ(Get32(b, 20), 20000u);
    // Rows bottom first: memory row m is picture row 49 - m.
    for (int m : {0, 17, 49})
        for (int x : {0, 1, 99}) {
            const std::size_t at = 40 + static_cast<std::size_t>(m) * 400 + x * 4;
            EXPECT_EQ(b[at], 9);
            EXPECT_EQ(b[at + 1], 3 * (49 - m)) << m << "," << x;
            EXPECT_EQ(b[at + 2], 2 * x) << m << "," << x;
        }
    DeleteObject(bmp);
}

TEST(DibConvert, BitCountZeroTakesTheBitmapsDepthAndOthersResize) {
    CCtrlDib dib;
    HBITMAP bmp = PatternBitmap(100, 50);
    struct Case {
        WORD asked;
        unsigned bits;
        std::size_t blockBytes;
    };
    for (const Case c : {Case{0, 32, 40 + 20000}, Case{24, 24, 40 + 300 * 50},
                         Case{8, 8, 40 + 1024 + 100 * 50}, Case{1, 1, 40 + 8 + 16 * 50}}) {
        Dib d(dib.DibFromBitmap(bmp, BI_RGB, c.asked, nullptr));
        ASSERT_TRUE(d.h) << c.asked;
        const Bytes b = d.bytes();
        EXPECT_EQ(Get16(b, 14), c.bits) << c.asked;
        EXPECT_EQ(b.size(), c.blockBytes) << c.asked;
    }
    DeleteObject(bmp);
}

TEST(DibConvert, FailuresReleaseEverything) {
    CCtrlDib dib;
    EXPECT_EQ(dib.DibFromBitmap(nullptr, BI_RGB, 32, nullptr), nullptr);
    HBITMAP bmp = PatternBitmap(8, 8);
    const std::size_t live = Zumeld::Platform::LiveBlockCount();
    // The first allocation fails, then the resize.
    for (long successes : {0L, 1L}) {
        Zumeld::Platform::SetAllocationFailureCountdown(successes);
        EXPECT_EQ(dib.DibFromBitmap(bmp, BI_RGB, 24, nullptr), nullptr) << successes;
        Zumeld::Platform::SetAllocationFailureCountdown(-1);
        EXPECT_EQ(Zumeld::Platform::LiveBlockCount(), live) << successes;
    }
    // Bit counts no DIB has.
    EXPECT_EQ(dib.DibFromBitmap(bmp, BI_RGB, 7, nullptr), nullptr);
    EXPECT_EQ(dib.DibFromBitmap(bmp, 77, 24, nullptr), nullptr);
    EXPECT_EQ(Zumeld::Platform::LiveBlockCount(), live);
    DeleteObject(bmp);
}

TEST(DibConvert, BitmapFromDibKeepsSizeAndPixels) {
    CCtrlDib dib;
    HBITMAP bmp = PatternBitmap(100, 50);
    Dib d(dib.DibFromBitmap(bmp, BI_RGB, 24, nullptr));
    ASSERT_TRUE(d.h);
    HBITMAP back = dib.BitmapFromDib(d.h, nullptr);
    ASSERT_TRUE(back);
    BITMAP bm{};
    ASSERT_NE(GetObjectA(back, sizeof bm, &bm), 0);
    EXPECT_EQ(bm.bmWidth, 100);
    EXPECT_EQ(bm.bmHeight, 50);
    MemoryTarget view(1, 1);
    HGDIOBJ old = SelectObject(view.dc, back);
    for (int y : {0, 25, 49})
        for (int x : {0, 50, 99})
            EXPECT_EQ(GetPixel(view.dc, x, y), RGB(2 * x, 3 * y, 9)) << x << "," << y;
    SelectObject(view.dc, old);
    DeleteObject(back);
    DeleteObject(bmp);

    EXPECT_EQ(dib.BitmapFromDib(nullptr, nullptr), nullptr);
    Dib tiny(GlobalAlloc(GHND, 10));
    EXPECT_EQ(dib.BitmapFromDib(tiny.h, nullptr), nullptr);
}

// ---- Drawing --------------------------------------------------------------------------------

// A 200 x 120 black 32-bit target in a memory device context.
class DibDrawing : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(target.dc && target.bitmap); }

    // The target's pixels that differ from black, outside the rectangle [x0, x1) x [y0, y1).
    int ChangedOutside(int x0, int y0, int x1, int y1) const {
        int changed = 0;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 200; ++x)
                if ((x < x0 || x >= x1 || y < y0 || y >= y1) && GetPixel(dc, x, y) != 0) ++changed;
        return changed;
    }

    MemoryTarget target{200, 120};
    HDC dc = target.dc;
    CCtrlDib dib;
};

// Colour of the 64 x 32 test DIB at column x, picture row y (0 = top).
COLORREF DibColor(int x, int y) {
    return RGB(4 * x, 8 * y, 0x55);
}

// A 24-bit 64 x 32 DIB of DibColor, rows bottom first.
HGLOBAL PatternDib() {
    Info i;
    i.width = 64;
    i.height = 32;
    i.bits = 24;
    Bytes block = InfoHeader(i);
    for (int m = 0; m < 32; ++m)
        for (int x = 0; x < 64; ++x) {
            const COLORREF c = DibColor(x, 31 - m);
            block.push_back(GetBValue(c));
            block.push_back(GetGValue(c));
            block.push_back(GetRValue(c));
        }
    return ToBlock(block);
}

TEST_F(DibDrawing, DibBltPutsTheTopLeftPixelAtTheDestination) {
    Dib d(PatternDib());
    EXPECT_EQ(dib.DibBlt(dc, 10, 20, 64, 32, d.h, 0, 0, SRCCOPY), 1);
    for (int y = 0; y < 32; y += 5)
        for (int x = 0; x < 64; x += 7)
            EXPECT_EQ(GetPixel(dc, 10 + x, 20 + y), DibColor(x, y)) << x << "," << y;
    EXPECT_EQ(GetPixel(dc, 73, 51), DibColor(63, 31));
    EXPECT_EQ(ChangedOutside(10, 20, 74, 52), 0);
}

TEST_F(DibDrawing, DibBltSourcePositionPicksThePartShown) {
    // A 16 x 8 window whose lower-left corner is 8 columns in and 4 rows up from the DIB's
    // lower-left: picture rows 32 - 4 - 8 = 20 to 27, columns 8 to 23.
    Dib d(PatternDib());
    EXPECT_EQ(dib.DibBlt(dc, 0, 0, 16, 8, d.h, 8, 4, SRCCOPY), 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; x += 3)
            EXPECT_EQ(GetPixel(dc, x, y), DibColor(8 + x, 20 + y)) << x << "," << y;
    EXPECT_EQ(ChangedOutside(0, 0, 16, 8), 0);
}

TEST_F(DibDrawing, StretchDibBltDrawsAtTwiceTheSize) {
    Dib d(PatternDib());
    EXPECT_NE(dib.StretchDibBlt(dc, 5, 7, 128, 64, d.h, 0, 0, 64, 32, SRCCOPY), 0);
    for (int y = 0; y < 64; y += 3)
        for (int x = 0; x < 128; x += 5)
            EXPECT_EQ(GetPixel(dc, 5 + x, 7 + y), DibColor(x / 2, y / 2)) << x << "," << y;
    EXPECT_EQ(ChangedOutside(5, 7, 133, 71), 0);
}

TEST_F(DibDrawing, NullDibFillsTheRectangleWithTheBrush) {
    HBRUSH brush = CreateSolidBrush(RGB(200, 10, 30));
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    EXPECT_NE(dib.DibBlt(dc, 3, 4, 5, 6, nullptr, 0, 0, PATCOPY), 0);
    EXPECT_NE(dib.StretchDibBlt(dc, 50, 60, 7, 2, nullptr, 0, 0, 1, 1, PATCOPY), 0);
    EXPECT_EQ(GetPixel(dc, 3, 4), RGB(200, 10, 30));
    EXPECT_EQ(GetPixel(dc, 7, 9), RGB(200, 10, 30));
    EXPECT_EQ(GetPixel(dc, 56, 61), RGB(200, 10, 30));
    const int filled = 5 * 6 + 7 * 2;
    EXPECT_EQ(ChangedOutside(0, 0, 0, 0), filled);
    SelectObject(dc, oldBrush);
    DeleteObject(brush);
}

TEST_F(DibDrawing, DrawBitmapDrawsAtTheGivenPosition) {
    HBITMAP bmp = PatternBitmap(16, 8);
    EXPECT_NE(dib.DrawBitmap(dc, 30, 40, bmp, SRCCOPY), 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(GetPixel(dc, 30 + x, 40 + y), RGB(2 * x, 3 * y, 9)) << x << "," << y;
    EXPECT_EQ(ChangedOutside(30, 40, 46, 48), 0);
    // The bitmap is free again: it can be drawn a second time.
    EXPECT_NE(dib.DrawBitmap(dc, 0, 0, bmp, SRCCOPY), 0);
    EXPECT_EQ(GetPixel(dc, 15, 7), RGB(30, 21, 9));
    DeleteObject(bmp);
    EXPECT_EQ(dib.DrawBitmap(dc, 0, 0, nullptr, SRCCOPY), 0);
    EXPECT_EQ(dib.DrawBitmap(nullptr, 0, 0, bmp, SRCCOPY), 0);
}

TEST_F(DibDrawing, DibsThatDoNotFitTheirBlockAreNotDrawn) {
    Dib whole(PatternDib());
    Bytes cut = whole.bytes();
    cut.resize(cut.size() - 1);
    Dib d(ToBlock(cut));
    EXPECT_EQ(dib.DibBlt(dc, 0, 0, 64, 32, d.h, 0, 0, SRCCOPY), 0);
    EXPECT_EQ(dib.StretchDibBlt(dc, 0, 0, 64, 32, d.h, 0, 0, 64, 32, SRCCOPY), 0);
    EXPECT_EQ(ChangedOutside(0, 0, 0, 0), 0);
}

}  // namespace
