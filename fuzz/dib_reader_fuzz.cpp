// .bmp reading over any bytes: CCtrlDib::OpenDIB of a file holding them, then DibInfo,
// CreateDibPalette, BitmapFromDib and a DibBlt into a memory context of whatever came back.
// The bytes live in an anonymous memory file opened by its /proc path, so no disk is touched.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zumeld/dib/CtrlDib.h"

using namespace Zumeld;

namespace {

// Pictures whose header names more pixel bytes than this are skipped: the reader sizes the
// block from the header (a short file leaves the rest 0), and a 2 GB picture is legal.
constexpr std::uint64_t kMaxFuzzPixelBytes = 1u << 20;

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The pixel bytes the information header at `at` names; missing header bytes read 0, as they
// do for the reader of a short file.
std::uint64_t NamedPixelBytes(const std::uint8_t* data, std::size_t size, std::size_t at) {
    std::uint8_t h[40] = {};
    if (size > at) std::memcpy(h, data + at, std::min<std::size_t>(size - at, sizeof h));
    std::int64_t width, height;
    unsigned bits;
    std::uint64_t image = 0;
    if (Le32(h) == 12) {
        width = h[4] | h[5] << 8;
        height = h[6] | h[7] << 8;
        bits = h[10] | h[11] << 8;
    } else {
        width = static_cast<std::int32_t>(Le32(h + 4));
        height = static_cast<std::int32_t>(Le32(h + 8));
        bits = h[14] | h[15] << 8;
        image = Le32(h + 20);  // biSizeImage
    }
    const std::uint64_t w = static_cast<std::uint64_t>(width < 0 ? -width : width);
    const std::uint64_t hh = static_cast<std::uint64_t>(height < 0 ? -height : height);
    return std::max(image, (w * std::max(bits, 1u) + 31) / 32 * 4 * hh);
}

// The reader takes a file that starts with "BM" to have a file header in front of the
// information header, and any other file to start with the information header.
bool TooBig(const std::uint8_t* data, std::size_t size) {
    const bool fileHeader = size >= 2 && data[0] == 'B' && data[1] == 'M';
    return NamedPixelBytes(data, size, fileHeader ? 14 : 0) > kMaxFuzzPixelBytes;
}

struct MemoryFile {
    int fd = -1;
    char path[64] = {};
    MemoryFile() {
        fd = memfd_create("dib_reader_fuzz", 0);
        if (fd < 0) std::abort();
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    }
    void Fill(const std::uint8_t* data, std::size_t size) {
        if (ftruncate(fd, 0) != 0 ||
            (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)))
            std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (TooBig(data, size)) return -1;
    static MemoryFile file;
    file.Fill(data, size);

    CCtrlDib dib;
    void* hdib = dib.OpenDIB(file.path);
    if (!hdib) return 0;

    BITMAPINFOHEADER bi{};
    dib.DibInfo(hdib, &bi);
    HPALETTE pal = dib.CreateDibPalette(hdib);
    HBITMAP bmp = dib.BitmapFromDib(hdib, pal);

    // Draw into a small target, clipped: the picture's own size as the extent.
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP target = CreateBitmap(64, 64, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(dc, target);
    dib.DibBlt(dc, 0, 0, std::clamp<int>(bi.biWidth, -4096, 4096),
               std::clamp<int>(bi.biHeight, -4096, 4096), hdib, 0, 0, SRCCOPY);
    if (bmp) dib.DrawBitmap(dc, 3, -2, bmp, SRCCOPY);
    SelectObject(dc, old);
    DeleteObject(target);
    DeleteDC(dc);

    if (bmp) DeleteObject(bmp);
    if (pal) DeleteObject(pal);
    GlobalFree(hdib);
    return 0;
}
