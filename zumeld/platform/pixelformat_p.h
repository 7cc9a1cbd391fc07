// Pixel formats of the in-memory GDI and the one routine that converts pixels between them.
// Internal to the platform layer. A row is a plain byte pointer; pixel x of a row at 1 or 4
// bits sits in the high bits first (x = 0 is the most significant bit or nibble).
// Colours travel as 0x00RRGGBB words (blue in the low byte, the order of a B, G, R pixel).
#pragma once

#include <cstdint>

#include "zumeld/platform/win32.h"

namespace Zumeld::Platform {

// One layout of pixels: 1, 4 or 8 bits index a colour table; 16 and 32 bits are read through
// channel masks (all three 0 means the default layout: 5-5-5 at 16 bits, 8-8-8 at 32 bits);
// 24 bits are B, G, R bytes.
struct PixelFormat {
    int bitCount = 32;
    const RGBQUAD* colors = nullptr;  // the colour table at 1, 4 and 8 bits
    int numColors = 0;                // its entries (indices at or past it read as black)
    DWORD redMask = 0;
    DWORD greenMask = 0;
    DWORD blueMask = 0;
};

// The format of the scratch rows that blits combine pixels in: B, G, R, 0.
inline constexpr PixelFormat kBgr32Format{};

constexpr bool IsValidBitCount(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Bytes from one row to the next: width × bits rounded up to a multiple of 4 bytes.
// Requires: width >= 0 and a valid bit count (the result fits easily in 64 bits).
constexpr std::uint64_t DibStride(std::uint64_t width, int bits) {
    return (width * static_cast<std::uint64_t>(bits) + 31) / 32 * 4;
}

// The largest picture (pixel bytes) any bitmap may have: sizes stay within a 32-bit int.
inline constexpr std::uint64_t kMaxPictureBytes = 0x7FFFFFFF;

// The index of the table entry closest to a 0x00RRGGBB colour (squared distance, the lowest
// index on a tie) over every index of the format's bit count: entries past its table are
// black. Requires: a 1, 4 or 8-bit format.
unsigned NearestEntry(const PixelFormat& f, DWORD colour);

// True when pixels of one format mean the same colours in the other, bit for bit: the same
// bit count and masks, or the same table (entries past a table being black).
bool SameLayout(const PixelFormat& a, const PixelFormat& b);

// Converts `count` pixels, pixel srcX onward of row `src` in format `from`, into pixels dstX
// onward of row `dst` in format `to`. Pixels of one layout are copied bit for bit (32-bit
// ones with their fourth byte); a table destination takes NearestEntry of each table colour,
// and of each true colour reduced to 5 bits a channel at 8 bits; other 32-bit pixels get a
// fourth byte 0.
// Requires: the rows hold those pixels; count >= 0; srcX, dstX >= 0.
// Otherwise: count <= 0 converts nothing.
void ConvertPixels(const PixelFormat& from, const BYTE* src, int srcX, const PixelFormat& to,
                   BYTE* dst, int dstX, int count);

// Pixel values, as raster operations combine them: the index at 1, 4 and 8 bits, the whole
// word at 16 and 32 bits, B | G << 8 | R << 16 at 24 bits. Reads or writes `count` of them
// from pixel x on. Requires: the row holds those pixels; values fit the bit count.
void ReadValues(const PixelFormat& f, const BYTE* row, int x, DWORD* out, int count);
void WriteValues(const PixelFormat& f, BYTE* row, int x, const DWORD* in, int count);
// A 0x00RRGGBB colour as a pixel value of the format (at 1, 4 and 8 bits its NearestEntry),
// as a solid brush paints it.
DWORD PixelValueOf(const PixelFormat& f, DWORD colour);

}  // namespace Zumeld::Platform
