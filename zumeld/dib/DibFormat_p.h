// Internal arithmetic and checks on packed DIBs, shared by the CCtrlDib members and tested
// alone: colour-table counts, row and image sizes with overflow checks, the checks a header
// passes before any block is sized from it, the layout of a DIB inside a block of known size,
// chunked file transfers and the palette builders. Pure functions over plain buffers; no state.
// Sizes are bytes. Every size accepted here keeps header + table + pixels within INT32_MAX.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "zumeld/platform/win32.h"

namespace Zumeld::dib {

// ---- Chunked transfers ----------------------------------------------------------------------

// The most bytes one platform read or write call moves.
constexpr unsigned long kChunkBytes = 32768;

// Moves `count` bytes in calls of exactly kChunkBytes while more than that remain, then one
// call for the rest (a call of 0 bytes when nothing remains). `transfer(pointer, bytes)`
// returns the bytes it moved. Returns `count`, or 0 at the first call that moves fewer bytes
// than asked (no further calls are made).
// Requires: buffer points to at least count bytes (or count is 0).
template <class Transfer>
unsigned long TransferInChunks(BYTE* buffer, unsigned long count, Transfer&& transfer) {
    unsigned long left = count;
    while (left > kChunkBytes) {
        if (transfer(buffer, static_cast<UINT>(kChunkBytes)) != static_cast<UINT>(kChunkBytes))
            return 0;
        buffer += kChunkBytes;
        left -= kChunkBytes;
    }
    if (transfer(buffer, static_cast<UINT>(left)) != static_cast<UINT>(left)) return 0;
    return count;
}

// ---- Header arithmetic ----------------------------------------------------------------------

// Largest block (header, table and pixels) the DIB code will size: sizes are 32-bit ints,
// and a file of the block plus its 14-byte file header must stay within them.
constexpr std::uint32_t kMaxDibBlockBytes = 0x7FFFFFFFu - 14u;

// Colour-table entries that a bit count implies: 2, 16, 256 for 1, 4, 8 bits, else 0.
WORD ColorCountForBits(unsigned bits);

// Entries of the colour table of a packed header (40-byte or 12-byte core form).
// Requires: header points to at least 40 bytes, or 12 when its size field is 12.
WORD ColorTableEntries(const void* header);

// Bytes of that colour table: entries x 3 for a core header, x 4 otherwise.
WORD ColorTableBytes(const void* header);

// Bytes of the three channel masks (red, green, blue) that follow a 40-byte BI_BITFIELDS
// header, before any colour table, where devices read them: 12, else 0 (a core header has
// none, larger headers hold their masks themselves).
// Requires: as for ColorTableEntries.
WORD BitfieldMaskBytes(const void* header);

// Offset of the pixels in a packed DIB: header size + BitfieldMaskBytes + ColorTableBytes.
// Requires: as for ColorTableEntries.
std::uint64_t DibPixelOffset(const void* header);

// Bytes of one row, padded to 4: (width * bits + 31) / 32 * 4, and of all rows (with the
// height's magnitude). Otherwise (width or height not positive in magnitude, or a size
// beyond kMaxDibBlockBytes): nullopt.
std::optional<std::uint32_t> DibRowBytes(std::int64_t width, unsigned bits);
std::optional<std::uint32_t> DibImageBytes(std::int64_t width, std::int64_t height, unsigned bits);

// Why a 40-byte header cannot describe a DIB that readers can walk safely.
enum class DibHeaderFault {
    None,
    WidthNotPositive,  // 0 or negative
    HeightZero,        // negative heights are top-down rows and fine
    BitCount,          // not 1, 4, 8, 16, 24 or 32
    Compression,       // unknown, or not matching the bit count (or RLE top-down)
    ColorTable,        // more entries than the bit count allows, or beyond 16-bit table bytes
    SizeOverflow,      // rows, image or block beyond kMaxDibBlockBytes
};

// Checks the fields of a 40-byte header that sizes and layouts are derived from.
DibHeaderFault CheckDibHeader(const BITMAPINFOHEADER& bi);

// Pixel bytes of a sound header: every row (with the height's magnitude) when uncompressed;
// biSizeImage for run-length pixels (the rows' size when it is 0). Otherwise: nullopt.
std::optional<std::uint32_t> DibPixelBytes(const BITMAPINFOHEADER& bi);

// Where the parts of a packed DIB lie inside its block.
struct DibLayout {
    std::uint32_t tableBytes = 0;   // colour table, after the 40-byte header and any masks
    std::uint32_t pixelOffset = 0;  // DibPixelOffset: 40 + masks + tableBytes
    std::uint32_t imageBytes = 0;   // pixel bytes a reader may walk from pixelOffset
};

// The layout of the DIB at `block`, when its header is a sound 40-byte header and the block
// holds the header, the masks of BI_BITFIELDS, the colour table and every pixel row.
// Otherwise: nullopt.
std::optional<DibLayout> DibLayoutInBlock(const void* block, std::size_t blockBytes);

// ---- Colour tables and palettes -------------------------------------------------------------

// Widens n 3-byte triples (blue, green, red) at the start of `table` in place into 4-byte
// quads (blue, green, red, 0), working from the last entry to the first.
// Requires: table holds n x 4 bytes.
void WidenTriplesToQuads(BYTE* table, unsigned n);

// Palette entries (red, green, blue, flags 0) from n colour-table quads.
void PaletteFromColorTable(const RGBQUAD* table, unsigned n, PALETTEENTRY* out);

// Entry i (0..255) of the fixed palette for DIBs without a table: red 32 * (i mod 8),
// green 32 * ((i / 8) mod 8), blue 64 * (i / 64).
void FixedPalette256(PALETTEENTRY* out);

}  // namespace Zumeld::dib
