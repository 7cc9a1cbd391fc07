// Builders for the .bmp bytes the DIB tests feed to the readers, written field by field in
// little-endian order without the library's records, and a way to look into a DIB handle.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "zumeld/platform/win32.h"

namespace dib_test {

using Bytes = std::vector<std::uint8_t>;

inline void Put32(Bytes& b, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<std::uint8_t>(v >> 8 * k));
}
inline std::uint32_t Get16(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8);
}
inline std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return Get16(b, at) | (Get16(b, at + 2) << 16);
}

// The parts one after the other.
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
    Bytes b{'B', 'M'};
    for (std::uint32_t v : {fileSize, 0u, offBits}) Put32(b, v);  // reserved words 0
    return b;
}

struct Info {
    std::int32_t width = 4;
    std::int32_t height = 2;
    std::uint32_t bits = 8;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
    std::uint32_t size = 40;
    std::int32_t xPels = 0;
};

inline Bytes InfoHeader(const Info& i) {
    Bytes b;
    for (std::uint32_t v :
         {i.size, static_cast<std::uint32_t>(i.width), static_cast<std::uint32_t>(i.height),
          1u | i.bits << 16, i.compression, i.sizeImage, static_cast<std::uint32_t>(i.xPels),
          static_cast<std::uint32_t>(i.xPels), i.clrUsed, i.clrImportant})
        Put32(b, v);
    return b;
}

inline Bytes CoreHeader(std::uint16_t width, std::uint16_t height, std::uint16_t bits) {
    Bytes b;
    for (std::uint32_t v :
         {12u, width | std::uint32_t{height} << 16, 1u | std::uint32_t{bits} << 16})
        Put32(b, v);
    return b;
}

// n colour entries of `entryBytes` (3 or 4) bytes; entry k is blue k, green 2k+1, red 3k+2
// (mod 256) and, for quads, reserved 0.
inline Bytes ColorTable(unsigned n, unsigned entryBytes) {
    Bytes b;
    for (unsigned k = 0; k < n; ++k) {
        b.insert(b.end(), {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(2 * k + 1),
                           static_cast<std::uint8_t>(3 * k + 2)});
        if (entryBytes == 4) b.push_back(0);
    }
    return b;
}

// n pixel bytes counting up from `seed`, none of them 0, so zero fill is told from data.
inline Bytes PixelBytes(std::size_t n, unsigned seed = 1) {
    Bytes b(n);
    for (std::size_t k = 0; k < n; ++k) b[k] = static_cast<std::uint8_t>((seed + k) % 255 + 1);
    return b;
}

// A whole file: file header (unless `withFileHeader` is false), `header`, `table` (or masks),
// `pixels`; bfOffBits points right behind the table.
inline Bytes Compose(const Bytes& header, const Bytes& table, const Bytes& pixels,
                     bool withFileHeader = true) {
    const auto off = static_cast<std::uint32_t>(14 + header.size() + table.size());
    return Cat(withFileHeader ? FileHeader(off + pixels.size(), off) : Bytes{}, header, table,
               pixels);
}

inline void WriteFile(const std::string& name, const Bytes& bytes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
    ~Dib() {
        if (h) GlobalFree(h);
    }
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;
    // A copy of the bytes of the block.
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
