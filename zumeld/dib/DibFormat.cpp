// Header arithmetic, checks and palette builders for packed DIBs.
#include "zumeld/dib/DibFormat_p.h"

#include <cstring>

namespace Zumeld::dib {

namespace {

// Field offsets inside the packed headers; fields are read with memcpy so that any byte
// address will do.
constexpr std::size_t kCoreBitCountAt = 10;     // BITMAPCOREHEADER::bcBitCount
constexpr std::size_t kInfoBitCountAt = 14;     // BITMAPINFOHEADER::biBitCount
constexpr std::size_t kInfoCompressionAt = 16;  // BITMAPINFOHEADER::biCompression
constexpr std::size_t kInfoClrUsedAt = 32;      // BITMAPINFOHEADER::biClrUsed
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr WORD kBitfieldMaskBytes = 12;

template <class T>
T LoadAt(const void* p, std::size_t at) {
    T v;
    std::memcpy(&v, static_cast<const BYTE*>(p) + at, sizeof v);
    return v;
}

bool IsCoreHeader(const void* header) {
    return LoadAt<DWORD>(header, 0) == 12;
}

// Most colour-table entries a header may declare: all a palette of the bit count can
// index, and for deeper pixels as many as keep the table's byte size a 16-bit value.
std::uint32_t MaxColorEntries(unsigned bits) {
    return bits <= 8 ? (1u << bits) : 0xFFFFu / 4;
}

bool CompressionFits(const BITMAPINFOHEADER& bi) {
    switch (bi.biCompression) {
        case BI_RGB:
            return true;
        case BI_BITFIELDS:
            return bi.biBitCount == 16 || bi.biBitCount == 32;
        case BI_RLE8:
            return bi.biBitCount == 8 && bi.biHeight > 0;
        case BI_RLE4:
            return bi.biBitCount == 4 && bi.biHeight > 0;
        default:
            return false;
    }
}

bool IsRunLength(const BITMAPINFOHEADER& bi) {
    return bi.biCompression == BI_RLE8 || bi.biCompression == BI_RLE4;
}

}  // namespace

WORD ColorCountForBits(unsigned bits) {
    switch (bits) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

WORD ColorTableEntries(const void* header) {
    if (IsCoreHeader(header)) return ColorCountForBits(LoadAt<WORD>(header, kCoreBitCountAt));
    // The low 16 bits of biClrUsed, when there are any.
    const WORD used = static_cast<WORD>(LoadAt<DWORD>(header, kInfoClrUsedAt));
    if (used != 0) return used;
    return ColorCountForBits(LoadAt<WORD>(header, kInfoBitCountAt));
}

WORD ColorTableBytes(const void* header) {
    const unsigned entrySize = IsCoreHeader(header) ? sizeof(RGBTRIPLE) : sizeof(RGBQUAD);
    // Kept to 16 bits: the table size travels as a WORD.
    return static_cast<WORD>(ColorTableEntries(header) * entrySize);
}

WORD BitfieldMaskBytes(const void* header) {
    if (LoadAt<DWORD>(header, 0) != kInfoHeaderBytes) return 0;
    return LoadAt<DWORD>(header, kInfoCompressionAt) == BI_BITFIELDS ? kBitfieldMaskBytes : 0;
}

std::uint64_t DibPixelOffset(const void* header) {
    return std::uint64_t{LoadAt<DWORD>(header, 0)} + BitfieldMaskBytes(header) +
           ColorTableBytes(header);
}

std::optional<std::uint32_t> DibRowBytes(std::int64_t width, unsigned bits) {
    if (width <= 0 || width > kMaxDibBlockBytes || bits == 0 || bits > 32) return std::nullopt;
    const std::int64_t bitsInRow = width * bits + 31;  // at most 2^36: no overflow in 64 bits
    const std::int64_t bytes = bitsInRow / 32 * 4;
    if (bitsInRow > INT32_MAX || bytes > kMaxDibBlockBytes) return std::nullopt;
    return static_cast<std::uint32_t>(bytes);
}

std::optional<std::uint32_t> DibImageBytes(std::int64_t width, std::int64_t height, unsigned bits) {
    const std::int64_t rows = height < 0 ? -height : height;
    const auto rowBytes = DibRowBytes(width, bits);
    if (!rowBytes || rows <= 0 || rows > kMaxDibBlockBytes) return std::nullopt;
    const std::int64_t bytes = static_cast<std::int64_t>(*rowBytes) * rows;
    if (bytes > kMaxDibBlockBytes) return std::nullopt;
    return static_cast<std::uint32_t>(bytes);
}

// Bytes of pixels a reader may walk: every row for uncompressed pixels, the coded size
// (or the row size when none is given) for run-length pixels.
static std::optional<std::uint32_t> PixelBytes(const BITMAPINFOHEADER& bi) {
    const auto rows = DibImageBytes(bi.biWidth, bi.biHeight, bi.biBitCount);
    if (!rows) return std::nullopt;
    if (IsRunLength(bi) && bi.biSizeImage != 0) {
        if (bi.biSizeImage > kMaxDibBlockBytes) return std::nullopt;
        return bi.biSizeImage;
    }
    return rows;
}

DibHeaderFault CheckDibHeader(const BITMAPINFOHEADER& bi) {
    if (bi.biWidth <= 0) return DibHeaderFault::WidthNotPositive;
    if (bi.biHeight == 0) return DibHeaderFault::HeightZero;
    switch (bi.biBitCount) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            return DibHeaderFault::BitCount;
    }
    if (!CompressionFits(bi)) return DibHeaderFault::Compression;
    if (bi.biClrUsed > MaxColorEntries(bi.biBitCount)) return DibHeaderFault::ColorTable;
    const auto pixels = PixelBytes(bi);
    const std::uint64_t table = std::uint64_t{ColorTableEntries(&bi)} * sizeof(RGBQUAD);
    if (!pixels || kInfoHeaderBytes + BitfieldMaskBytes(&bi) + table + *pixels > kMaxDibBlockBytes)
        return DibHeaderFault::SizeOverflow;
    return DibHeaderFault::None;
}

std::optional<std::uint32_t> DibPixelBytes(const BITMAPINFOHEADER& bi) {
    if (CheckDibHeader(bi) != DibHeaderFault::None) return std::nullopt;
    return PixelBytes(bi);
}

std::optional<DibLayout> DibLayoutInBlock(const void* block, std::size_t blockBytes) {
    if (block == nullptr || blockBytes < kInfoHeaderBytes) return std::nullopt;
    BITMAPINFOHEADER bi;
    std::memcpy(&bi, block, sizeof bi);
    if (bi.biSize != kInfoHeaderBytes) return std::nullopt;
    const auto pixels = DibPixelBytes(bi);
    if (!pixels) return std::nullopt;
    DibLayout layout;
    layout.tableBytes = ColorTableBytes(&bi);
    layout.pixelOffset = static_cast<std::uint32_t>(DibPixelOffset(&bi));  // 40 + two WORDs
    layout.imageBytes = *pixels;
    if (std::uint64_t{layout.pixelOffset} + layout.imageBytes > blockBytes) return std::nullopt;
    return layout;
}

void WidenTriplesToQuads(BYTE* table, unsigned n) {
    // Backwards, so that no triple is overwritten before it has been moved.
    for (unsigned i = n; i-- > 0;) {
        const BYTE blue = table[i * 3], green = table[i * 3 + 1], red = table[i * 3 + 2];
        table[i * 4] = blue;
        table[i * 4 + 1] = green;
        table[i * 4 + 2] = red;
        table[i * 4 + 3] = 0;
    }
}

void PaletteFromColorTable(const RGBQUAD* table, unsigned n, PALETTEENTRY* out) {
    for (unsigned i = 0; i < n; ++i)
        out[i] = PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
}

void FixedPalette256(PALETTEENTRY* out) {
    // Red steps by 32 each entry; each time it wraps, green steps by 32; each time green
    // wraps too, blue steps by 64 (all in 8-bit arithmetic).
    BYTE red = 0, green = 0, blue = 0;
    for (int i = 0; i < 256; ++i) {
        out[i] = PALETTEENTRY{red, green, blue, 0};
        red = static_cast<BYTE>(red + 32);
        if (red == 0) {
            green = static_cast<BYTE>(green + 32);
            if (green == 0) blue = static_cast<BYTE>(blue + 64);
        }
    }
}

}  // namespace Zumeld::dib
