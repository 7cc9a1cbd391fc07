// Builders for the .bmp bytes the DIB tests feed to the readers, written field by field in
// little-endian order without the library's records, and a way to look into a DIB handle.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "temp_dir.h"
#include "zumeld/platform/win32.h"

namespace dib_test {

using zumeld_test::Bytes;
using zumeld_test::ReadBytes;
using zumeld_test::WriteBytes;

// A 3 × 2 × 8 .bmp file, 4 colours, pixels at 70: bottom row indices 0 1 2, top row 3 3 0.
inline const Bytes kBmpFile = {
    'B', 'M', 78, 0,  0,  0, 0,  0,  0,  0, 70, 0,  0,  0, 40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0,
    1,   0,   8,  0,  0,  0, 0,  0,  0,  0, 0,  0,  0,  0, 0,  0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0,
    0,   0,   10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0, 1,  2, 3, 0, 0, 1, 2, 0, 3, 3, 0, 0};

// The words one after the other, little-endian.
inline Bytes Le32(std::initializer_list<std::uint32_t> words) {
    Bytes b;
    for (std::uint32_t v : words)
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<std::uint8_t>(v >> 8 * k));
    return b;
}

template <class... Parts>
Bytes Cat(const Bytes& first, const Parts&... rest) {
    Bytes out = first;
    (out.insert(out.end(), rest.begin(), rest.end()), ...);
    return out;
}

inline Bytes Slice(const Bytes& b, std::size_t at, std::size_t n) {
    if (at > b.size()) return {};
    return Bytes(b.begin() + at, b.begin() + std::min(b.size(), at + n));
}

// Row bytes of a DIB: each row padded to a multiple of 4 bytes.
inline std::uint32_t RowBytes(std::uint32_t width, std::uint32_t bits) {
    return (width * bits + 31) / 32 * 4;
}

inline Bytes FileHeader(std::uint32_t fileSize, std::uint32_t offBits) {
    return Cat(Bytes{'B', 'M'}, Le32({fileSize, 0u, offBits}));  // reserved words 0
}

struct Info {
    std::int32_t width = 4, height = 2;
    std::uint32_t bits = 8, compression = 0, sizeImage = 0, clrUsed = 0, clrImportant = 0;
    std::uint32_t size = 40;
    std::int32_t xPels = 0;
};

inline Bytes InfoHeader(const Info& i) {
    const auto u = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };
    return Le32({i.size, u(i.width), u(i.height), 1u | i.bits << 16, i.compression, i.sizeImage,
                 u(i.xPels), u(i.xPels), i.clrUsed, i.clrImportant});
}

inline Bytes CoreHeader(std::uint16_t width, std::uint16_t height, std::uint16_t bits) {
    return Le32({12u, width | std::uint32_t{height} << 16, 1u | std::uint32_t{bits} << 16});
}

// n entries of 3 or 4 bytes; entry k is blue k, green 2k+1, red 3k+2 (mod 256), reserved 0.
inline Bytes ColorTable(unsigned n, unsigned entryBytes) {
    Bytes b;
    for (unsigned k = 0; k < n; ++k) {
        for (unsigned c : {k, 2 * k + 1, 3 * k + 2, 0u}) b.push_back(static_cast<std::uint8_t>(c));
        if (entryBytes == 3) b.pop_back();
    }
    return b;
}

// n pixel bytes counting up from `seed`, none of them 0, so zero fill is told from data.
inline Bytes PixelBytes(std::size_t n, unsigned seed = 1) {
    Bytes b(n);
    for (std::size_t k = 0; k < n; ++k) b[k] = static_cast<std::uint8_t>((seed + k) % 255 + 1);
    return b;
}

// [file header,] header, table, pixels; bfOffBits points right behind the table.
inline Bytes Compose(const Bytes& header, const Bytes& table, const Bytes& pixels,
                     bool withFileHeader = true) {
    const auto off = static_cast<std::uint32_t>(14 + header.size() + table.size());
    return Cat(withFileHeader ? FileHeader(off + pixels.size(), off) : Bytes{}, header, table,
               pixels);
}

// A new movable global block holding `bytes`.
inline HGLOBAL ToBlock(const Bytes& bytes) {
    HGLOBAL h = GlobalAlloc(GHND, bytes.size());
    if (h && !bytes.empty()) {
        std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
        GlobalUnlock(h);
    }
    return h;
}

// Owns a DIB handle (or any global block) for the length of a test.
struct Dib {
    HGLOBAL h = nullptr;
    explicit Dib(void* handle) : h(handle) {}
    ~Dib() { GlobalFree(h); }
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;
    Bytes bytes() const {
        const auto* p = h ? static_cast<const std::uint8_t*>(GlobalLock(h)) : nullptr;
        if (!p) return {};
        Bytes out(p, p + GlobalSize(h));
        GlobalUnlock(h);
        return out;
    }
};

// A black 32-bit bitmap selected into a memory device context, both released at the end.
struct MemoryTarget {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap;
    HGDIOBJ previous;
    MemoryTarget(int width, int height)
        : bitmap(CreateBitmap(width, height, 1, 32, nullptr)), previous(SelectObject(dc, bitmap)) {
        PatBlt(dc, 0, 0, width, height, BLACKNESS);
    }
    ~MemoryTarget() {
        SelectObject(dc, previous);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    MemoryTarget(const MemoryTarget&) = delete;
    MemoryTarget& operator=(const MemoryTarget&) = delete;
};

}  // namespace dib_test
