// The in-memory GDI: handles, refused sizes, extents far outside both surfaces. How the pixels
// of every depth are read out, written in, blitted (clipping included) and stretched, and
// CreateDIBitmap, are checked against Windows itself by the GDI probe (tests/gdi_diff).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "wine_skip.h"
#include "zumeld/platform/win32.h"

namespace {

struct Info {  // a BITMAPINFO with room for a full colour table
    BITMAPINFOHEADER h;
    RGBQUAD c[256];
    BITMAPINFO* bmi() { return reinterpret_cast<BITMAPINFO*>(this); }
};

Info MakeInfo(int w, int h, int bits, DWORD clrUsed = 0, DWORD compression = BI_RGB) {
    return {{sizeof(BITMAPINFOHEADER), w, h, 1, static_cast<WORD>(bits), compression, 0, 0, 0,
             clrUsed, 0},
            {}};
}

HBITMAP Section(Info info, BYTE** bits) {
    void* p = nullptr;
    HBITMAP h = CreateDIBSection(nullptr, info.bmi(), DIB_RGB_COLORS, &p, nullptr, 0);
    *bits = static_cast<BYTE*>(p);
    return h;
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
    HDC deadDc = CreateCompatibleDC(nullptr);
    ASSERT_TRUE(DeleteObject(deleted) && DeleteDC(deadDc));
    for (HBITMAP h : {HBITMAP{}, deleted, reinterpret_cast<HBITMAP>(0x7777),
                      reinterpret_cast<HBITMAP>(deadDc)}) {
        BITMAP bm;
        Info info = MakeInfo(4, 4, 32);
        BYTE pixels[64];
        HDC hdc = reinterpret_cast<HDC>(h);
        EXPECT_EQ(GetObjectA(h, sizeof bm, &bm), 0);
        EXPECT_FALSE(DeleteObject(h) || DeleteDC(hdc) || PatBlt(hdc, 0, 0, 1, 1, BLACKNESS));
        EXPECT_EQ(GetDIBits(nullptr, h, 0, 4, pixels, info.bmi(), DIB_RGB_COLORS), 0);
        EXPECT_EQ(SetDIBits(nullptr, h, 0, 4, pixels, info.bmi(), DIB_RGB_COLORS), 0);
        EXPECT_EQ(SelectObject(hdc, GetStockObject(BLACK_BRUSH)), nullptr);
        EXPECT_EQ(ReleaseDC(nullptr, hdc), 0);
    }
}

TEST(GdiHandles, BadSizesAndFormatsAreRefused) {
    ZUMELD_SKIP_UNDER_WINE(
        "GDI stand-in differs: Wine makes two-plane, 2-bit and 2 GiB bitmaps and DIB sections, "
        "and a bitmap of height 0 through CreateDIBitmap");
    // Zero or negative sizes, two planes, no such depth, 2 GiB.
    const int bitmaps[][4] = {
        {0, 4, 1, 32}, {4, -1, 1, 32}, {4, 4, 2, 16}, {4, 4, 1, 2}, {65536, 32768, 1, 8}};
    for (auto [w, h, planes, bits] : bitmaps)
        EXPECT_EQ(CreateBitmap(w, h, static_cast<UINT>(planes), static_cast<UINT>(bits), nullptr),
                  nullptr);
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

TEST(GdiStretch, ExtentsFarOutsideBothSurfacesDrawNothingAndReadNothing) {
    const BYTE quad[16] = {};
    Info info = MakeInfo(2, 2, 32);
    // A 7 x 5 top-down 24-bit target (rows of 24 bytes, 3 of them padding) filled with 0x5A.
    BYTE *dstBits = nullptr, *srcBits = nullptr;
    MemDc dst{Section(MakeInfo(7, -5, 24), &dstBits)}, src{Section(MakeInfo(4, -4, 32), &srcBits)};
    std::memset(dstBits, 0x5A, 24 * 5);
    HDC dc = dst.dc;
    // (GDI stand-in differs: under Wine a width past 2^31 makes it return 0, drawing nothing.)
    EXPECT_EQ(SetDIBitsToDevice(dc, -100, 0, 4000000000u, 2, 0, 0, 0, 2, quad, info.bmi(),
                                DIB_RGB_COLORS),
              zumeld_test::UnderWine() ? 0 : 2);
    for (int w : {2147483647, -2147483647})
        EXPECT_EQ(StretchDIBits(dc, 0, 0, w, 3, -2147483647, 0, 2147483647, -2, quad, info.bmi(),
                                DIB_RGB_COLORS, SRCCOPY),
                  0);
    EXPECT_TRUE(
        BitBlt(dc, 2147483000, -2147483000, 2147483647, -2147483647, src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(std::vector<BYTE>(dstBits, dstBits + 24 * 5), std::vector<BYTE>(24 * 5, 0x5A));
}

}  // namespace
