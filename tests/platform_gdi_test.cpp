// The in-memory GDI: handles, DIB read-out and write-in at every depth, contexts, palettes,
// brushes, blits with their clipping and raster operations, stretching, and bitmap resources.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "test_random.h"
#include "zumeld/platform/gdi_p.h"
#include "zumeld/platform/resources_p.h"
#include "zumeld/platform/win32.h"

namespace {

using zumeld_test::TestRandom;

constexpr DWORD kInvalid = 0xFFFFFFFF;  // GetPixel's failure value
constexpr DWORD kUntouched = 0x5A5A5A;  // the fill of blit and stretch targets

// A BITMAPINFO with room for a full colour table.
struct Info {
    BITMAPINFOHEADER h;
    RGBQUAD c[256];
};

Info MakeInfo(int w, int h, int bits, DWORD clrUsed = 0, DWORD compression = BI_RGB) {
    Info i{};
    i.h.biSize = sizeof(BITMAPINFOHEADER);
    i.h.biWidth = w;
    i.h.biHeight = h;
    i.h.biPlanes = 1;
    i.h.biBitCount = static_cast<WORD>(bits);
    i.h.biCompression = compression;
    i.h.biClrUsed = clrUsed;
    return i;
}

BITMAPINFO* Bmi(Info& i) {
    return reinterpret_cast<BITMAPINFO*>(&i);
}

// A DIB section; its pixels through *bits.
HBITMAP Section(Info info, BYTE** bits, UINT usage = DIB_RGB_COLORS) {
    void* p = nullptr;
    HBITMAP h = CreateDIBSection(nullptr, Bmi(info), usage, &p, nullptr, 0);
    *bits = static_cast<BYTE*>(p);
    return h;
}

// Pixel x of a packed row as a number (index, 16-bit word, or B | G << 8 | R << 16).
DWORD PixelAt(const BYTE* row, int bits, int x) {
    if (bits < 8) return (row[x * bits / 8] >> (8 - bits - x * bits % 8)) & ((1u << bits) - 1);
    DWORD v = 0;
    for (int k = 0; k < bits / 8 && k < 3; ++k) v |= DWORD{row[x * bits / 8 + k]} << 8 * k;
    return v;
}

// Pixel (x, y) of a bitmap that no context holds, read through a memory context.
COLORREF PixelOf(HBITMAP b, int x, int y) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, b);
    const COLORREF c = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return c;
}

// A memory context holding a bitmap; deselects it and deletes both on destruction.
struct MemDc {
    HBITMAP bmp;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    explicit MemDc(HBITMAP b) : bmp(b) {}
    ~MemDc() {
        SelectObject(dc, old);
        EXPECT_TRUE(DeleteDC(dc));
        EXPECT_TRUE(DeleteObject(bmp));
    }
};

TEST(GdiHandles, UnknownAndDeletedHandlesFailQuietly) {
    HBITMAP deleted = CreateBitmap(4, 4, 1, 24, nullptr);
    ASSERT_TRUE(DeleteObject(deleted));
    HDC deadDc = CreateCompatibleDC(nullptr);
    ASSERT_TRUE(DeleteDC(deadDc));
    for (HBITMAP h : {HBITMAP{}, deleted, reinterpret_cast<HBITMAP>(0x7777),
                      reinterpret_cast<HBITMAP>(deadDc)}) {
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
        EXPECT_EQ(GetPixel(hdc, 0, 0), kInvalid);
        EXPECT_EQ(GetDeviceCaps(hdc, BITSPIXEL), 0);
        EXPECT_EQ(hdc ? CreateCompatibleDC(hdc) : nullptr, nullptr);  // null: the screen's
    }
}

TEST(GdiHandles, ABitmapGoesIntoOneMemoryContextAndNeverTheScreen) {
    HBITMAP b = CreateBitmap(2, 2, 1, 32, nullptr);
    HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen),
        other = CreateCompatibleDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(SelectObject(screen, b), nullptr);
    HGDIOBJ old = SelectObject(dc, b);
    ASSERT_NE(old, nullptr);
    EXPECT_FALSE(DeleteObject(b));  // still selected
    EXPECT_EQ(SelectObject(other, b), nullptr);
    EXPECT_EQ(SelectObject(dc, old), b);
    EXPECT_TRUE(DeleteObject(b));
    EXPECT_EQ(ReleaseDC(nullptr, dc), 0);  // not a GetDC context
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_TRUE(DeleteDC(other));
    EXPECT_TRUE(DeleteDC(dc));
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
        DWORD compression, headerSize = sizeof(BITMAPINFOHEADER);
    } cases[] = {{0, 4, 24, BI_RGB},          {-3, 4, 24, BI_RGB},       {4, 0, 24, BI_RGB},
                 {4, INT32_MIN, 24, BI_RGB},  {4, 4, 2, BI_RGB},         {4, 4, 8, BI_RLE8},
                 {4, 4, 24, BI_BITFIELDS},    {46341, 46341, 8, BI_RGB}, {65536, -32768, 8, BI_RGB},
                 {2147483647, 1, 32, BI_RGB}, {4, 4, 24, BI_RGB, 12}};
    for (const auto& c : cases) {
        Info info = MakeInfo(c.w, c.h, c.bits, 0, c.compression);
        info.h.biSize = c.headerSize;
        BYTE* bits = reinterpret_cast<BYTE*>(1);
        EXPECT_EQ(Section(info, &bits), nullptr) << c.w << "x" << c.h << "x" << c.bits;
        EXPECT_EQ(bits, nullptr);
    }
    Info flat = MakeInfo(4, 0, 24);
    EXPECT_EQ(CreateDIBitmap(nullptr, &flat.h, 0, nullptr, nullptr, DIB_RGB_COLORS), nullptr);
}

TEST(GdiDibits, HeaderOnlyCallsDescribeTheBitmap) {
    HBITMAP b = CreateBitmap(100, 50, 1, 32, nullptr);
    const struct {
        int bits;
        DWORD compression, sizeImage;
    } cases[] = {{32, BI_RGB, 20000}, {24, BI_RGB, 15000}, {16, BI_BITFIELDS, 10000},
                 {8, BI_RGB, 5000},   {4, BI_RGB, 2600},   {1, BI_RGB, 800},
                 {0, BI_RGB, 20000}};
    for (const auto& c : cases) {
        Info info = MakeInfo(0, 0, c.bits, 0, c.compression);
        EXPECT_NE(GetDIBits(nullptr, b, 0, 50, nullptr, Bmi(info), DIB_RGB_COLORS), 0);
        // Handed out in the default layout; bit count 0 gets the bitmap's own depth.
        EXPECT_EQ(std::tuple(info.h.biWidth, info.h.biHeight, info.h.biBitCount, info.h.biSizeImage,
                             info.h.biCompression),
                  std::tuple(100, 50, c.bits ? c.bits : 32, c.sizeImage, BI_RGB));
    }
    // A short table asked for (biClrUsed 20) is all that is written.
    Info shortTable = MakeInfo(100, 50, 8, 20);
    std::memset(shortTable.c, 0xEE, sizeof shortTable.c);
    EXPECT_NE(GetDIBits(nullptr, b, 0, 50, nullptr, Bmi(shortTable), DIB_RGB_COLORS), 0);
    EXPECT_EQ(shortTable.c[20].rgbBlue, 0xEE);
    EXPECT_EQ(shortTable.c[19].rgbReserved, 0);
    EXPECT_EQ(shortTable.h.biClrUsed, 20u);
    DeleteObject(b);
}

TEST(GdiDibits, EveryDepthRoundTripsThroughADibSectionWholeAndInBands) {
    TestRandom rng(0x6D1B);
    const int w = 13, h = 7;
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, seed " << rng.Seed());
        Info info = MakeInfo(w, h, bits);
        for (int i = 0; i < 256; ++i)  // distinct colours: each index maps back to itself
            info.c[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 7),
                         0};
        BYTE* pixels = nullptr;
        HBITMAP b = Section(info, &pixels);
        ASSERT_NE(b, nullptr);
        const int stride = (w * bits + 31) / 32 * 4;
        for (int i = 0; i < stride * h; ++i) pixels[i] = static_cast<BYTE>(rng.Next());
        if (bits == 16)  // the unused top bit of 5-5-5 reads back as 0
            for (int i = 1; i < stride * h; i += 2) pixels[i] &= 0x7F;

        std::vector<BYTE> out(static_cast<std::size_t>(stride) * h), band(out.size()), flip(out);
        Info back = MakeInfo(w, h, bits), down = MakeInfo(w, -h, bits);  // down: top row first
        ASSERT_EQ(GetDIBits(nullptr, b, 0, h, out.data(), Bmi(back), DIB_RGB_COLORS), h);
        ASSERT_EQ(GetDIBits(nullptr, b, 0, h, flip.data(), Bmi(down), DIB_RGB_COLORS), h);
        // Scans 2, 3, 4 land in rows 0, 1, 2 of a band.
        ASSERT_EQ(GetDIBits(nullptr, b, 2, 3, band.data(), Bmi(back), DIB_RGB_COLORS), 3);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const DWORD want = PixelAt(pixels + y * stride, bits, x);
                ASSERT_EQ(PixelAt(out.data() + y * stride, bits, x), want) << x << "," << y;
                ASSERT_EQ(PixelAt(flip.data() + (h - 1 - y) * stride, bits, x), want);
                if (y >= 2 && y < 5) {
                    ASSERT_EQ(PixelAt(band.data() + (y - 2) * stride, bits, x), want);
                }
            }
        for (int i = 0; bits <= 8 && i < (1 << bits); ++i)
            EXPECT_EQ(std::memcmp(&back.c[i], &info.c[i], 4), 0) << i;
        EXPECT_EQ(GetDIBits(nullptr, b, 5, 10, band.data(), Bmi(back), DIB_RGB_COLORS), 2);
        EXPECT_EQ(GetDIBits(nullptr, b, 7, 1, band.data(), Bmi(back), DIB_RGB_COLORS), 0);
        DeleteObject(b);
    }
}

TEST(GdiDibits, ConvertsBetweenDepths) {
    // One 24-bit pixel (R 255, G 128, B 8) read out at other depths.
    BYTE* pixels = nullptr;
    HBITMAP b = Section(MakeInfo(1, 1, 24), &pixels);
    std::memcpy(pixels, "\x08\x80\xFF", 3);
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
    info.c[0] = {1, 2, 3, 9};
    info.c[1] = {40, 50, 60, 9};
    info.c[2] = {200, 100, 0, 9};
    const BYTE rows[8] = {0, 1, 0, 0, 2, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    HBITMAP b = CreateDIBitmap(screen, &info.h, CBM_INIT, rows, Bmi(info), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(b, nullptr);
    auto all = [b] {
        return std::vector{PixelOf(b, 0, 0), PixelOf(b, 1, 0), PixelOf(b, 0, 1), PixelOf(b, 1, 1)};
    };
    const COLORREF i0 = RGB(3, 2, 1), i1 = RGB(60, 50, 40), i2 = RGB(0, 100, 200);
    EXPECT_EQ(all(), (std::vector{i2, i0, i0, i1}));
    // Only scan 1 (the top row) rewritten, from a band holding that one row.
    const BYTE top[4] = {1, 1, 0, 0};
    EXPECT_EQ(SetDIBits(nullptr, b, 1, 1, top, Bmi(info), DIB_RGB_COLORS), 1);
    EXPECT_EQ(all(), (std::vector{i1, i1, i0, i1}));
    EXPECT_TRUE(DeleteObject(b));
    EXPECT_EQ(CreateDIBitmap(nullptr, &info.h, CBM_INIT, nullptr, Bmi(info), DIB_RGB_COLORS),
              nullptr);
}

TEST(GdiHandles, ThreadsShareTheTableSafely) {
    auto work = [] {
        for (int i = 0; i < 200; ++i) {
            MemDc m(CreateBitmap(8, 8, 1, 24, nullptr));
            PatBlt(m.dc, 0, 0, 8, 8, WHITENESS);
            EXPECT_EQ(GetPixel(m.dc, 7, 7), RGB(255, 255, 255));
        }
    };
    std::jthread a(work), b(work), c(work);
}

// A 7 × 5 top-down target at 24 bits (rows of 24 bytes, 3 of them padding) filled with 0x5A,
// and a 4 × 4 32-bit source whose pixel (x, y) is (R 10x + 1, G 10y + 1, B 77).
struct BlitRig {
    BYTE* dstBits = nullptr;
    BYTE* srcBits = nullptr;
    MemDc dst{Section(MakeInfo(7, -5, 24), &dstBits)};
    MemDc src{Section(MakeInfo(4, -4, 32), &srcBits)};
    BlitRig() {
        std::memset(dstBits, 0x5A, 24 * 5);
        for (int i = 0; i < 16; ++i) {
            const DWORD v = Source(i % 4, i / 4);
            std::memcpy(srcBits + 4 * i, &v, 4);
        }
    }
    static DWORD Source(int x, int y) { return 77u | (10u * y + 1) << 8 | (10u * x + 1) << 16; }
    DWORD At(int x, int y) const { return PixelAt(dstBits + y * 24, 24, x); }
    void ExpectPaddingUntouched() const {
        for (int y = 0; y < 5; ++y)
            for (int i = 21; i < 24; ++i) ASSERT_EQ(dstBits[y * 24 + i], 0x5A) << "padding";
    }
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
        EXPECT_TRUE(BitBlt(rig.dst.dc, c.x, c.y, c.cx, c.cy, rig.src.dc, c.sx, c.sy, SRCCOPY));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const int u = x - c.x + c.sx, v = y - c.y + c.sy;
                const bool inside = x >= c.x && x < c.x + c.cx && y >= c.y && y < c.y + c.cy &&
                                    u >= 0 && u < 4 && v >= 0 && v < 4;
                ASSERT_EQ(rig.At(x, y), inside ? BlitRig::Source(u, v) : kUntouched)
                    << x << "," << y;
            }
        rig.ExpectPaddingUntouched();
    }
}

TEST(GdiBlit, RasterOperationsCombineBitwise) {
    // Destination 0x5A5A5A, source pixel (0, 0) 0x01014D, pattern a solid brush 0xF00F33.
    const DWORD d = 0x5A5A5A, s = 0x01014D, p = 0xF00F33, all = 0xFFFFFF;
    const struct {
        DWORD rop, want;
    } cases[] = {{SRCCOPY, s},           {SRCPAINT, s | d},
                 {SRCAND, s & d},        {SRCERASE, s & ~d & all},
                 {NOTSRCCOPY, ~s & all}, {MERGEPAINT, (~s | d) & all},
                 {PATCOPY, p},           {PATINVERT, p ^ d},
                 {DSTINVERT, ~d & all},  {BLACKNESS, 0},
                 {WHITENESS, all}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "rop " << std::hex << c.rop);
        BlitRig rig;
        HBRUSH brush = CreateSolidBrush(RGB(0xF0, 0x0F, 0x33));
        HGDIOBJ oldBrush = SelectObject(rig.dst.dc, brush);
        EXPECT_TRUE(BitBlt(rig.dst.dc, 2, 1, 1, 1, rig.src.dc, 0, 0, c.rop));
        EXPECT_EQ(rig.At(2, 1), c.want);
        EXPECT_EQ(rig.At(3, 1), d);
        SelectObject(rig.dst.dc, oldBrush);
        EXPECT_TRUE(DeleteObject(brush));
    }
}

TEST(GdiBlit, PatBltUsesTheSelectedBrushAndClips) {
    BlitRig rig;
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    SelectObject(rig.dst.dc, brush);
    EXPECT_FALSE(DeleteObject(brush));  // still selected
    EXPECT_TRUE(PatBlt(rig.dst.dc, 5, 3, 10, 10, PATCOPY));
    EXPECT_TRUE(PatBlt(rig.dst.dc, 2, 2, -2, -2, DSTINVERT));  // reaches back: (0..1, 0..1)
    EXPECT_FALSE(PatBlt(rig.dst.dc, 0, 0, 1, 1, SRCCOPY));
    SelectObject(rig.dst.dc, GetStockObject(NULL_BRUSH));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(PatBlt(rig.dst.dc, 0, 0, 7, 5, PATCOPY));  // a hollow brush paints nothing
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            DWORD want = kUntouched;
            if (x >= 5 && y >= 3) want = 0x010203;
            if (x < 2 && y < 2) want = 0xA5A5A5;
            EXPECT_EQ(rig.At(x, y), want) << x << "," << y;
        }
    rig.ExpectPaddingUntouched();
}

TEST(GdiBlit, OverlappingCopyWithinOneSurface) {
    BlitRig rig;
    EXPECT_TRUE(BitBlt(rig.dst.dc, 0, 0, 4, 4, rig.src.dc, 0, 0, SRCCOPY));
    // Down and right by one within the target: every pixel takes its old upper-left neighbour.
    EXPECT_TRUE(BitBlt(rig.dst.dc, 1, 1, 4, 4, rig.dst.dc, 0, 0, SRCCOPY));
    for (int y = 1; y < 5; ++y)
        for (int x = 1; x < 5; ++x) EXPECT_EQ(rig.At(x, y), BlitRig::Source(x - 1, y - 1));
}

// A 2 × 2 32-bit bottom-up DIB: top row A B, bottom row C D (0x0A0A0A ... 0x0D0D0D).
const BYTE kQuad[16] = {0x0C, 0x0C, 0x0C, 0, 0x0D, 0x0D, 0x0D, 0,
                        0x0A, 0x0A, 0x0A, 0, 0x0B, 0x0B, 0x0B, 0};

// A 4 × 4 32-bit top-down target filled with the untouched colour.
struct QuadTarget {
    BYTE* bits = nullptr;
    MemDc dc{Section(MakeInfo(4, -4, 32), &bits)};
    QuadTarget() {
        for (int i = 0; i < 16; ++i) std::memcpy(bits + 4 * i, &kUntouched, 4);
    }
    // The target read as rows of four letters split by '/': A-D the quad's colours, '.'
    // untouched.
    void Expect(const char* want) const {
        for (int i = 0; i < 16; ++i) {
            const char w = want[i + i / 4];
            const DWORD c = w == '.' ? kUntouched : 0x0A0A0Au + (w - 'A') * 0x010101u;
            EXPECT_EQ(PixelAt(bits + 4 * i, 32, 0), c) << "pixel " << i % 4 << "," << i / 4;
        }
    }
};

TEST(GdiStretch, DoublesHalvesAndMirrorsByNearestNeighbour) {
    Info info = MakeInfo(2, 2, 32);
    const struct {
        const char* name;
        int x, y, w, h, sw, sh;
        const char* want;
    } cases[] = {
        {"double", 0, 0, 4, 4, 2, 2, "AABB/AABB/CCDD/CCDD"},
        {"mirror x by destination", 4, 0, -4, 4, 2, 2, "BBAA/BBAA/DDCC/DDCC"},
        {"mirror y by destination", 0, 2, 2, -2, 2, 2, "CD../AB../..../...."},
        {"both mirrored is upright", 2, 2, -2, -2, -2, -2, "AB../CD../..../...."},
        {"halve", 1, 1, 1, 1, 2, 2, "..../.D../..../...."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QuadTarget t;
        const int sx = c.sw < 0 ? 2 : 0, sy = c.sh < 0 ? 2 : 0;
        EXPECT_EQ(StretchDIBits(t.dc.dc, c.x, c.y, c.w, c.h, sx, sy, c.sw, c.sh, kQuad, Bmi(info),
                                DIB_RGB_COLORS, SRCCOPY),
                  2);
        t.Expect(c.want);
    }
}

TEST(GdiStretch, SetDIBitsToDeviceTakesSourceFromTheBottomLeftAndHonoursBands) {
    Info info = MakeInfo(2, 2, 32);
    QuadTarget t;
    // Source (1, 1) of size 1 × 1 is scan 1 from the bottom: the top row, pixel B.
    EXPECT_EQ(SetDIBitsToDevice(t.dc.dc, 0, 0, 1, 1, 1, 1, 0, 2, kQuad, Bmi(info), DIB_RGB_COLORS),
              2);
    // Whole picture at (2, 2) from a band holding only scan 0 (the bottom row C D).
    EXPECT_EQ(SetDIBitsToDevice(t.dc.dc, 2, 2, 2, 2, 0, 0, 0, 1, kQuad, Bmi(info), DIB_RGB_COLORS),
              1);
    // Far outside either surface: nothing drawn, nothing read.
    EXPECT_EQ(SetDIBitsToDevice(t.dc.dc, -100, 0, 4000000000u, 2, 0, 0, 0, 2, kQuad, Bmi(info),
                                DIB_RGB_COLORS),
              2);
    EXPECT_EQ(StretchDIBits(t.dc.dc, 0, 0, 2147483647, 3, -2147483647, 0, 2147483647, 2, kQuad,
                            Bmi(info), DIB_RGB_COLORS, SRCCOPY),
              2);
    t.Expect("B.../..../..../..CD");
}

TEST(GdiPalette, CreateSelectRealizeAndDelete) {
    struct {
        WORD version, count;
        PALETTEENTRY e[3];
    } lp = {0x300, 3, {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}}};
    HPALETTE pal = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
    PALETTEENTRY out[4] = {};
    EXPECT_EQ(GetPaletteEntries(pal, 1, 4, out), 2u);  // clipped to the 3 entries
    EXPECT_EQ(out[1].peBlue, 9);
    HDC screen = GetDC(nullptr);
    HPALETTE old = SelectPalette(screen, pal, FALSE);
    EXPECT_EQ(old, GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(RealizePalette(screen), 0u);
    EXPECT_FALSE(DeleteObject(pal));  // still selected
    EXPECT_EQ(SelectPalette(screen, old, FALSE), pal);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(DeleteObject(pal));
    EXPECT_TRUE(DeleteObject(old));  // the stock palette ignores deletion and stays
    EXPECT_EQ(GetPaletteEntries(old, 0, 0, nullptr), 20u);
    lp.version = 0x200;
    EXPECT_EQ(CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp)), nullptr);
    EXPECT_EQ(GetStockObject(6), nullptr);
    EXPECT_EQ(GetStockObject(-1), nullptr);
}

TEST(GdiResources, EmbeddedBitmapsLoadAndUnknownIdsDoNot) {
    EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCE(1)), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, "2000"), nullptr);
    for (const auto* r = Zumeld::Platform::kEmbeddedResources; r->bytes != nullptr; ++r) {
        BITMAPINFOHEADER h;
        std::memcpy(&h, r->bytes + 14, sizeof h);
        HBITMAP b = LoadBitmapA(nullptr, MAKEINTRESOURCE(r->id));
        BITMAP bm;
        ASSERT_EQ(GetObjectA(b, sizeof bm, &bm), static_cast<int>(sizeof bm)) << r->id;
        EXPECT_EQ(std::pair(bm.bmWidth, bm.bmHeight), std::pair(h.biWidth, h.biHeight)) << r->id;
        EXPECT_TRUE(DeleteObject(b));
    }
}

// A 3 × 2 8-bit .bmp file with a 4-entry table: bottom row indices 0 1 2, top row 3 3 0.
std::vector<BYTE> SmallBmpFile() {
    return {
        'B', 'M', 78, 0, 0,  0,  0,  0, 0,  0,  70, 0, 0, 0,  // file size 78, pixels at 70
        40,  0,   0,  0, 3,  0,  0,  0, 2,  0,  0,  0, 1, 0, 8, 0, 0, 0, 0, 0,  // 3 × 2 × 8, BI_RGB
        0,   0,   0,  0, 0,  0,  0,  0, 0,  0,  0,  0, 4, 0, 0, 0, 0, 0, 0, 0,  // 4 colours used
        10,  20,  30, 0, 40, 50, 60, 0, 70, 80, 90, 0, 1, 2, 3, 0,              // the table
        0,   1,   2,  0, 3,  3,  0,  0};                                        // the rows
}

HBITMAP FromFile(const std::vector<BYTE>& f) {
    return Zumeld::Platform::BitmapFromBmpFile(f.data(), f.size());
}

TEST(GdiResources, BmpFileBuildsTheBitmap) {
    HBITMAP b = FromFile(SmallBmpFile());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(PixelOf(b, 0, 0), RGB(3, 2, 1));
    EXPECT_EQ(PixelOf(b, 2, 0), RGB(30, 20, 10));
    EXPECT_EQ(PixelOf(b, 1, 1), RGB(60, 50, 40));
    EXPECT_EQ(PixelOf(b, 2, 1), RGB(90, 80, 70));
    EXPECT_TRUE(DeleteObject(b));
}

TEST(GdiResources, TruncatedOrDamagedBmpFilesAreRefused) {
    const std::vector<BYTE> full = SmallBmpFile();
    for (std::size_t n = 0; n < full.size(); ++n)
        EXPECT_EQ(FromFile({full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)}), nullptr)
            << n << " bytes";
    // Signature; header size; width; height; bit count; compression; colours used (0: a
    // table of 256 past the end); pixel offset past the end, far past, or inside the header.
    const struct {
        std::size_t at;
        DWORD value;
    } cases[] = {{0, 0x4D41},      {14, 12}, {14, 0xFFFFFFFF}, {18, 0},          {18, 0xFFFFFFFD},
                 {18, 0x7FFFFFFF}, {22, 0},  {22, 0x80000000}, {22, 40000},      {28, 7},
                 {30, BI_RLE8},    {46, 0},  {10, 72},         {10, 0xFFFFFFF0}, {10, 4}};
    for (const auto& c : cases) {
        std::vector<BYTE> f = full;
        std::memcpy(&f[c.at], &c.value, c.at == 0 || c.at == 28 ? 2 : 4);  // WORD or DWORD
        EXPECT_EQ(FromFile(f), nullptr) << "offset " << c.at << " value " << c.value;
    }
}

}  // namespace
