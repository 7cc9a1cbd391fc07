// The in-memory GDI: handles, bitmaps and DIB sections, DIB read-out and write-in at every
// depth, device contexts, palettes, brushes, blits with their clipping and raster
// operations, stretching and mirroring, and the embedded bitmap resources.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "test_random.h"
#include "zumeld/platform/gdi_p.h"
#include "zumeld/platform/resources_p.h"
#include "zumeld/platform/win32.h"

namespace {

using zumeld_test::TestRandom;

// A BITMAPINFO with room for a full colour table (or the three masks).
struct Info {
    BITMAPINFOHEADER h;
    RGBQUAD c[256];
};

Info MakeInfo(int w, int h, int bits, DWORD clrUsed = 0) {
    Info i{};
    i.h.biSize = sizeof(BITMAPINFOHEADER);
    i.h.biWidth = w;
    i.h.biHeight = h;
    i.h.biPlanes = 1;
    i.h.biBitCount = static_cast<WORD>(bits);
    i.h.biCompression = BI_RGB;
    i.h.biClrUsed = clrUsed;
    return i;
}

BITMAPINFO* Bmi(Info& i) {
    return reinterpret_cast<BITMAPINFO*>(&i);
}

int Stride(int w, int bits) {
    return (w * bits + 31) / 32 * 4;
}

// A DIB section; its pixels through *bits.
HBITMAP Section(Info info, BYTE** bits) {
    void* p = nullptr;
    HBITMAP h = CreateDIBSection(nullptr, Bmi(info), DIB_RGB_COLORS, &p, nullptr, 0);
    *bits = static_cast<BYTE*>(p);
    return h;
}

// Pixel x of a packed row as a number (index, 16-bit word, or B | G << 8 | R << 16).
DWORD PixelAt(const BYTE* row, int bits, int x) {
    switch (bits) {
        case 1:
            return (row[x / 8] >> (7 - x % 8)) & 1;
        case 4:
            return (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
        case 8:
            return row[x];
        case 16:
            return row[2 * x] | (row[2 * x + 1] << 8);
        case 24:
            return row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
        default:
            return row[4 * x] | (row[4 * x + 1] << 8) | (row[4 * x + 2] << 16);
    }
}

// A memory context holding a bitmap; restores and deletes on destruction.
struct MemDc {
    HDC dc;
    HGDIOBJ old;
    explicit MemDc(HBITMAP b) : dc(CreateCompatibleDC(nullptr)), old(SelectObject(dc, b)) {}
    ~MemDc() {
        SelectObject(dc, old);
        DeleteDC(dc);
    }
};

TEST(GdiHandles, UnknownAndDeletedHandlesFailQuietly) {
    HBITMAP deleted = CreateBitmap(4, 4, 1, 24, nullptr);
    ASSERT_NE(deleted, nullptr);
    ASSERT_TRUE(DeleteObject(deleted));
    HDC deadDc = CreateCompatibleDC(nullptr);
    ASSERT_TRUE(DeleteDC(deadDc));
    const HBITMAP bad[] = {nullptr, deleted, reinterpret_cast<HBITMAP>(0x7777),
                           reinterpret_cast<HBITMAP>(deadDc)};
    for (HBITMAP h : bad) {
        BITMAP bm;
        Info info = MakeInfo(4, 4, 32);
        BYTE pixels[64];
        EXPECT_EQ(GetObjectA(h, sizeof bm, &bm), 0);
        EXPECT_FALSE(DeleteObject(h));
        EXPECT_EQ(GetDIBits(nullptr, h, 0, 4, pixels, Bmi(info), DIB_RGB_COLORS), 0);
        EXPECT_EQ(SetDIBits(nullptr, h, 0, 4, pixels, Bmi(info), DIB_RGB_COLORS), 0);
        HDC hdc = reinterpret_cast<HDC>(h);
        EXPECT_FALSE(DeleteDC(hdc));
        EXPECT_EQ(ReleaseDC(nullptr, hdc), 0);
        EXPECT_EQ(SelectObject(hdc, GetStockObject(BLACK_BRUSH)), nullptr);
        EXPECT_FALSE(PatBlt(hdc, 0, 0, 1, 1, BLACKNESS));
        EXPECT_EQ(GetPixel(hdc, 0, 0), 0xFFFFFFFFu);
        EXPECT_EQ(GetDeviceCaps(hdc, BITSPIXEL), 0);
        if (hdc != nullptr) {
            EXPECT_EQ(CreateCompatibleDC(hdc), nullptr);
        }
    }
}

TEST(GdiHandles, SelectedBitmapIsNotDeletedAndStockObjectsStay) {
    HBITMAP b = CreateBitmap(2, 2, 1, 32, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, b);
    ASSERT_NE(old, nullptr);
    EXPECT_FALSE(DeleteObject(b));
    // One context at a time.
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, b), nullptr);
    EXPECT_EQ(SelectObject(dc, old), b);
    EXPECT_TRUE(DeleteObject(b));
    EXPECT_TRUE(DeleteDC(other));
    EXPECT_TRUE(DeleteDC(dc));

    HGDIOBJ pal = GetStockObject(DEFAULT_PALETTE);
    EXPECT_TRUE(DeleteObject(pal));
    WORD entries = 0;
    EXPECT_EQ(GetObjectA(pal, sizeof entries, &entries), 2);
    EXPECT_EQ(entries, 20);
    PALETTEENTRY e[20];
    EXPECT_EQ(GetPaletteEntries(static_cast<HPALETTE>(pal), 0, 20, e), 20u);
    EXPECT_EQ(e[7].peRed, 192);
    EXPECT_EQ(e[19].peBlue, 255);
    EXPECT_EQ(GetStockObject(6), nullptr);
    EXPECT_EQ(GetStockObject(-1), nullptr);
}

TEST(GdiHandles, ScreenAndMemoryContexts) {
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
    EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, 0);
    EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 0);
    EXPECT_EQ(GetDeviceCaps(screen, NUMCOLORS), -1);
    EXPECT_NE(GetPixel(screen, 1023, 767), 0xFFFFFFFFu);
    EXPECT_EQ(GetPixel(screen, 1024, 0), 0xFFFFFFFFu);
    EXPECT_EQ(GetPixel(screen, 0, -1), 0xFFFFFFFFu);

    BITMAP bm;
    HBITMAP colour = CreateCompatibleBitmap(screen, 10, 3);
    ASSERT_EQ(GetObjectA(colour, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_EQ(bm.bmWidthBytes, 40);
    EXPECT_EQ(bm.bmBits, nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP mono = CreateCompatibleBitmap(mem, 10, 3);  // a fresh context holds 1 × 1 mono
    ASSERT_EQ(GetObjectA(mono, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmWidthBytes, 2);
    EXPECT_EQ(SelectObject(screen, colour), nullptr);  // the screen takes no bitmap
    EXPECT_EQ(ReleaseDC(nullptr, mem), 0);             // not a GetDC context
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_TRUE(DeleteDC(mem));
    EXPECT_TRUE(DeleteObject(colour));
    EXPECT_TRUE(DeleteObject(mono));
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(0x100)), nullptr);
}

TEST(GdiHandles, BadSizesAndFormatsAreRefused) {
    EXPECT_EQ(CreateBitmap(0, 4, 1, 32, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(4, -1, 1, 32, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(4, 4, 2, 16, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(4, 4, 1, 2, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(65536, 32768, 1, 8, nullptr), nullptr);  // 2 GiB
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, 0, 5), nullptr);

    const struct {
        int w, h, bits;
        DWORD compression;
    } cases[] = {{0, 4, 24, BI_RGB},         {-3, 4, 24, BI_RGB},       {4, 0, 24, BI_RGB},
                 {4, INT32_MIN, 24, BI_RGB}, {4, 4, 2, BI_RGB},         {4, 4, 8, BI_RLE8},
                 {4, 4, 24, BI_BITFIELDS},   {46341, 46341, 8, BI_RGB}, {2147483647, 1, 32, BI_RGB},
                 {65536, -32768, 8, BI_RGB}};
    for (const auto& c : cases) {
        Info info = MakeInfo(c.w, c.h, c.bits);
        info.h.biCompression = c.compression;
        BYTE* bits = reinterpret_cast<BYTE*>(1);
        EXPECT_EQ(Section(info, &bits), nullptr) << c.w << "x" << c.h << "x" << c.bits;
        EXPECT_EQ(bits, nullptr);
    }
    Info flat = MakeInfo(4, 0, 24);
    EXPECT_EQ(CreateDIBitmap(nullptr, &flat.h, 0, nullptr, nullptr, DIB_RGB_COLORS), nullptr);
    Info small = MakeInfo(4, 4, 24);
    small.h.biSize = 12;
    BYTE* bits = nullptr;
    EXPECT_EQ(Section(small, &bits), nullptr);
}

TEST(GdiDibits, HeaderOnlyCallsFillTheImageSize) {
    HBITMAP b = CreateBitmap(100, 50, 1, 32, nullptr);
    const struct {
        int bits;
        DWORD compression;
        DWORD sizeImage;
    } cases[] = {{32, BI_RGB, 20000}, {24, BI_RGB, 15000}, {16, BI_BITFIELDS, 10000},
                 {8, BI_RGB, 5000},   {4, BI_RGB, 2600},   {1, BI_RGB, 800}};
    for (const auto& c : cases) {
        Info info = MakeInfo(0, 0, c.bits);
        info.h.biCompression = c.compression;
        EXPECT_NE(GetDIBits(nullptr, b, 0, 50, nullptr, Bmi(info), DIB_RGB_COLORS), 0);
        EXPECT_EQ(info.h.biWidth, 100);
        EXPECT_EQ(info.h.biHeight, 50);
        EXPECT_EQ(info.h.biSizeImage, c.sizeImage) << c.bits;
        EXPECT_EQ(info.h.biCompression, BI_RGB);  // handed out in the default layout
    }
    Info describe = MakeInfo(0, 0, 0);
    EXPECT_NE(GetDIBits(nullptr, b, 0, 0, nullptr, Bmi(describe), DIB_RGB_COLORS), 0);
    EXPECT_EQ(describe.h.biBitCount, 32);
    EXPECT_EQ(describe.h.biSizeImage, 20000u);

    // A short table asked for (biClrUsed 20) is all that is written.
    Info shortTable = MakeInfo(100, 50, 8, 20);
    std::memset(shortTable.c, 0xEE, sizeof shortTable.c);
    EXPECT_NE(GetDIBits(nullptr, b, 0, 50, nullptr, Bmi(shortTable), DIB_RGB_COLORS), 0);
    EXPECT_EQ(shortTable.c[20].rgbBlue, 0xEE);
    EXPECT_EQ(shortTable.c[19].rgbReserved, 0);
    EXPECT_EQ(shortTable.h.biClrUsed, 20u);
    DeleteObject(b);
}

TEST(GdiDibits, EveryDepthRoundTripsThroughADibSection) {
    TestRandom rng(0x6D1B);
    const int w = 13, h = 7;
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, seed " << rng.Seed());
        Info info = MakeInfo(w, h, bits);
        // Distinct table colours, so that each index maps back to itself.
        for (int i = 0; i < 256; ++i)
            info.c[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(255 - i),
                                static_cast<BYTE>(i * 7), 0};
        BYTE* pixels = nullptr;
        HBITMAP b = Section(info, &pixels);
        ASSERT_NE(b, nullptr);
        const int stride = Stride(w, bits);
        for (int i = 0; i < stride * h; ++i) pixels[i] = static_cast<BYTE>(rng.Next());
        if (bits == 16)  // the unused top bit of 5-5-5 reads back as 0
            for (int i = 1; i < stride * h; i += 2) pixels[i] &= 0x7F;

        std::vector<BYTE> out(static_cast<std::size_t>(stride) * h);
        Info back = MakeInfo(w, h, bits);
        ASSERT_EQ(GetDIBits(nullptr, b, 0, h, out.data(), Bmi(back), DIB_RGB_COLORS), h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                DWORD want = PixelAt(pixels + y * stride, bits, x);
                if (bits == 32) want &= 0xFFFFFF;
                ASSERT_EQ(PixelAt(out.data() + y * stride, bits, x), want) << x << "," << y;
            }
        for (int i = 0; bits <= 8 && i < (1 << bits); ++i)
            EXPECT_EQ(std::memcmp(&back.c[i], &info.c[i], 4), 0) << i;

        // A band of scan lines: scans 2, 3, 4 land in rows 0, 1, 2 of the buffer.
        std::vector<BYTE> band(static_cast<std::size_t>(stride) * 3);
        ASSERT_EQ(GetDIBits(nullptr, b, 2, 3, band.data(), Bmi(back), DIB_RGB_COLORS), 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < w; ++x)
                EXPECT_EQ(PixelAt(band.data() + y * stride, bits, x),
                          PixelAt(out.data() + (y + 2) * stride, bits, x));
        EXPECT_EQ(GetDIBits(nullptr, b, 5, 10, band.data(), Bmi(back), DIB_RGB_COLORS), 2);
        EXPECT_EQ(GetDIBits(nullptr, b, 7, 1, band.data(), Bmi(back), DIB_RGB_COLORS), 0);
        DeleteObject(b);
    }
}

TEST(GdiDibits, ConvertsBetweenDepths) {
    // One 24-bit pixel (R 255, G 128, B 8) read out at every depth.
    Info info = MakeInfo(1, 1, 24);
    BYTE* pixels = nullptr;
    HBITMAP b = Section(info, &pixels);
    pixels[0] = 8;
    pixels[1] = 128;
    pixels[2] = 255;
    const struct {
        int bits;
        DWORD want;
    } cases[] = {
        {32, 0xFF8008},
        {16, (31u << 10) | (16u << 5) | 1u},  // 5 bits each: 255 >> 3, 128 >> 3, 8 >> 3
        {1, 1},                               // nearer white (255, 255, 255) than black
        // The VGA table: olive (128, 128, 0) at 3 and yellow (255, 255, 0) at 11 are both
        // 127² + 8² away, red (255, 0, 0) 128² + 8²; the lower index wins the tie.
        {4, 3},
    };
    for (const auto& c : cases) {
        Info out = MakeInfo(1, 1, c.bits);
        BYTE px[4] = {};
        ASSERT_EQ(GetDIBits(nullptr, b, 0, 1, px, Bmi(out), DIB_RGB_COLORS), 1);
        EXPECT_EQ(PixelAt(px, c.bits, 0), c.want) << c.bits;
    }
    DeleteObject(b);
}

TEST(GdiDibits, SetDIBitsAndCreateDIBitmapFillBitmaps) {
    // A 2 × 2 8-bit DIB, bottom row first: indices 0 1 / 2 0.
    Info info = MakeInfo(2, 2, 8, 3);
    info.c[0] = RGBQUAD{1, 2, 3, 9};
    info.c[1] = RGBQUAD{40, 50, 60, 9};
    info.c[2] = RGBQUAD{200, 100, 0, 9};
    const BYTE rows[8] = {0, 1, 0, 0, 2, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    HBITMAP b = CreateDIBitmap(screen, &info.h, CBM_INIT, rows, Bmi(info), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(b, nullptr);
    {
        MemDc dc(b);
        EXPECT_EQ(GetPixel(dc.dc, 0, 1), RGB(3, 2, 1));
        EXPECT_EQ(GetPixel(dc.dc, 1, 1), RGB(60, 50, 40));
        EXPECT_EQ(GetPixel(dc.dc, 0, 0), RGB(0, 100, 200));
        EXPECT_EQ(GetPixel(dc.dc, 1, 0), RGB(3, 2, 1));
    }
    // Only scan 1 (the top row) rewritten, from a band holding that one row.
    const BYTE top[4] = {1, 1, 0, 0};
    EXPECT_EQ(SetDIBits(nullptr, b, 1, 1, top, Bmi(info), DIB_RGB_COLORS), 1);
    MemDc dc(b);
    EXPECT_EQ(GetPixel(dc.dc, 0, 0), RGB(60, 50, 40));
    EXPECT_EQ(GetPixel(dc.dc, 0, 1), RGB(3, 2, 1));
    EXPECT_EQ(CreateDIBitmap(nullptr, &info.h, CBM_INIT, nullptr, Bmi(info), DIB_RGB_COLORS),
              nullptr);
}

TEST(GdiDibits, TopDownOutputAndPaletteIndexTables) {
    // A 1 × 2 8-bit section whose table indexes the default palette (DIB_PAL_COLORS):
    // entries 13 (red) and 16 (blue); bottom pixel index 0, top pixel index 1.
    Info info = MakeInfo(1, 2, 8, 2);
    const WORD indices[2] = {13, 16};
    std::memcpy(info.c, indices, sizeof indices);
    void* p = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, Bmi(info), DIB_PAL_COLORS, &p, nullptr, 0);
    ASSERT_NE(b, nullptr);
    static_cast<BYTE*>(p)[0] = 0;
    static_cast<BYTE*>(p)[4] = 1;
    Info out = MakeInfo(1, -2, 32);  // top-down: the top row first
    DWORD px[2] = {};
    ASSERT_EQ(GetDIBits(nullptr, b, 0, 2, px, Bmi(out), DIB_RGB_COLORS), 2);
    EXPECT_EQ(out.h.biHeight, -2);
    EXPECT_EQ(px[0], 0x0000FFu);  // blue on top
    EXPECT_EQ(px[1], 0xFF0000u);  // red below
    DeleteObject(b);
}

TEST(GdiHandles, ThreadsShareTheTableSafely) {
    auto work = [] {
        for (int i = 0; i < 200; ++i) {
            HBITMAP b = CreateBitmap(8, 8, 1, 24, nullptr);
            HDC dc = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(dc, b);
            PatBlt(dc, 0, 0, 8, 8, WHITENESS);
            EXPECT_EQ(GetPixel(dc, 7, 7), RGB(255, 255, 255));
            SelectObject(dc, old);
            EXPECT_TRUE(DeleteDC(dc));
            EXPECT_TRUE(DeleteObject(b));
        }
    };
    std::thread a(work), b(work), c(work);
    a.join();
    b.join();
    c.join();
}

// A 7 × 5 target at 24 bits (rows of 24 bytes: 3 bytes of padding) filled with a sentinel,
// and a 4 × 4 32-bit source whose pixel (x, y) is (R 10x + 1, G 10y + 1, B 77).
struct BlitRig {
    static constexpr BYTE kSentinel = 0x5A;
    BYTE* dstBits = nullptr;
    BYTE* srcBits = nullptr;
    HBITMAP dstBmp, srcBmp;
    HDC dst, src;
    HGDIOBJ oldDst, oldSrc;

    BlitRig() {
        dstBmp = Section(MakeInfo(7, -5, 24), &dstBits);  // top-down: row y at y × 24
        srcBmp = Section(MakeInfo(4, -4, 32), &srcBits);
        std::memset(dstBits, kSentinel, 24 * 5);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                BYTE* p = srcBits + y * 16 + x * 4;
                p[0] = 77;
                p[1] = static_cast<BYTE>(10 * y + 1);
                p[2] = static_cast<BYTE>(10 * x + 1);
                p[3] = 0;
            }
        dst = CreateCompatibleDC(nullptr);
        src = CreateCompatibleDC(nullptr);
        oldDst = SelectObject(dst, dstBmp);
        oldSrc = SelectObject(src, srcBmp);
    }
    ~BlitRig() {
        SelectObject(dst, oldDst);
        SelectObject(src, oldSrc);
        DeleteDC(dst);
        DeleteDC(src);
        DeleteObject(dstBmp);
        DeleteObject(srcBmp);
    }
    // Target pixel (x, y) as B | G << 8 | R << 16.
    DWORD At(int x, int y) const { return PixelAt(dstBits + y * 24, 24, x); }
};

TEST(GdiBlit, ClipsToBothSurfaces) {
    const struct {
        int x, y, cx, cy, sx, sy;
    } cases[] = {
        {1, 1, 4, 4, 0, 0},  {-2, -1, 4, 4, 0, 0}, {5, 3, 4, 4, 0, 0},
        {0, 0, 7, 5, -1, 2}, {2, 0, 3, 9, 3, -2},  {-9, 0, 4, 4, 0, 0},
        {0, 0, 4, 4, 4, 0},  {6, 4, 1, 1, 3, 3},   {0, 0, 100, 100, -50, -50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "blit at " << c.x << "," << c.y << " size " << c.cx
                                        << "x" << c.cy << " from " << c.sx << "," << c.sy);
        BlitRig rig;
        EXPECT_TRUE(BitBlt(rig.dst, c.x, c.y, c.cx, c.cy, rig.src, c.sx, c.sy, SRCCOPY));
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 7; ++x) {
                const int u = x - c.x + c.sx, v = y - c.y + c.sy;
                const bool inside = x >= c.x && x < c.x + c.cx && y >= c.y && y < c.y + c.cy &&
                                    u >= 0 && u < 4 && v >= 0 && v < 4;
                const DWORD want =
                    inside ? (77u | (10u * v + 1) << 8 | (10u * u + 1) << 16) : 0x5A5A5Au;
                ASSERT_EQ(rig.At(x, y), want) << x << "," << y;
            }
            for (int i = 21; i < 24; ++i) ASSERT_EQ(rig.dstBits[y * 24 + i], 0x5A) << "padding";
        }
    }
}

TEST(GdiBlit, RasterOperationsCombineBitwise) {
    // Destination 0x5A5A5A everywhere; source pixel (0, 0) is R 1, G 1, B 77 (0x01014D);
    // pattern: a solid brush R 0xF0, G 0x0F, B 0x33.
    const DWORD d = 0x5A5A5A, s = 0x01014D, p = 0xF00F33;
    const struct {
        const char* name;
        DWORD rop;
        DWORD want;
    } cases[] = {
        {"SRCCOPY", SRCCOPY, s},
        {"SRCPAINT", SRCPAINT, s | d},
        {"SRCAND", SRCAND, s & d},
        {"SRCINVERT", SRCINVERT, s ^ d},
        {"SRCERASE", SRCERASE, s & ~d & 0xFFFFFF},
        {"NOTSRCCOPY", NOTSRCCOPY, ~s & 0xFFFFFF},
        {"NOTSRCERASE", NOTSRCERASE, ~(s | d) & 0xFFFFFF},
        {"MERGEPAINT", MERGEPAINT, (~s | d) & 0xFFFFFF},
        {"PATCOPY", PATCOPY, p},
        {"PATINVERT", PATINVERT, p ^ d},
        {"DSTINVERT", DSTINVERT, ~d & 0xFFFFFF},
        {"BLACKNESS", BLACKNESS, 0},
        {"WHITENESS", WHITENESS, 0xFFFFFF},
    };
    for (const auto& c : cases) {
        BlitRig rig;
        HBRUSH brush = CreateSolidBrush(RGB(0xF0, 0x0F, 0x33));
        HGDIOBJ oldBrush = SelectObject(rig.dst, brush);
        EXPECT_TRUE(BitBlt(rig.dst, 2, 1, 1, 1, rig.src, 0, 0, c.rop)) << c.name;
        EXPECT_EQ(rig.At(2, 1), c.want) << c.name;
        EXPECT_EQ(rig.At(3, 1), d) << c.name;
        SelectObject(rig.dst, oldBrush);
        EXPECT_TRUE(DeleteObject(brush));
    }
}

TEST(GdiBlit, PatBltUsesTheSelectedBrushAndClips) {
    BlitRig rig;
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    SelectObject(rig.dst, brush);
    EXPECT_FALSE(DeleteObject(brush));  // still selected
    EXPECT_TRUE(PatBlt(rig.dst, 5, 3, 10, 10, PATCOPY));
    EXPECT_TRUE(PatBlt(rig.dst, 2, 2, -2, -2, DSTINVERT));  // reaches back: (0..1, 0..1)
    EXPECT_FALSE(PatBlt(rig.dst, 0, 0, 1, 1, SRCCOPY));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            DWORD want = 0x5A5A5A;
            if (x >= 5 && y >= 3) want = 0x010203;
            if (x < 2 && y < 2) want = 0xA5A5A5;
            EXPECT_EQ(rig.At(x, y), want) << x << "," << y;
        }
    SelectObject(rig.dst, GetStockObject(NULL_BRUSH));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(PatBlt(rig.dst, 0, 0, 7, 5, PATCOPY));  // a hollow brush paints nothing
    EXPECT_EQ(rig.At(3, 3), 0x5A5A5Au);
    for (int y = 0; y < 5; ++y)
        for (int i = 21; i < 24; ++i) EXPECT_EQ(rig.dstBits[y * 24 + i], 0x5A);
}

TEST(GdiBlit, OverlappingCopyWithinOneSurface) {
    BlitRig rig;
    EXPECT_TRUE(BitBlt(rig.dst, 0, 0, 4, 4, rig.src, 0, 0, SRCCOPY));
    // Down and right by one within the target: every pixel takes its old upper-left neighbour.
    EXPECT_TRUE(BitBlt(rig.dst, 1, 1, 4, 4, rig.dst, 0, 0, SRCCOPY));
    for (int y = 1; y < 5; ++y)
        for (int x = 1; x < 5; ++x)
            EXPECT_EQ(rig.At(x, y), 77u | (10u * (y - 1) + 1) << 8 | (10u * (x - 1) + 1) << 16);
}

// A 2 × 2 32-bit bottom-up DIB: top row A B, bottom row C D.
constexpr DWORD kA = 0x0A0A0A, kB = 0x0B0B0B, kC = 0x0C0C0C, kD = 0x0D0D0D;
const BYTE kQuad[16] = {0x0C, 0x0C, 0x0C, 0, 0x0D, 0x0D, 0x0D, 0,
                        0x0A, 0x0A, 0x0A, 0, 0x0B, 0x0B, 0x0B, 0};

// clang-format off
TEST(GdiStretch, DoublesAndMirrorsByNearestNeighbour) {
    Info info = MakeInfo(2, 2, 32);
    constexpr DWORD U = 0x5A5A5A;  // untouched
    const struct {
        const char* name;
        int x, y, w, h, sw, sh;
        DWORD rows[4][4];  // expected target (x 0..3, y 0..3)
    } cases[] = {
        {"double", 0, 0, 4, 4, 2, 2,
         {{kA, kA, kB, kB}, {kA, kA, kB, kB}, {kC, kC, kD, kD}, {kC, kC, kD, kD}}},
        {"mirror x by destination", 4, 0, -4, 4, 2, 2,
         {{kB, kB, kA, kA}, {kB, kB, kA, kA}, {kD, kD, kC, kC}, {kD, kD, kC, kC}}},
        {"mirror y by destination", 0, 2, 2, -2, 2, 2,
         {{kC, kD, U, U}, {kA, kB, U, U}, {U, U, U, U}, {U, U, U, U}}},
        {"both mirrored is upright", 2, 2, -2, -2, -2, -2,
         {{kA, kB, U, U}, {kC, kD, U, U}, {U, U, U, U}, {U, U, U, U}}},
        {"halve", 1, 1, 1, 1, 2, 2, {{U, U, U, U}, {U, kD, U, U}, {U, U, U, U}, {U, U, U, U}}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BYTE* bits = nullptr;
        HBITMAP target = Section(MakeInfo(4, -4, 32), &bits);
        std::memset(bits, 0x5A, 64);
        for (int i = 3; i < 64; i += 4) bits[i] = 0;
        MemDc dc(target);
        const int sx = c.sw < 0 ? 2 : 0, sy = c.sh < 0 ? 2 : 0;
        EXPECT_EQ(StretchDIBits(dc.dc, c.x, c.y, c.w, c.h, sx, sy, c.sw, c.sh, kQuad, Bmi(info),
                                DIB_RGB_COLORS, SRCCOPY),
                  2);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(PixelAt(bits + y * 16, 32, x), c.rows[y][x]) << x << "," << y;
        SelectObject(dc.dc, dc.old);
        DeleteObject(target);
    }
}

TEST(GdiStretch, SetDIBitsToDeviceTakesSourceFromTheBottomLeftAndHonoursBands) {
    Info info = MakeInfo(2, 2, 32);
    BYTE* bits = nullptr;
    HBITMAP target = Section(MakeInfo(4, -4, 32), &bits);
    MemDc dc(target);
    // Source (1, 1) of size 1 × 1 is scan 1 from the bottom: the top row, pixel B.
    EXPECT_EQ(SetDIBitsToDevice(dc.dc, 0, 0, 1, 1, 1, 1, 0, 2, kQuad, Bmi(info), DIB_RGB_COLORS),
              2);
    EXPECT_EQ(PixelAt(bits, 32, 0), kB);
    // Whole picture at (2, 2) from a band holding only scan 0 (the bottom row C D).
    EXPECT_EQ(SetDIBitsToDevice(dc.dc, 2, 2, 2, 2, 0, 0, 0, 1, kQuad, Bmi(info), DIB_RGB_COLORS),
              1);
    EXPECT_EQ(PixelAt(bits + 2 * 16, 32, 2), 0u);
    EXPECT_EQ(PixelAt(bits + 3 * 16, 32, 2), kC);
    EXPECT_EQ(PixelAt(bits + 3 * 16, 32, 3), kD);
    // Far outside either surface: nothing drawn, nothing read.
    EXPECT_EQ(SetDIBitsToDevice(dc.dc, -100, 0, 4000000000u, 2, 0, 0, 0, 2, kQuad, Bmi(info),
                                DIB_RGB_COLORS),
              2);
    EXPECT_EQ(StretchDIBits(dc.dc, 0, 0, 2147483647, 3, -2147483647, 0, 2147483647, 2, kQuad,
                            Bmi(info), DIB_RGB_COLORS, SRCCOPY),
              2);
    SelectObject(dc.dc, dc.old);
    DeleteObject(target);
}

TEST(GdiPalette, CreateSelectAndReadEntries) {
    struct {
        WORD version, count;
        PALETTEENTRY e[3];
    } lp = {0x300, 3, {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}}};
    HPALETTE pal = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
    ASSERT_NE(pal, nullptr);
    EXPECT_EQ(GetPaletteEntries(pal, 0, 0, nullptr), 3u);
    PALETTEENTRY out[4] = {};
    EXPECT_EQ(GetPaletteEntries(pal, 1, 4, out), 2u);
    EXPECT_EQ(out[1].peBlue, 9);
    EXPECT_EQ(GetPaletteEntries(pal, 3, 1, out), 0u);
    HDC screen = GetDC(nullptr);
    HPALETTE old = SelectPalette(screen, pal, FALSE);
    EXPECT_EQ(old, GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(RealizePalette(screen), 0u);
    EXPECT_FALSE(DeleteObject(pal));
    EXPECT_EQ(SelectPalette(screen, old, FALSE), pal);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(DeleteObject(pal));
    lp.version = 0x200;
    EXPECT_EQ(CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp)), nullptr);
}

TEST(GdiResources, EmbeddedBitmapsLoadAndUnknownIdsDoNot) {
    EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCE(1)), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, "2000"), nullptr);
    for (const auto* r = Zumeld::Platform::kEmbeddedResources; r->bytes != nullptr; ++r) {
        SCOPED_TRACE(r->id);
        BITMAPINFOHEADER h;
        DWORD offBits;
        std::memcpy(&h, r->bytes + 14, sizeof h);
        std::memcpy(&offBits, r->bytes + 10, 4);
        HBITMAP b = LoadBitmapA(nullptr, MAKEINTRESOURCE(r->id));
        ASSERT_NE(b, nullptr);
        BITMAP bm;
        ASSERT_EQ(GetObjectA(b, sizeof bm, &bm), static_cast<int>(sizeof bm));
        EXPECT_EQ(bm.bmWidth, h.biWidth);
        EXPECT_EQ(bm.bmHeight, h.biHeight);
        if (h.biBitCount == 24 && h.biHeight > 0) {
            // The top-left pixel is the first pixel of the file's last row.
            const BYTE* p = r->bytes + offBits + (h.biHeight - 1) * Stride(h.biWidth, 24);
            MemDc dc(b);
            EXPECT_EQ(GetPixel(dc.dc, 0, 0), RGB(p[2], p[1], p[0]));
        }
        EXPECT_TRUE(DeleteObject(b));
    }
}

}  // namespace

namespace {

// A 3 × 2 8-bit .bmp file with a 4-entry table: bottom row indices 0 1 2, top row 3 3 0.
std::vector<BYTE> SmallBmpFile() {
    std::vector<BYTE> f(14 + 40 + 16 + 8, 0);
    auto put32 = [&](std::size_t at, DWORD v) { std::memcpy(&f[at], &v, 4); };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, static_cast<DWORD>(f.size()));
    put32(10, 14 + 40 + 16);
    put32(14, 40);
    put32(18, 3);
    put32(22, 2);
    f[26] = 1;
    f[28] = 8;
    put32(46, 4);
    const BYTE table[16] = {10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0, 1, 2, 3, 0};
    std::memcpy(&f[54], table, 16);
    const BYTE rows[8] = {0, 1, 2, 0, 3, 3, 0, 0};
    std::memcpy(&f[70], rows, 8);
    return f;
}

HBITMAP FromFile(const std::vector<BYTE>& f) {
    return Zumeld::Platform::BitmapFromBmpFile(f.data(), f.size());
}

TEST(GdiResources, BmpFileBuildsTheBitmap) {
    HBITMAP b = FromFile(SmallBmpFile());
    ASSERT_NE(b, nullptr);
    MemDc dc(b);
    EXPECT_EQ(GetPixel(dc.dc, 0, 0), RGB(3, 2, 1));
    EXPECT_EQ(GetPixel(dc.dc, 2, 0), RGB(30, 20, 10));
    EXPECT_EQ(GetPixel(dc.dc, 1, 1), RGB(60, 50, 40));
    EXPECT_EQ(GetPixel(dc.dc, 2, 1), RGB(90, 80, 70));
    SelectObject(dc.dc, dc.old);
    EXPECT_TRUE(DeleteObject(b));
}

TEST(GdiResources, EveryTruncationIsRefused) {
    const std::vector<BYTE> full = SmallBmpFile();
    for (std::size_t n = 0; n < full.size(); ++n) {
        const std::vector<BYTE> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_EQ(FromFile(cut), nullptr) << n << " bytes";
    }
}

TEST(GdiResources, DamagedHeadersAreRefused) {
    const struct {
        const char* name;
        std::size_t at;
        DWORD value;
    } cases[] = {
        {"not BM", 0, 0x4D41},
        {"header size 12", 14, 12},
        {"header size huge", 14, 0xFFFFFFFF},
        {"width 0", 18, 0},
        {"negative width", 18, 0xFFFFFFFD},
        {"huge width", 18, 0x7FFFFFFF},
        {"height 0", 22, 0},
        {"most negative height", 22, 0x80000000},
        {"tall", 22, 40000},
        {"bit count 7", 28, 7},
        {"run-length", 30, BI_RLE8},
        {"table past the end", 46, 0},
        {"pixels past the end", 10, 72},
        {"pixel offset past the file", 10, 0xFFFFFFF0},
        {"pixel offset inside the file header", 10, 4},
    };
    for (const auto& c : cases) {
        std::vector<BYTE> f = SmallBmpFile();
        if (c.at == 0) {
            f[0] = static_cast<BYTE>(c.value);
            f[1] = static_cast<BYTE>(c.value >> 8);
        } else if (c.at == 28) {
            f[28] = static_cast<BYTE>(c.value);
        } else {
            std::memcpy(&f[c.at], &c.value, 4);
        }
        EXPECT_EQ(FromFile(f), nullptr) << c.name;
    }
}

}  // namespace
