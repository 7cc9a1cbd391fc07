// CCtrlDib: logical palettes from colour tables, and conversion between DIB handles and
// device bitmaps through the screen device context.
#include <cstring>
#include <memory>

#include "zumeld/dib/CtrlDib.h"
#include "zumeld/dib/DibFormat_p.h"
#include "zumeld/dib/DibHandles_p.h"

namespace Zumeld {

namespace {

constexpr WORD kPaletteVersion = 0x300;
constexpr unsigned kFixedPaletteEntries = 256;

struct LocalBlockFree {
    void operator()(void* h) const { LocalFree(h); }
};

// Creates a palette of n entries that `fill` writes; the working block lives only as long as
// the call. A fixed local block is reached through GlobalLock, which serves local handles
// as well (a handle need not be the block's address).
template <class Fill>
HPALETTE MakePalette(unsigned n, Fill&& fill) {
    std::unique_ptr<void, LocalBlockFree> handle(
        LocalAlloc(LPTR, std::size_t{n} * sizeof(PALETTEENTRY) + sizeof(LOGPALETTE)));
    if (!handle) return nullptr;
    dib::LockedBlock block(handle.get());
    if (!block.get()) return nullptr;
    auto* pal = reinterpret_cast<LOGPALETTE*>(block.get());
    pal->palVersion = kPaletteVersion;
    pal->palNumEntries = static_cast<WORD>(n);
    fill(pal->palPalEntry);
    return CreatePalette(pal);
}

}  // namespace

// ---- Palettes -------------------------------------------------------------------------------

HPALETTE CCtrlDib::CreateBIPalette(tagBITMAPINFOHEADER* lpbi) {
    if (!lpbi || lpbi->biSize != sizeof(BITMAPINFOHEADER)) return nullptr;
    const unsigned n = DibNumColors(lpbi);
    if (n > 0) {
        const auto* table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(lpbi) +
                                                             static_cast<WORD>(lpbi->biSize));
        return MakePalette(n, [&](PALETTEENTRY* e) { dib::PaletteFromColorTable(table, n, e); });
    }
    if (lpbi->biBitCount == 24)
        return MakePalette(kFixedPaletteEntries, [](PALETTEENTRY* e) { dib::FixedPalette256(e); });
    return nullptr;
}

HPALETTE CCtrlDib::CreateDibPalette(void* hbi) {
    if (!hbi) return nullptr;
    dib::LockedBlock block(hbi);
    // The colour table read below must lie inside the block.
    if (!block.get() || block.size() < sizeof(BITMAPINFOHEADER)) return nullptr;
    if (std::size_t{sizeof(BITMAPINFOHEADER)} + PaletteSize(block.get()) > block.size())
        return nullptr;
    return CreateBIPalette(reinterpret_cast<tagBITMAPINFOHEADER*>(block.get()));
}

// ---- Device bitmaps to DIBs and back --------------------------------------------------------

void* CCtrlDib::DibFromBitmap(HBITMAP hbm, unsigned long biStyle, WORD biBits, HPALETTE hpal) {
    if (!hbm) return nullptr;
    if (!hpal) hpal = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));

    BITMAP bm{};
    if (GetObjectA(hbm, sizeof bm, &bm) == 0 || bm.bmWidth <= 0 || bm.bmHeight <= 0) return nullptr;
    if (biBits == 0) biBits = static_cast<WORD>(bm.bmPlanes * bm.bmBitsPixel);

    BITMAPINFOHEADER bi{};
    bi.biSize = sizeof bi;
    bi.biWidth = bm.bmWidth;
    bi.biHeight = bm.bmHeight;
    bi.biPlanes = 1;
    bi.biBitCount = biBits;
    bi.biCompression = static_cast<DWORD>(biStyle);
    if (dib::CheckDibHeader(bi) != dib::DibHeaderFault::None) return nullptr;

    dib::ScreenContext screen;
    if (!screen.get()) return nullptr;
    screen.UsePalette(hpal);

    HGLOBAL h = GlobalAlloc(GHND, static_cast<std::size_t>(dib::DibPixelOffset(&bi)));
    if (!h) return nullptr;
    auto fail = [&h]() -> void* {
        GlobalFree(h);
        return nullptr;
    };

    // First pass: no pixels; the platform completes the header (and the masks or table).
    {
        dib::LockedBlock block(h);
        if (!block.get()) return fail();
        std::memcpy(block.get(), &bi, sizeof bi);
        GetDIBits(screen.get(), hbm, 0, static_cast<UINT>(bi.biHeight), nullptr,
                  reinterpret_cast<BITMAPINFO*>(block.get()), DIB_RGB_COLORS);
        std::memcpy(&bi, block.get(), sizeof bi);
    }
    // The completed header must still describe what was asked for, and a stated image size
    // must hold every row the second pass writes.
    if (bi.biSize != sizeof bi || bi.biWidth != bm.bmWidth || bi.biHeight != bm.bmHeight ||
        bi.biBitCount != biBits || dib::CheckDibHeader(bi) != dib::DibHeaderFault::None)
        return fail();
    const auto rows = dib::DibImageBytes(bi.biWidth, bi.biHeight, bi.biBitCount);
    if (bi.biSizeImage == 0) {
        std::uint64_t size = *rows;
        if (bi.biCompression != BI_RGB) size = size * 3 / 2;  // room for coded pixels
        if (size > dib::kMaxDibBlockBytes) return fail();
        bi.biSizeImage = static_cast<DWORD>(size);
    } else if (bi.biCompression == BI_RGB && bi.biSizeImage < *rows) {
        bi.biSizeImage = *rows;
    }
    const std::uint64_t pixelOffset = dib::DibPixelOffset(&bi);
    const std::uint64_t total = pixelOffset + bi.biSizeImage;
    if (total > dib::kMaxDibBlockBytes) return fail();

    HGLOBAL grown = GlobalReAlloc(h, static_cast<std::size_t>(total), 0);
    if (!grown) return fail();
    h = grown;

    // Second pass: the pixels, right behind the masks and the colour table.
    dib::LockedBlock block(h);
    if (!block.get() || block.size() < total) {
        block.Unlock();
        return fail();
    }
    std::memcpy(block.get(), &bi, sizeof bi);
    const int lines =
        GetDIBits(screen.get(), hbm, 0, static_cast<UINT>(bi.biHeight), block.get() + pixelOffset,
                  reinterpret_cast<BITMAPINFO*>(block.get()), DIB_RGB_COLORS);
    if (lines == 0) {
        block.Unlock();
        return fail();
    }
    return h;
}

HBITMAP CCtrlDib::BitmapFromDib(void* hdib, HPALETTE hpal) {
    if (!hdib) return nullptr;
    dib::LockedBlock block(hdib);
    const auto layout = dib::DibLayoutInBlock(block.get(), block.size());
    if (!layout) return nullptr;

    dib::ScreenContext screen;
    if (!screen.get()) return nullptr;
    screen.UsePalette(hpal);
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(block.get());
    return CreateDIBitmap(screen.get(), header, CBM_INIT, block.get() + layout->pixelOffset,
                          reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS);
}

}  // namespace Zumeld
