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

DWORD ColourOf(COLORREF c) {
    return (static_cast<DWORD>(GetRValue(c)) << 16) | (static_cast<DWORD>(GetGValue(c)) << 8) |
           GetBValue(c);
}

// The pixel value a context's brush paints on its surface; false when it paints nothing.
bool PatternOf(const GdiDc* dc, const GdiBitmap& surface, DWORD& pattern) {
    const GdiBrush* brush = FindBrush(dc->brush);
    if (brush == nullptr || brush->hollow) return false;
    pattern = PixelValueOf(surface.Format(), ColourOf(brush->color));
    return true;
}

// Selects `h` into the slot, moving the selection count from the old object to the new one;
// an old object deleted while selected goes now.
HGDIOBJ Swap(HGDIOBJ& slot, HGDIOBJ h) {
    const HGDIOBJ old = slot;
    if (GdiObject* o = FindObject(h)) ++o->selections;
    if (GdiObject* o = FindObject(old); o != nullptr && --o->selections == 0 && o->deletePending)
        TakeObject(old);  // freed here, under the lock: a rare path
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
    TakeObject(h);  // a context holds no pixels: freed here, under the lock
}

// A DIB draw (SetDIBitsToDevice, StretchDIBits) onto a context.
bool DibTarget(HDC hdc, const BITMAPINFO* lpbmi, UINT usage, GdiDc*& dc, GdiBitmap*& surface,
               DibLayout& layout) {
    dc = FindDc(hdc);
    surface = DcSurface(dc);
    return surface != nullptr &&
           ReadDibLayout(lpbmi, SIZE_MAX, usage, FindPalette(dc->palette), layout);
}

// The span of a surface's columns or rows.
Span Whole(std::int64_t size) {
    return {0, size};
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
    if (RopUsesPattern(rop) && !PatternOf(dc, *target, pattern)) return TRUE;
    // Negative extents reach back from the corners, the source's and the destination's alike.
    const Span sw = Whole(source ? source->width : target->width);
    const Span sh = Whole(source ? source->height : target->height);
    Axis ax, ay;
    if (!MakeAxis(x, cx, x1, cx, Whole(target->width), sw, ax) ||
        !MakeAxis(y, cy, y1, cy, Whole(target->height), sh, ay))
        return TRUE;
    const RowSurface src = source ? SurfaceOf(*source) : RowSurface{};
    Transfer(SurfaceOf(*target), source ? &src : nullptr, ax, ay, rop, pattern);
    return TRUE;
}

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
    if (RopUsesSource(rop)) return FALSE;
    auto lock = GdiLock();
    const GdiDc* dc = FindDc(hdc);
    const GdiBitmap* target = DcSurface(dc);
    if (target == nullptr) return FALSE;
    DWORD pattern = 0;
    if (RopUsesPattern(rop) && !PatternOf(dc, *target, pattern)) return TRUE;
    Axis ax, ay;
    if (MakeAxis(x, w, x, w, Whole(target->width), Whole(target->width), ax) &&
        MakeAxis(y, h, y, h, Whole(target->height), Whole(target->height), ay))
        Transfer(SurfaceOf(*target), nullptr, ax, ay, rop, pattern);
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
    if (cLines == 0 || StartScan >= static_cast<UINT>(d.height)) return 0;
    // The band of scan lines is a picture of its own, `lines` rows high; bands of a bottom-up
    // DIB end at the picture's last scan line. Scan lines count from the bottom of the source
    // rectangle (ySrc + h), top-down DIBs too.
    std::int64_t lines = cLines;
    if (!d.topDown)
        lines = std::min<std::int64_t>(lines, d.height - static_cast<std::int64_t>(StartScan));
    std::int64_t top =
        static_cast<std::int64_t>(StartScan) + lines - (ySrc + static_cast<std::int64_t>(h));
    if (top > 0) {
        if (d.topDown && top >= lines) return static_cast<int>(lines);
        if (!d.topDown) {
            if (top >= lines) return 0;
            lines -= top;  // rows above the rectangle are not drawn
            top = 0;
        }
    }
    const Span rows = Intersect(
        {std::max<std::int64_t>(0, top), std::min<std::int64_t>(lines, top + h)}, Whole(d.height));
    const Span cols = Intersect({xSrc, xSrc + static_cast<std::int64_t>(w)}, Whole(d.width));
    if (rows.Empty() || cols.Empty()) return 0;
    RowSurface band = SurfaceOf(d, lpvBits, 0, static_cast<std::uint64_t>(lines));
    band.height = static_cast<int>(std::min<std::int64_t>(lines, d.height));
    band.scanHi = band.height;
    Axis ax, ay;
    ax.dAnchor = xDest;
    ax.sAnchor = xSrc;
    ax.dLen = ax.sLen = w;
    ax.sVis = cols;
    ax.dVis = {cols.lo - xSrc + xDest, cols.hi - xSrc + xDest};
    ay.dAnchor = yDest;
    ay.sAnchor = top;
    ay.dLen = ay.sLen = h;
    ay.sVis = rows;
    ay.dVis = {rows.lo - top + yDest, rows.hi - top + yDest};
    Transfer(SurfaceOf(*target), &band, ax, ay, SRCCOPY, 0);
    return static_cast<int>(lines);
}

int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                  int SrcWidth, int SrcHeight, const void* lpBits, const BITMAPINFO* lpbmi,
                  UINT iUsage, DWORD rop) {
    if (RopUsesSource(rop) && lpBits == nullptr) return 0;
    if (DestWidth == 0 || DestHeight == 0 || SrcWidth == 0 || SrcHeight == 0) return 0;
    if (DestWidth == INT_MIN || DestHeight == INT_MIN || SrcWidth == INT_MIN ||
        SrcHeight == INT_MIN)
        return 0;
    auto lock = GdiLock();
    GdiDc* dc = nullptr;
    GdiBitmap* target = nullptr;
    DibLayout d;
    if (!DibTarget(hdc, lpbmi, iUsage, dc, target, d)) return 0;
    DWORD pattern = 0;
    // A plain copy counts the source rectangle's y from the picture's bottom, of a top-down
    // DIB too (save for an unstretched copy from its corner (0, 0)); other operations count
    // it from a top-down DIB's top, a negative height reaching back from the row above ySrc.
    std::int64_t top = static_cast<std::int64_t>(d.height) - ySrc - SrcHeight;
    if (d.topDown && rop == SRCCOPY && xSrc == 0 && ySrc == 0 && SrcWidth == DestWidth &&
        SrcHeight == DestHeight)
        top = 0;
    else if (d.topDown && rop != SRCCOPY)
        top = SrcHeight < 0 ? static_cast<std::int64_t>(ySrc) - 1 : ySrc;
    // A mirrored rectangle counted from the bottom that starts above the picture starts at its
    // top row.
    else if (SrcHeight < 0 && top > d.height - 1 && top + SrcHeight + 1 < d.height)
        top = d.height - 1;
    Axis ax, ay;
    if (!MakeAxis(xDest, DestWidth, xSrc, SrcWidth, Whole(target->width), Whole(d.width), ax) ||
        !MakeAxis(yDest, DestHeight, top, SrcHeight, Whole(target->height), Whole(d.height), ay))
        return 0;
    // A plain copy reports the picture's height; other operations its signed height.
    const int lines = rop == SRCCOPY ? d.height : (d.topDown ? -d.height : d.height);
    if (RopUsesPattern(rop) && !PatternOf(dc, *target, pattern)) return lines;
    const RowSurface src = SurfaceOf(d, lpBits, 0, static_cast<std::uint64_t>(d.height));
    Transfer(SurfaceOf(*target), RopUsesSource(rop) ? &src : nullptr, ax, ay, rop, pattern);
    return lines;
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
