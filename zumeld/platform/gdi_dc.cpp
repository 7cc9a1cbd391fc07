// Device contexts of the in-memory GDI: memory contexts and the screen context, selection of
// bitmaps, brushes and palettes, palettes and brushes themselves, and the blits. Every blit
// goes through Transfer, which clips to the destination and the source surface alike.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "zumeld/platform/gdi_p.h"

namespace Zumeld::Platform {

namespace {

constexpr COLORREF kClrInvalid = 0xFFFFFFFF;
constexpr UINT kGdiError = 0xFFFFFFFF;
// Raster capabilities of every context: blits, DIB transfers and stretching; no palette.
constexpr int kRasterCaps = 0x0001 /* RC_BITBLT */ | 0x0008 /* RC_BITMAP64 */ |
                            0x0080 /* RC_DI_BITMAP */ | 0x0200 /* RC_DIBTODEV */ |
                            0x0800 /* RC_STRETCHBLT */ | 0x2000 /* RC_STRETCHDIB */;

// ---- Raster operations ---------------------------------------------------------------------
// A ternary raster operation's index byte (bits 16-23 of the code) is its truth table: bit
// (p << 2 | s << 1 | d) holds the result for pattern bit p, source bit s, destination bit d.

constexpr unsigned RopIndex(DWORD rop) {
    return (rop >> 16) & 0xFF;
}
constexpr bool RopUsesSource(DWORD rop) {
    return ((RopIndex(rop) >> 2) & 0x33) != (RopIndex(rop) & 0x33);
}
constexpr bool RopUsesPattern(DWORD rop) {
    return ((RopIndex(rop) >> 4) & 0x0F) != (RopIndex(rop) & 0x0F);
}
constexpr bool RopUsesDest(DWORD rop) {
    return ((RopIndex(rop) >> 1) & 0x55) != (RopIndex(rop) & 0x55);
}

// Applies the truth table to every bit of three 0x00RRGGBB colours.
DWORD ApplyRop(unsigned index, DWORD p, DWORD s, DWORD d) {
    switch (index) {  // the usual ones directly
        case 0xCC:
            return s;
        case 0xF0:
            return p;
        default:
            break;
    }
    DWORD r = 0;
    for (unsigned k = 0; k < 8; ++k) {
        if (!((index >> k) & 1)) continue;
        r |= ((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d);
    }
    return r & 0x00FFFFFF;
}

DWORD ColourOf(COLORREF c) {
    return (static_cast<DWORD>(GetRValue(c)) << 16) | (static_cast<DWORD>(GetGValue(c)) << 8) |
           GetBValue(c);
}

// ---- Transfer: the one blit ----------------------------------------------------------------

// One axis of a transfer: destination [dst0, dst0 + dstLen) takes source [src0, src0 + srcLen)
// stretched by nearest neighbour (destination pixel j takes source pixel
// floor((2j + 1) × srcLen / (2 × dstLen)), counted from the far end when mirrored).
struct Axis {
    std::int64_t dst0;
    std::int64_t dstLen;
    std::int64_t src0;
    std::int64_t srcLen;
    bool mirror;

    // Extents reach 2^32 only when both are equal (SetDIBitsToDevice); stretched extents are
    // ints, so (2j + 1) × srcLen stays below 2^63.
    std::int64_t Source(std::int64_t j) const {
        std::int64_t i = srcLen == dstLen ? j : (2 * j + 1) * srcLen / (2 * dstLen);
        if (mirror) i = srcLen - 1 - i;
        return src0 + i;
    }
};

// An axis from a corner and signed extents: a negative extent reaches back from the corner,
// and opposite signs mirror the picture.
Axis MakeAxis(std::int64_t dst, std::int64_t dstExtent, std::int64_t src, std::int64_t srcExtent) {
    Axis a;
    a.dstLen = dstExtent < 0 ? -dstExtent : dstExtent;
    a.dst0 = dstExtent < 0 ? dst + dstExtent : dst;
    a.srcLen = srcExtent < 0 ? -srcExtent : srcExtent;
    a.src0 = srcExtent < 0 ? src + srcExtent : src;
    a.mirror = (dstExtent < 0) != (srcExtent < 0);
    return a;
}

// Combines pattern, source (if any) and destination into the destination, clipped to both
// surfaces: only destination pixels inside `dst` whose source pixel lies inside `src` (and in
// its band of rows) change.
void Transfer(const RowSurface& dst, const RowSurface* src, const Axis& ax, const Axis& ay,
              DWORD rop, DWORD pattern) {
    if (ax.dstLen <= 0 || ay.dstLen <= 0 || ax.srcLen <= 0 || ay.srcLen <= 0) return;
    // Columns: the destination range inside the surface, then the part whose source column
    // is inside the source (a contiguous run, as the mapping is monotonic).
    const std::int64_t jx0 = ax.dst0 < 0 ? -ax.dst0 : 0;
    const std::int64_t jx1 = std::min<std::int64_t>(ax.dstLen, dst.width - ax.dst0);
    std::vector<int> cols;
    std::int64_t firstDx = 0;
    for (std::int64_t j = jx0; j < jx1; ++j) {
        const std::int64_t sx = src ? ax.Source(j) : 0;
        if (src && (sx < 0 || sx >= src->width)) continue;
        if (cols.empty()) firstDx = ax.dst0 + j;
        cols.push_back(static_cast<int>(sx));
    }
    if (cols.empty()) return;
    const int n = static_cast<int>(cols.size());
    int minSx = cols.front(), maxSx = cols.front();
    for (int c : cols) {
        minSx = std::min(minSx, c);
        maxSx = std::max(maxSx, c);
    }
    const bool usesSource = src != nullptr;
    const bool usesDest = RopUsesDest(rop);
    const unsigned index = RopIndex(rop);
    std::vector<DWORD> srcRow(usesSource ? static_cast<std::size_t>(maxSx - minSx + 1) : 0);
    std::vector<DWORD> out(static_cast<std::size_t>(n));
    std::vector<DWORD> dstRow(usesDest ? static_cast<std::size_t>(n) : 0);
    auto* outBytes = reinterpret_cast<BYTE*>(out.data());

    // Rows. Within one surface, walk away from the rows still to be read.
    const std::int64_t jy0 = ay.dst0 < 0 ? -ay.dst0 : 0;
    const std::int64_t jy1 = std::min<std::int64_t>(ay.dstLen, dst.height - ay.dst0);
    const bool upward = src != nullptr && src->base == dst.base && ay.dst0 > ay.src0;
    for (std::int64_t k = jy0; k < jy1; ++k) {
        const std::int64_t j = upward ? jy1 - 1 - (k - jy0) : k;
        BYTE* drow = dst.RowPtr(ay.dst0 + j);
        if (drow == nullptr) continue;
        const BYTE* srow = nullptr;
        if (usesSource) {
            srow = src->RowPtr(ay.Source(j));
            if (srow == nullptr) continue;
            ConvertPixels(src->format, srow, minSx, kBgr32Format,
                          reinterpret_cast<BYTE*>(srcRow.data()), 0, maxSx - minSx + 1);
        }
        if (usesDest)
            ConvertPixels(dst.format, drow, static_cast<int>(firstDx), kBgr32Format,
                          reinterpret_cast<BYTE*>(dstRow.data()), 0, n);
        for (int i = 0; i < n; ++i) {
            const DWORD s = usesSource ? srcRow[static_cast<std::size_t>(cols[i] - minSx)] : 0;
            const DWORD d = usesDest ? dstRow[static_cast<std::size_t>(i)] : 0;
            out[static_cast<std::size_t>(i)] = ApplyRop(index, pattern, s, d);
        }
        ConvertPixels(kBgr32Format, outBytes, 0, dst.format, drow, static_cast<int>(firstDx), n);
    }
}

// The pattern colour of a context's brush; false when the brush paints nothing.
bool PatternOf(const GdiDc* dc, DWORD& pattern) {
    const GdiBrush* brush = FindBrush(dc->brush);
    if (brush == nullptr || brush->hollow) return false;
    pattern = ColourOf(brush->color);
    return true;
}

// Selects `h` into the slot, moving the selection count from the old object to the new one.
HGDIOBJ Swap(HGDIOBJ& slot, HGDIOBJ h) {
    const HGDIOBJ old = slot;
    if (GdiObject* o = FindObject(old)) --o->selections;
    if (GdiObject* o = FindObject(h)) ++o->selections;
    slot = h;
    return old;
}

HDC NewDc(bool screen) {
    auto dc = std::make_unique<GdiDc>();
    dc->screen = screen;
    HGDIOBJ bitmap = screen ? nullptr : DefaultDcBitmap();
    HGDIOBJ brush = StockObject(WHITE_BRUSH);
    HGDIOBJ palette = StockObject(DEFAULT_PALETTE);
    GdiDc* raw = dc.get();
    HDC h = static_cast<HDC>(AddObject(std::move(dc)));
    if (h == nullptr) return nullptr;
    Swap(raw->bitmap, bitmap);
    Swap(raw->brush, brush);
    Swap(raw->palette, palette);
    return h;
}

void FreeDc(HDC h, GdiDc* dc) {
    Swap(dc->bitmap, nullptr);
    Swap(dc->brush, nullptr);
    Swap(dc->palette, nullptr);
    RemoveObject(h);
}

// A DIB draw (SetDIBitsToDevice, StretchDIBits) onto a context.
bool DibTarget(HDC hdc, const BITMAPINFO* lpbmi, UINT usage, GdiDc*& dc, GdiBitmap*& surface,
               DibLayout& layout) {
    dc = FindDc(hdc);
    surface = DcSurface(dc);
    return surface != nullptr &&
           ReadDibLayout(lpbmi, SIZE_MAX, usage, FindPalette(dc->palette), layout);
}

// The first memory row of a DIB source rectangle as a top picture row: the rectangle starts
// `ySrc` scan lines from the DIB's first memory row (the bottom row of a bottom-up DIB).
std::int64_t DibTopRow(const DibLayout& d, std::int64_t ySrc, std::int64_t height) {
    return d.topDown ? ySrc : d.height - ySrc - height;
}

}  // namespace

}  // namespace Zumeld::Platform

using namespace Zumeld::Platform;

// ---- Contexts ------------------------------------------------------------------------------

HDC GetDC(HWND hWnd) {
    if (hWnd != nullptr) return nullptr;  // there are no windows, only the screen
    auto lock = GdiLock();
    if (ScreenSurface() == nullptr) return nullptr;
    return NewDc(true);
}

int ReleaseDC(HWND hWnd, HDC hDC) {
    (void)hWnd;
    auto lock = GdiLock();
    GdiDc* dc = FindDc(hDC);
    if (dc == nullptr || !dc->screen) return 0;
    FreeDc(hDC, dc);
    return 1;
}

HDC CreateCompatibleDC(HDC hdc) {
    auto lock = GdiLock();
    if (hdc != nullptr && FindDc(hdc) == nullptr) return nullptr;
    return NewDc(false);
}

BOOL DeleteDC(HDC hdc) {
    auto lock = GdiLock();
    GdiDc* dc = FindDc(hdc);
    if (dc == nullptr) return FALSE;
    FreeDc(hdc, dc);
    return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
    auto lock = GdiLock();
    if (FindDc(hdc) == nullptr) return 0;
    switch (index) {
        case BITSPIXEL:
            return kScreenBitCount;
        case PLANES:
            return 1;
        case RASTERCAPS:
            return kRasterCaps;
        case SIZEPALETTE:
            return 0;
        case NUMCOLORS:
            return -1;
        default:
            return 0;
    }
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
    auto lock = GdiLock();
    GdiDc* dc = FindDc(hdc);
    GdiObject* obj = FindObject(h);
    if (dc == nullptr || obj == nullptr) return nullptr;
    switch (obj->kind) {
        case GdiKind::Bitmap:
            // Only memory contexts take bitmaps, and a bitmap sits in one context at a time.
            if (dc->screen) return nullptr;
            if (dc->bitmap == h) return h;
            if (!obj->stock && obj->selections > 0) return nullptr;
            return Swap(dc->bitmap, h);
        case GdiKind::Brush:
            return Swap(dc->brush, h);
        case GdiKind::Palette:
            return Swap(dc->palette, h);
        default:
            return nullptr;
    }
}

// ---- Palettes and brushes ------------------------------------------------------------------

HPALETTE CreatePalette(const LOGPALETTE* plpal) {
    if (plpal == nullptr || plpal->palVersion != 0x300 || plpal->palNumEntries == 0) return nullptr;
    auto pal = std::make_unique<GdiPalette>();
    pal->entries.assign(plpal->palPalEntry, plpal->palPalEntry + plpal->palNumEntries);
    auto lock = GdiLock();
    return static_cast<HPALETTE>(AddObject(std::move(pal)));
}

HPALETTE SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd) {
    (void)bForceBkgd;
    auto lock = GdiLock();
    GdiDc* dc = FindDc(hdc);
    if (dc == nullptr || FindPalette(hPal) == nullptr) return nullptr;
    return static_cast<HPALETTE>(Swap(dc->palette, hPal));
}

UINT RealizePalette(HDC hdc) {
    // True-colour surfaces have no system palette: nothing needs mapping.
    auto lock = GdiLock();
    return FindDc(hdc) != nullptr ? 0 : kGdiError;
}

UINT GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, LPPALETTEENTRY pPalEntries) {
    auto lock = GdiLock();
    const GdiPalette* pal = FindPalette(hpal);
    if (pal == nullptr) return 0;
    const std::size_t count = pal->entries.size();
    if (pPalEntries == nullptr) return static_cast<UINT>(count);
    if (iStart >= count) return 0;
    const std::size_t n = std::min<std::size_t>(cEntries, count - iStart);
    std::memcpy(pPalEntries, pal->entries.data() + iStart, n * sizeof(PALETTEENTRY));
    return static_cast<UINT>(n);
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto brush = std::make_unique<GdiBrush>();
    brush->color = color & 0x00FFFFFF;
    auto lock = GdiLock();
    return static_cast<HBRUSH>(AddObject(std::move(brush)));
}

// ---- Blits ---------------------------------------------------------------------------------

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
    auto lock = GdiLock();
    const GdiDc* dc = FindDc(hdc);
    const GdiBitmap* target = DcSurface(dc);
    if (target == nullptr) return FALSE;
    const GdiBitmap* source = nullptr;
    if (RopUsesSource(rop)) {
        source = DcSurface(FindDc(hdcSrc));
        if (source == nullptr) return FALSE;
    }
    DWORD pattern = 0;
    if (RopUsesPattern(rop) && !PatternOf(dc, pattern)) return TRUE;
    if (cx <= 0 || cy <= 0) return TRUE;
    const RowSurface dst = SurfaceOf(*target);
    const RowSurface src = source ? SurfaceOf(*source) : RowSurface{};
    Transfer(dst, source ? &src : nullptr, MakeAxis(x, cx, x1, cx), MakeAxis(y, cy, y1, cy), rop,
             pattern);
    return TRUE;
}

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
    if (RopUsesSource(rop)) return FALSE;
    auto lock = GdiLock();
    const GdiDc* dc = FindDc(hdc);
    const GdiBitmap* target = DcSurface(dc);
    if (target == nullptr) return FALSE;
    DWORD pattern = 0;
    if (RopUsesPattern(rop) && !PatternOf(dc, pattern)) return TRUE;
    Transfer(SurfaceOf(*target), nullptr, MakeAxis(x, w, 0, 1), MakeAxis(y, h, 0, 1), rop, pattern);
    return TRUE;
}

int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc,
                      UINT StartScan, UINT cLines, const void* lpvBits, const BITMAPINFO* lpbmi,
                      UINT ColorUse) {
    if (lpvBits == nullptr) return 0;
    auto lock = GdiLock();
    GdiDc* dc = nullptr;
    GdiBitmap* target = nullptr;
    DibLayout d;
    if (!DibTarget(hdc, lpbmi, ColorUse, dc, target, d)) return 0;
    const RowSurface src = SurfaceOf(d, lpvBits, StartScan, cLines);
    const std::int64_t width = w, height = h;
    Transfer(SurfaceOf(*target), &src, MakeAxis(xDest, width, xSrc, width),
             MakeAxis(yDest, height, DibTopRow(d, ySrc, height), height), SRCCOPY, 0);
    return src.scanHi - src.scanLo;
}

int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                  int SrcWidth, int SrcHeight, const void* lpBits, const BITMAPINFO* lpbmi,
                  UINT iUsage, DWORD rop) {
    if (RopUsesSource(rop) && lpBits == nullptr) return 0;
    if (DestWidth == 0 || DestHeight == 0 || SrcWidth == 0 || SrcHeight == 0) return 0;
    auto lock = GdiLock();
    GdiDc* dc = nullptr;
    GdiBitmap* target = nullptr;
    DibLayout d;
    if (!DibTarget(hdc, lpbmi, iUsage, dc, target, d)) return 0;
    DWORD pattern = 0;
    const std::int64_t srcHeight =
        SrcHeight < 0 ? -static_cast<std::int64_t>(SrcHeight) : SrcHeight;
    if (RopUsesPattern(rop) && !PatternOf(dc, pattern)) return static_cast<int>(srcHeight);
    const RowSurface src = SurfaceOf(d, lpBits, 0, static_cast<std::uint64_t>(d.height));
    // The source rectangle in picture rows, top first: its corner row counts in memory rows
    // like SetDIBitsToDevice's; a negative height reaches back from it.
    const std::int64_t scan0 = SrcHeight < 0 ? static_cast<std::int64_t>(ySrc) + SrcHeight : ySrc;
    const std::int64_t top = DibTopRow(d, scan0, srcHeight);
    Axis ay = MakeAxis(yDest, DestHeight, top, srcHeight);
    ay.mirror = (DestHeight < 0) != (SrcHeight < 0);
    Transfer(SurfaceOf(*target), RopUsesSource(rop) ? &src : nullptr,
             MakeAxis(xDest, DestWidth, xSrc, SrcWidth), ay, rop, pattern);
    return static_cast<int>(srcHeight);
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    auto lock = GdiLock();
    const GdiBitmap* surface = DcSurface(FindDc(hdc));
    if (surface == nullptr || x < 0 || y < 0 || x >= surface->width || y >= surface->height)
        return kClrInvalid;
    DWORD c = 0;
    ConvertPixels(surface->Format(), surface->Row(y), x, kBgr32Format, reinterpret_cast<BYTE*>(&c),
                  0, 1);
    return RGB(static_cast<BYTE>(c >> 16), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c));
}
