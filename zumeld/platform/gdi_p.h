// The object table of the in-memory GDI: bitmaps, palettes, brushes and device contexts
// behind opaque handles. Internal to the platform layer (gdi*.cpp).
// Handles are numbers that are never reused, so a deleted handle stays unknown. One mutex
// guards the table; every public GDI call holds it for its whole run, and the helpers below
// expect the caller to hold it (GdiLock).
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "zumeld/platform/pages.h"
#include "zumeld/platform/pixelformat_p.h"
#include "zumeld/platform/win32.h"

namespace Zumeld::Platform {

// The format of pixels at a bit count with a colour table and red, green, blue masks.
inline PixelFormat MakeFormat(int bitCount, const std::vector<RGBQUAD>& colors,
                              const DWORD (&masks)[3]) {
    PixelFormat f;
    f.bitCount = bitCount;
    f.colors = colors.empty() ? nullptr : colors.data();
    f.numColors = static_cast<int>(colors.size());
    f.redMask = masks[0];
    f.greenMask = masks[1];
    f.blueMask = masks[2];
    return f;
}

enum class GdiKind { Bitmap, Palette, Brush, Dc };

struct GdiObject {
    explicit GdiObject(GdiKind k) : kind(k) {}
    virtual ~GdiObject() = default;
    GdiKind kind;
    bool stock = false;          // stock objects ignore DeleteObject
    int selections = 0;          // device contexts this object is selected into
    bool deletePending = false;  // deleted while selected: goes when the last context lets go
};

// Pixel memory rows are bottom-up and DibStride apart; picture row 0 is the top row.
struct GdiBitmap : GdiObject {
    GdiBitmap() : GdiObject(GdiKind::Bitmap) {}
    int width = 0;
    int height = 0;
    int bitCount = 0;
    int stride = 0;
    bool dibSection = false;
    bool topDown = false;         // a DIB section made from a negative height
    std::vector<RGBQUAD> colors;  // the colour table at 1, 4 and 8 bits
    DWORD masks[3] = {0, 0, 0};   // red, green, blue masks at 16 and 32 bits (0: default)
    // Zeroed pages (platform/pages.h): a large picture costs nothing until it is drawn.
    std::unique_ptr<BYTE[], ZeroedBlockDeleter> bits;

    PixelFormat Format() const { return MakeFormat(bitCount, colors, masks); }
    BYTE* Row(int y) const {
        return bits.get() + static_cast<std::ptrdiff_t>(topDown ? y : height - 1 - y) * stride;
    }
};

struct GdiPalette : GdiObject {
    GdiPalette() : GdiObject(GdiKind::Palette) {}
    std::vector<PALETTEENTRY> entries;
};

struct GdiBrush : GdiObject {
    GdiBrush() : GdiObject(GdiKind::Brush) {}
    COLORREF color = 0;
    bool hollow = false;  // NULL_BRUSH: pattern operations paint nothing
};

struct GdiDc : GdiObject {
    GdiDc() : GdiObject(GdiKind::Dc) {}
    bool screen = false;  // from GetDC: draws on the screen surface, takes no bitmap
    HGDIOBJ bitmap = nullptr;
    HGDIOBJ brush = nullptr;
    HGDIOBJ palette = nullptr;
};

// The screen surface that GetDC(NULL) draws on.
inline constexpr int kScreenWidth = 1024;
inline constexpr int kScreenHeight = 768;
inline constexpr int kScreenBitCount = 32;

// Holds the table's mutex for the scope.
std::unique_lock<std::mutex> GdiLock();

// With the lock held: the object of a handle if it is live and of that kind, else null.
GdiBitmap* FindBitmap(HGDIOBJ h);
GdiPalette* FindPalette(HGDIOBJ h);
GdiBrush* FindBrush(HGDIOBJ h);
GdiDc* FindDc(HGDIOBJ h);
GdiObject* FindObject(HGDIOBJ h);
// Adds an object and returns its new handle (null if the allocation failed).
HGDIOBJ AddObject(std::unique_ptr<GdiObject> obj);
// Removes an object from the table and hands it over, so the caller can free it after
// letting go of the lock.
std::unique_ptr<GdiObject> TakeObject(HGDIOBJ h);
// Stock objects by GetStockObject index; the default 1 × 1 monochrome bitmap of a new
// memory context; the screen surface.
HGDIOBJ StockObject(int index);
HGDIOBJ DefaultDcBitmap();
GdiBitmap* ScreenSurface();
// The surface a context draws on (its bitmap or the screen), or null.
GdiBitmap* DcSurface(const GdiDc* dc);

// ---- Raster operations and the blit (gdi_blit.cpp) -------------------------------------------
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

// A run of pixels [lo, hi) along one axis.
struct Span {
    std::int64_t lo = 0;
    std::int64_t hi = 0;
    bool Empty() const { return lo >= hi; }
};
// The pixels a corner and a signed extent cover: a negative extent reaches back from the
// corner pixel itself (x + extent + 1 ... x).
Span Bound(std::int64_t x, std::int64_t extent);
Span Intersect(Span a, Span b);

// One axis of a blit. Pixel j of the destination rectangle (j < dLen) lies at
// dAnchor + j * dStep and takes the source pixels sAnchor + i * sStep that stretching maps
// onto it: enlarging, i = ((2j + 1) sLen - 1) div (2 dLen); shrinking, every i with
// ((2i + 1) dLen - 1) div (2 sLen) = j, their pixel values ANDed (black on white). Only
// destination pixels in dVis and source pixels in sVis take part.
struct Axis {
    std::int64_t dAnchor = 0, dStep = 1, dLen = 1;
    std::int64_t sAnchor = 0, sStep = 1, sLen = 1;
    Span dVis, sVis;
    // The visible source pixels of destination pixel x (empty when it has none).
    Span Sources(std::int64_t x) const;
};
// The axis from a destination corner and extent onto a source corner and extent, clipped to
// the two surfaces' spans as Windows clips them. Extents are non-zero and within an int.
// Otherwise (nothing visible): false.
bool MakeAxis(std::int64_t dx, std::int64_t dw, std::int64_t sx, std::int64_t sw, Span dSurface,
              Span sSurface, Axis& out);

struct RowSurface;
// Combines pattern, source (null: none) and destination pixel values with a raster operation
// into the destination: the source is converted to the destination's format first, and the
// operation acts on whole pixel values (every bit of a 32-bit pixel; indices at 1, 4 and 8
// bits). Destination pixels without a source pixel stay. `pattern` is a destination pixel value.
void Transfer(const RowSurface& dst, const RowSurface* src, const Axis& ax, const Axis& ay,
              DWORD rop, DWORD pattern);

// A new bitmap of a valid size and bit count with zeroed pixels, or null.
std::unique_ptr<GdiBitmap> NewBitmap(int width, int height, int bitCount);
// The standard colour table for a bit count: black and white at 1 bit, the 16 VGA colours
// at 4 bits, at 8 bits a 3-3-2 colour cube whose first and last ten entries are the 20 default
// palette colours.
std::vector<RGBQUAD> StandardColors(int bitCount);

// ---- DIB descriptions (BITMAPINFO as callers pass it) ------------------------------------
struct DibLayout {
    int width = 0;
    int height = 0;        // rows, always positive
    bool topDown = false;  // negative biHeight
    int bitCount = 0;
    int stride = 0;
    std::vector<RGBQUAD> colors;
    DWORD masks[3] = {0, 0, 0};

    PixelFormat Format() const { return MakeFormat(bitCount, colors, masks); }
    // Pointer to the DIB's memory row m (row 0 is the first in memory).
    const BYTE* MemoryRow(const void* bits, int m) const {
        return static_cast<const BYTE*>(bits) + static_cast<std::ptrdiff_t>(m) * stride;
    }
};

// Reads a caller's BITMAPINFO: a header of at least 40 bytes, width >= 1, height != 0, bit
// count 1/4/8/16/24/32, BI_RGB (or BI_BITFIELDS at 16 and 32 bits), pixels within
// kMaxPictureBytes. The table holds biClrUsed entries (when below the bit count's maximum)
// or the maximum; DIB_PAL_COLORS entries index `palette` (null: the default palette), wrapping
// past its end.
// Requires: pbmi points at the header and its whole colour table or masks.
// Otherwise: false.
// `available` bounds the bytes readable at pbmi (SIZE_MAX when the caller cannot tell).
bool ReadDibLayout(const BITMAPINFO* pbmi, std::size_t available, UINT usage,
                   const GdiPalette* palette, DibLayout& out);

// Picture rows of a bitmap or of a band of DIB scan lines, for reading and writing.
// Picture row 0 is the top row; a row outside the band gives null.
struct RowSurface {
    PixelFormat format;
    BYTE* base = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
    bool bottomUp = true;
    int scanLo = 0;  // the band holds memory rows [scanLo, scanHi) from base on
    int scanHi = 0;

    BYTE* RowPtr(std::int64_t y) const {
        if (y < 0 || y >= height) return nullptr;
        const std::int64_t scan = bottomUp ? height - 1 - y : y;
        if (scan < scanLo || scan >= scanHi) return nullptr;
        return base + static_cast<std::ptrdiff_t>(scan - scanLo) * stride;
    }
};
RowSurface SurfaceOf(const GdiBitmap& b);
// A band of cLines scan lines from scan `start` on, as SetDIBits and SetDIBitsToDevice take.
RowSurface SurfaceOf(const DibLayout& d, const void* bits, std::uint64_t start,
                     std::uint64_t cLines);
// Copies the band's scan lines into a bitmap (scan 0 is the DIB's first memory row); returns
// the number of scan lines copied.
int CopyDibToBitmap(GdiBitmap& bmp, const DibLayout& dib, const void* bits, UINT start,
                    UINT cLines);

// A bitmap in the screen's format from a whole .bmp file in memory (file header first), as
// LoadBitmapA builds resources. Takes the table's lock itself.
// Otherwise (not "BM", a header ReadDibLayout refuses, pixels past the end): null.
HBITMAP BitmapFromBmpFile(const unsigned char* bytes, std::size_t size);

}  // namespace Zumeld::Platform
