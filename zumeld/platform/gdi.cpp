// The in-memory GDI: the object table, stock objects, bitmaps and DIB sections, the DIB
// read-out and write-in (GetDIBits, SetDIBits, CreateDIBitmap) and bitmap resources.
#include <bit>
#include <climits>
#include <cstring>
#include <new>
#include <unordered_map>

#include "zumeld/platform/gdi_p.h"
#include "zumeld/platform/resources_p.h"

static_assert(std::endian::native == std::endian::little,
              "pixels and file records are read as little-endian words");

namespace Zumeld::Platform {

namespace {

constexpr PALETTEENTRY kDefaultPalette[20] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
    {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0}};

RGBQUAD Quad(BYTE r, BYTE g, BYTE b) {
    return RGBQUAD{b, g, r, 0};
}
RGBQUAD Quad(const PALETTEENTRY& e) {
    return Quad(e.peRed, e.peGreen, e.peBlue);
}

struct GdiTable {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::unique_ptr<GdiObject>> objects;
    std::uintptr_t next = 0x10000;
    HGDIOBJ stock[DEFAULT_PALETTE + 1] = {};
    HGDIOBJ defaultBitmap = nullptr;
    std::unique_ptr<GdiBitmap> screen;  // made on first use; no handle reaches it
};

HGDIOBJ AddUnlocked(GdiTable& t, std::unique_ptr<GdiObject> obj) {
    t.next += 0x10;
    const std::uintptr_t key = t.next;
    t.objects.emplace(key, std::move(obj));
    return reinterpret_cast<HGDIOBJ>(key);
}

HGDIOBJ AddStockBrush(GdiTable& t, COLORREF color, bool hollow) {
    auto brush = std::make_unique<GdiBrush>();
    brush->stock = true;
    brush->color = color;
    brush->hollow = hollow;
    return AddUnlocked(t, std::move(brush));
}

GdiTable* MakeTable() {
    auto* t = new GdiTable;
    t->stock[WHITE_BRUSH] = AddStockBrush(*t, RGB(255, 255, 255), false);
    t->stock[LTGRAY_BRUSH] = AddStockBrush(*t, RGB(192, 192, 192), false);
    t->stock[GRAY_BRUSH] = AddStockBrush(*t, RGB(128, 128, 128), false);
    t->stock[DKGRAY_BRUSH] = AddStockBrush(*t, RGB(64, 64, 64), false);
    t->stock[BLACK_BRUSH] = AddStockBrush(*t, RGB(0, 0, 0), false);
    t->stock[NULL_BRUSH] = AddStockBrush(*t, 0, true);
    auto pal = std::make_unique<GdiPalette>();
    pal->stock = true;
    pal->entries.assign(std::begin(kDefaultPalette), std::end(kDefaultPalette));
    t->stock[DEFAULT_PALETTE] = AddUnlocked(*t, std::move(pal));
    auto mono = NewBitmap(1, 1, 1);
    mono->stock = true;
    t->defaultBitmap = AddUnlocked(*t, std::move(mono));
    return t;
}

// The table lives for the whole process: handles may be released from static destructors.
GdiTable& Table() {
    static GdiTable* table = MakeTable();
    return *table;
}

template <typename T>
T* FindKind(HGDIOBJ h, GdiKind kind) {
    GdiObject* obj = FindObject(h);
    return obj != nullptr && obj->kind == kind ? static_cast<T*>(obj) : nullptr;
}

// Width of a device-dependent bitmap row as GetObject reports it: rounded up to 2 bytes.
LONG DdbWidthBytes(int width, int bits) {
    return static_cast<LONG>((static_cast<std::int64_t>(width) * bits + 15) / 16 * 2);
}

// A bitmap in the format of a context's surface (the screen for a null context): what
// CreateCompatibleBitmap and CreateDIBitmap make.
std::unique_ptr<GdiBitmap> NewCompatibleBitmap(HDC hdc, int width, int height) {
    const GdiBitmap* model = nullptr;
    if (hdc != nullptr) {
        const GdiDc* dc = FindDc(hdc);
        if (dc == nullptr) return nullptr;
        model = dc->screen ? nullptr : FindBitmap(dc->bitmap);
    }
    auto bmp = NewBitmap(width, height, model ? model->bitCount : kScreenBitCount);
    if (bmp && model != nullptr) {
        if (model->bitCount <= 8) bmp->colors = model->colors;
        std::memcpy(bmp->masks, model->masks, sizeof bmp->masks);
        bmp->dibSection = model->dibSection;
    }
    return bmp;
}

HBITMAP AddBitmap(std::unique_ptr<GdiBitmap> bmp) {
    if (!bmp) return nullptr;
    return static_cast<HBITMAP>(AddObject(std::move(bmp)));
}

const GdiPalette* PaletteOfDc(HDC hdc) {
    const GdiDc* dc = FindDc(hdc);
    return dc != nullptr ? FindPalette(dc->palette) : nullptr;
}

// The colour table GetDIBits hands out at a bit count: the bitmap's own at the same depth,
// else the standard one.
std::vector<RGBQUAD> OutputColors(const GdiBitmap& bmp, int bitCount) {
    if (bmp.bitCount == bitCount && !bmp.colors.empty()) {
        std::vector<RGBQUAD> c = bmp.colors;
        c.resize(std::size_t{1} << bitCount, RGBQUAD{0, 0, 0, 0});
        return c;
    }
    return StandardColors(bitCount);
}

}  // namespace

// ---- Table -------------------------------------------------------------------------------

std::unique_lock<std::mutex> GdiLock() {
    return std::unique_lock<std::mutex>(Table().mutex);
}

GdiObject* FindObject(HGDIOBJ h) {
    if (h == nullptr) return nullptr;
    auto& objects = Table().objects;
    const auto it = objects.find(reinterpret_cast<std::uintptr_t>(h));
    return it == objects.end() ? nullptr : it->second.get();
}
GdiBitmap* FindBitmap(HGDIOBJ h) {
    return FindKind<GdiBitmap>(h, GdiKind::Bitmap);
}
GdiPalette* FindPalette(HGDIOBJ h) {
    return FindKind<GdiPalette>(h, GdiKind::Palette);
}
GdiBrush* FindBrush(HGDIOBJ h) {
    return FindKind<GdiBrush>(h, GdiKind::Brush);
}
GdiDc* FindDc(HGDIOBJ h) {
    return FindKind<GdiDc>(h, GdiKind::Dc);
}

HGDIOBJ AddObject(std::unique_ptr<GdiObject> obj) {
    try {
        return AddUnlocked(Table(), std::move(obj));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<GdiObject> TakeObject(HGDIOBJ h) {
    auto& objects = Table().objects;
    const auto it = objects.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == objects.end()) return nullptr;
    std::unique_ptr<GdiObject> obj = std::move(it->second);
    objects.erase(it);
    return obj;
}

HGDIOBJ StockObject(int index) {
    if (index < 0 || index > DEFAULT_PALETTE) return nullptr;
    return Table().stock[index];
}

HGDIOBJ DefaultDcBitmap() {
    return Table().defaultBitmap;
}

GdiBitmap* ScreenSurface() {
    GdiTable& t = Table();
    if (!t.screen) t.screen = NewBitmap(kScreenWidth, kScreenHeight, kScreenBitCount);
    return t.screen.get();
}

GdiBitmap* DcSurface(const GdiDc* dc) {
    if (dc == nullptr) return nullptr;
    return dc->screen ? ScreenSurface() : FindBitmap(dc->bitmap);
}

std::unique_ptr<GdiBitmap> NewBitmap(int width, int height, int bitCount) {
    if (width < 1 || height < 1 || !IsValidBitCount(bitCount)) return nullptr;
    const std::uint64_t stride = DibStride(static_cast<std::uint64_t>(width), bitCount);
    if (stride * static_cast<std::uint64_t>(height) > kMaxPictureBytes) return nullptr;
    const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    std::unique_ptr<GdiBitmap> bmp(new (std::nothrow) GdiBitmap);
    if (!bmp) return nullptr;
    // Pixels are made to be drawn: present at once (platform/pages.h).
    bmp->bits = decltype(bmp->bits)(static_cast<BYTE*>(AllocateZeroedBlock(bytes, true)),
                                    ZeroedBlockDeleter{bytes});
    if (!bmp->bits) return nullptr;
    bmp->width = width;
    bmp->height = height;
    bmp->bitCount = bitCount;
    bmp->stride = static_cast<int>(stride);
    if (bitCount <= 8) bmp->colors = StandardColors(bitCount);
    return bmp;
}

std::vector<RGBQUAD> StandardColors(int bitCount) {
    std::vector<RGBQUAD> c;
    if (bitCount == 1) {
        c = {Quad(0, 0, 0), Quad(255, 255, 255)};
    } else if (bitCount == 4) {
        // The dark colours, grey and silver, then the bright colours.
        for (int i = 0; i < 7; ++i) c.push_back(Quad(kDefaultPalette[i]));
        c.push_back(Quad(kDefaultPalette[12]));
        c.push_back(Quad(kDefaultPalette[7]));
        for (int i = 13; i < 20; ++i) c.push_back(Quad(kDefaultPalette[i]));
    } else if (bitCount == 8) {
        // A 3-3-2 colour cube (red in the low bits of the index) whose first and last ten
        // entries are the default palette's.
        for (int i = 0; i < 256; ++i)
            c.push_back(Quad(static_cast<BYTE>(32 * (i & 7)),
                             static_cast<BYTE>(32 * ((i >> 3) & 7)),
                             static_cast<BYTE>(64 * (i >> 6))));
        for (int i = 0; i < 10; ++i) {
            c[static_cast<std::size_t>(i)] = Quad(kDefaultPalette[i]);
            c[static_cast<std::size_t>(246 + i)] = Quad(kDefaultPalette[10 + i]);
        }
    }
    return c;
}

// ---- DIB descriptions --------------------------------------------------------------------

bool ReadDibLayout(const BITMAPINFO* pbmi, std::size_t available, UINT usage,
                   const GdiPalette* palette, DibLayout& out) {
    if (pbmi == nullptr || available < sizeof(BITMAPINFOHEADER)) return false;
    const BITMAPINFOHEADER& h = pbmi->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > available) return false;
    if (h.biWidth < 1 || h.biHeight == 0 || h.biHeight == INT_MIN) return false;
    if (!IsValidBitCount(h.biBitCount)) return false;
    const bool bitfields = h.biCompression == BI_BITFIELDS;
    if (h.biCompression != BI_RGB && !(bitfields && (h.biBitCount == 16 || h.biBitCount == 32)))
        return false;
    const int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    const std::uint64_t stride = DibStride(static_cast<std::uint64_t>(h.biWidth), h.biBitCount);
    if (stride * static_cast<std::uint64_t>(height) > kMaxPictureBytes) return false;
    if (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS) return false;

    DibLayout d;
    d.width = h.biWidth;
    d.height = height;
    d.topDown = h.biHeight < 0;
    d.bitCount = h.biBitCount;
    d.stride = static_cast<int>(stride);
    const BYTE* table = reinterpret_cast<const BYTE*>(pbmi) + h.biSize;
    const std::size_t tableRoom = available - h.biSize;
    if (d.bitCount <= 8) {
        const DWORD most = DWORD{1} << d.bitCount;
        const DWORD n = (h.biClrUsed > 0 && h.biClrUsed < most) ? h.biClrUsed : most;
        const std::size_t entrySize = usage == DIB_PAL_COLORS ? sizeof(WORD) : sizeof(RGBQUAD);
        if (n * entrySize > tableRoom) return false;
        d.colors.resize(n);
        for (DWORD i = 0; i < n; ++i) {
            if (usage == DIB_PAL_COLORS) {
                WORD index;
                std::memcpy(&index, table + i * sizeof(WORD), sizeof index);
                // Indices past the palette wrap around it.
                d.colors[i] = Quad(palette == nullptr || palette->entries.empty()
                                       ? kDefaultPalette[index % 20]
                                       : palette->entries[index % palette->entries.size()]);
            } else {
                std::memcpy(&d.colors[i], table + i * sizeof(RGBQUAD), sizeof(RGBQUAD));
                d.colors[i].rgbReserved = 0;
            }
        }
    } else if (bitfields) {
        // Headers of 52 bytes and more carry the masks themselves; the 40-byte header is
        // followed by them.
        const BYTE* masks = reinterpret_cast<const BYTE*>(pbmi) + sizeof(BITMAPINFOHEADER);
        if (h.biSize < sizeof(BITMAPINFOHEADER) + sizeof d.masks) {
            if (tableRoom < sizeof d.masks) return false;
            masks = table;
        }
        std::memcpy(d.masks, masks, sizeof d.masks);
    }
    out = std::move(d);
    return true;
}

RowSurface SurfaceOf(const GdiBitmap& b) {
    RowSurface s;
    s.format = b.Format();
    s.base = b.bits.get();
    s.stride = b.stride;
    s.width = b.width;
    s.height = b.height;
    s.bottomUp = !b.topDown;
    s.scanLo = 0;
    s.scanHi = b.height;
    return s;
}

RowSurface SurfaceOf(const DibLayout& d, const void* bits, std::uint64_t start,
                     std::uint64_t cLines) {
    RowSurface s;
    s.format = d.Format();
    s.base = static_cast<BYTE*>(const_cast<void*>(bits));
    s.stride = d.stride;
    s.width = d.width;
    s.height = d.height;
    s.bottomUp = !d.topDown;
    const std::uint64_t h = static_cast<std::uint64_t>(d.height);
    s.scanLo = static_cast<int>(start < h ? start : h);
    s.scanHi = static_cast<int>(start + cLines < h ? start + cLines : h);
    if (bits == nullptr) s.scanHi = s.scanLo;
    return s;
}

int CopyDibToBitmap(GdiBitmap& bmp, const DibLayout& dib, const void* bits, UINT start,
                    UINT cLines) {
    if (bits == nullptr) return 0;
    const RowSurface src = SurfaceOf(dib, bits, start, cLines);
    const int width = dib.width < bmp.width ? dib.width : bmp.width;
    const PixelFormat to = bmp.Format();
    int copied = 0;
    for (int scan = src.scanLo; scan < src.scanHi; ++scan) {
        // Scan lines count from the bottom of a bottom-up DIB and from the top of a top-down
        // one, in the DIB and in the bitmap alike.
        const int row = dib.topDown ? scan : bmp.height - 1 - scan;
        if (row < 0 || row >= bmp.height) continue;
        ConvertPixels(src.format,
                      src.base + static_cast<std::ptrdiff_t>(scan - src.scanLo) * src.stride, 0, to,
                      bmp.Row(row), 0, width);
        ++copied;
    }
    return copied;
}

HBITMAP BitmapFromBmpFile(const unsigned char* bytes, std::size_t size) {
    if (bytes == nullptr || size < sizeof(BITMAPFILEHEADER)) return nullptr;
    BITMAPFILEHEADER fh;
    std::memcpy(&fh, bytes, sizeof fh);
    if (fh.bfType != 0x4D42) return nullptr;  // "BM"
    // The info block (header, then table or masks) copied to aligned memory.
    const std::size_t infoBytes = size - sizeof fh;
    std::vector<std::uint32_t> info((infoBytes + 3) / 4);
    if (infoBytes > 0) std::memcpy(info.data(), bytes + sizeof fh, infoBytes);
    const auto* bmi = reinterpret_cast<const BITMAPINFO*>(info.data());

    auto lock = GdiLock();
    DibLayout d;
    if (!ReadDibLayout(bmi, infoBytes, DIB_RGB_COLORS, nullptr, d)) return nullptr;
    const std::size_t pixelBytes = static_cast<std::size_t>(d.stride) * d.height;
    if (fh.bfOffBits < sizeof fh || fh.bfOffBits > size || size - fh.bfOffBits < pixelBytes)
        return nullptr;
    auto bmp = NewBitmap(d.width, d.height, kScreenBitCount);
    if (!bmp) return nullptr;
    CopyDibToBitmap(*bmp, d, bytes + fh.bfOffBits, 0, static_cast<UINT>(d.height));
    return AddBitmap(std::move(bmp));
}

}  // namespace Zumeld::Platform

using namespace Zumeld::Platform;

// ---- Bitmaps -----------------------------------------------------------------------------

HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits) {
    if (nPlanes != 1 || nBitCount > 32) return nullptr;
    // Made and filled before the table is locked: another thread's calls need not wait.
    auto bmp = NewBitmap(nWidth, nHeight, static_cast<int>(nBitCount));
    if (!bmp) return nullptr;
    if (lpBits != nullptr) {
        // Device-dependent rows run top-down, each padded to 2 bytes.
        const LONG rowBytes = DdbWidthBytes(nWidth, bmp->bitCount);
        for (int y = 0; y < nHeight; ++y)
            std::memcpy(
                bmp->Row(y),
                static_cast<const BYTE*>(lpBits) + static_cast<std::ptrdiff_t>(y) * rowBytes,
                static_cast<std::size_t>(rowBytes));
    }
    auto lock = GdiLock();
    return AddBitmap(std::move(bmp));
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    auto lock = GdiLock();
    return AddBitmap(NewCompatibleBitmap(hdc, cx, cy));
}

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                         HANDLE hSection, DWORD offset) {
    (void)offset;
    if (ppvBits != nullptr) *ppvBits = nullptr;
    if (hSection != nullptr) return nullptr;  // file-mapping sections are not supported
    DibLayout d;
    {
        auto lock = GdiLock();
        if (hdc != nullptr && FindDc(hdc) == nullptr) return nullptr;
        if (!ReadDibLayout(pbmi, SIZE_MAX, usage, PaletteOfDc(hdc), d)) return nullptr;
    }
    // The pixels are mapped without the lock held (large pictures take the longest).
    auto bmp = NewBitmap(d.width, d.height, d.bitCount);
    if (!bmp) return nullptr;
    bmp->dibSection = true;
    bmp->topDown = d.topDown;
    if (d.bitCount <= 8) bmp->colors = d.colors;
    std::memcpy(bmp->masks, d.masks, sizeof bmp->masks);
    BYTE* pixels = bmp->bits.get();
    auto lock = GdiLock();
    HBITMAP h = AddBitmap(std::move(bmp));
    if (h != nullptr && ppvBits != nullptr) *ppvBits = pixels;
    return h;
}

HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit, const void* pjBits,
                       const BITMAPINFO* pbmi, UINT iUsage) {
    if (pbmih == nullptr || pbmih->biSize < sizeof(BITMAPINFOHEADER)) return nullptr;
    const LONG height = pbmih->biHeight < 0 ? -pbmih->biHeight : pbmih->biHeight;
    if (pbmih->biHeight == INT_MIN) return nullptr;
    auto lock = GdiLock();
    // Without a context the bitmap is monochrome, as a new memory context's is.
    auto bmp = hdc == nullptr ? NewBitmap(pbmih->biWidth, height, 1)
                              : NewCompatibleBitmap(hdc, pbmih->biWidth, height);
    if (!bmp) return nullptr;
    if (flInit & CBM_INIT) {
        DibLayout d;
        if (pjBits == nullptr || !ReadDibLayout(pbmi, SIZE_MAX, iUsage, PaletteOfDc(hdc), d))
            return nullptr;
        CopyDibToBitmap(*bmp, d, pjBits, 0, static_cast<UINT>(d.height));
    }
    return AddBitmap(std::move(bmp));
}

int GetObjectA(HANDLE h, int c, LPVOID pv) {
    auto lock = GdiLock();
    if (const GdiBitmap* b = FindBitmap(h)) {
        if (pv == nullptr) return static_cast<int>(sizeof(BITMAP));
        if (c < static_cast<int>(sizeof(BITMAP))) return 0;
        BITMAP bm{};
        bm.bmType = 0;
        bm.bmWidth = b->width;
        bm.bmHeight = b->height;
        bm.bmWidthBytes = b->dibSection ? b->stride : DdbWidthBytes(b->width, b->bitCount);
        bm.bmPlanes = 1;
        bm.bmBitsPixel = static_cast<WORD>(b->bitCount);
        bm.bmBits = b->dibSection ? b->bits.get() : nullptr;
        std::memcpy(pv, &bm, sizeof bm);
        return static_cast<int>(sizeof(BITMAP));
    }
    if (const GdiPalette* p = FindPalette(h)) {
        // A palette describes itself by its entry count, one WORD.
        if (pv == nullptr) return static_cast<int>(sizeof(WORD));
        if (c < static_cast<int>(sizeof(WORD))) return 0;
        const WORD n = static_cast<WORD>(p->entries.size());
        std::memcpy(pv, &n, sizeof n);
        return static_cast<int>(sizeof(WORD));
    }
    return 0;
}

BOOL DeleteObject(HGDIOBJ ho) {
    std::unique_ptr<GdiObject> gone;  // freed after the lock below is let go
    auto lock = GdiLock();
    GdiObject* obj = FindObject(ho);
    if (obj == nullptr || obj->kind == GdiKind::Dc) return FALSE;
    if (obj->stock) return TRUE;
    if (obj->selections > 0) {
        obj->deletePending = true;  // still selected: deleted once it is deselected
        return TRUE;
    }
    gone = TakeObject(ho);
    return TRUE;
}

HGDIOBJ GetStockObject(int i) {
    auto lock = GdiLock();
    return StockObject(i);
}

int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, BITMAPINFO* lpbmi,
              UINT usage) {
    if (lpbmi == nullptr || usage != DIB_RGB_COLORS) return 0;
    BITMAPINFOHEADER& h = lpbmi->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER)) return 0;
    auto lock = GdiLock();
    const GdiBitmap* bmp = FindBitmap(hbm);
    if (FindDc(hdc) == nullptr || bmp == nullptr) return 0;
    const std::int64_t height =
        h.biHeight < 0 ? -static_cast<std::int64_t>(h.biHeight) : h.biHeight;
    if (cLines == 0 || start >= height) lpvBits = nullptr;  // nothing to copy: a header call

    if (h.biBitCount == 0 && lpvBits == nullptr) {
        // Describe the bitmap: size, depth (masked at 16 and 32 bits), image size.
        h.biWidth = bmp->width;
        h.biHeight = bmp->height;
        h.biPlanes = 1;
        h.biBitCount = static_cast<WORD>(bmp->bitCount);
        h.biCompression = bmp->bitCount == 16 || bmp->bitCount == 32 ? BI_BITFIELDS : BI_RGB;
        h.biSizeImage = static_cast<DWORD>(bmp->stride) * static_cast<DWORD>(bmp->height);
        h.biXPelsPerMeter = h.biYPelsPerMeter = 0;
        h.biClrUsed = h.biClrImportant = 0;
        return bmp->height;
    }
    // The caller's DIB: its own width and height, aligned with the bitmap's top-left corner.
    const int bits = h.biBitCount;
    if (h.biWidth <= 0 || height == 0 || !IsValidBitCount(bits)) return 0;
    const bool bitfields = h.biCompression == BI_BITFIELDS;
    if (h.biCompression != BI_RGB && !(bitfields && bits >= 16)) return 0;
    const std::uint64_t stride = DibStride(static_cast<std::uint64_t>(h.biWidth), bits);
    if (stride * static_cast<std::uint64_t>(height) > kMaxPictureBytes) return 0;

    // The colour table (the bitmap's own at its depth, else the standard one), or the masks.
    PixelFormat out;
    out.bitCount = bits;
    std::vector<RGBQUAD> colors;
    if (bits <= 8) {
        colors = OutputColors(*bmp, bits);
        std::memcpy(lpbmi->bmiColors, colors.data(), colors.size() * sizeof(RGBQUAD));
        out.colors = colors.data();
        out.numColors = static_cast<int>(colors.size());
    } else if (bitfields) {
        DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
        if (bits == 32) masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
        if (bmp->bitCount == bits && (bmp->masks[0] | bmp->masks[1] | bmp->masks[2]) != 0)
            std::memcpy(masks, bmp->masks, sizeof masks);
        std::memcpy(lpbmi->bmiColors, masks, sizeof masks);
        out.redMask = masks[0];
        out.greenMask = masks[1];
        out.blueMask = masks[2];
    }
    h.biPlanes = 1;
    h.biSizeImage = static_cast<DWORD>(stride * static_cast<std::uint64_t>(height));
    h.biClrUsed = 0;
    if (lpvBits == nullptr) return 1;

    // The band: cLines scan lines from `start`, counted from the bottom of the caller's DIB
    // (of a top-down one too). In bitmap rows, destination row t holds bitmap row t + offset;
    // rows of the band past the bitmap's bottom are zero, rows past its top not written.
    std::int64_t lines = cLines, offset, first, end;
    if (h.biHeight > 0) {
        offset = -static_cast<std::int64_t>(start);
        lines = std::min(lines, height - start);
        first = height - lines;
        end = height;
    } else {
        offset = height - lines - start;
        if (offset < 0) {
            offset = 0;
            lines = height - start;
        }
        first = 0;
        end = std::min(lines, height);
    }
    // The band's rows [lo, hi) that hold bitmap rows (hi < lo when none: then its padding
    // starts where the bitmap's last row would have been).
    const Span rows = Intersect({first + offset, end + offset}, {0, bmp->height});
    const std::int64_t lo = rows.lo - offset, hi = rows.hi - offset;
    auto* base = static_cast<BYTE*>(lpvBits);
    auto row = [&](std::int64_t i) { return base + static_cast<std::size_t>(i) * stride; };
    const int width = std::min<int>(h.biWidth, bmp->width);
    const PixelFormat from = bmp->Format();
    // Rows are zeroed past the pixels, padding included; pixels of the bitmap's own layout
    // are copied as whole bytes (at 1 bit without the unused low bits of the last).
    const bool raw = SameLayout(from, out);
    auto copy = [&](std::int64_t t, BYTE* to) {
        const BYTE* pixels = bmp->Row(static_cast<int>(t + offset));
        std::memset(to, 0, stride);
        if (!raw) {
            ConvertPixels(from, pixels, 0, out, to, 0, width);
            return;
        }
        const std::size_t used = (static_cast<std::size_t>(width) * bits + 7) / 8;
        std::memcpy(to, pixels, used);
        if (bits == 1 && width % 8 != 0) to[used - 1] &= static_cast<BYTE>(0xFF << (8 - width % 8));
    };
    std::int64_t next = 0;  // the buffer row the first copied row goes to
    if (h.biHeight > 0) {
        if (hi < height) {
            next = std::min(height - hi, lines);
            std::memset(base, 0, static_cast<std::size_t>(next * stride));
        }
        for (std::int64_t t = hi - 1; t >= lo; --t, ++next) copy(t, row(next));  // bottom first
    } else {
        if (hi >= 0 && hi < lines)
            std::memset(row(hi), 0, static_cast<std::size_t>((lines - hi) * stride));
        for (std::int64_t t = lo; t < hi; ++t) copy(t, row(t));
    }
    return rows.Empty() ? 0 : static_cast<int>(rows.hi - rows.lo);
}

int SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, const void* lpBits,
              const BITMAPINFO* lpbmi, UINT ColorUse) {
    auto lock = GdiLock();
    if (hdc != nullptr && FindDc(hdc) == nullptr) return 0;
    GdiBitmap* bmp = FindBitmap(hbm);
    DibLayout d;
    if (bmp == nullptr || !ReadDibLayout(lpbmi, SIZE_MAX, ColorUse, PaletteOfDc(hdc), d)) return 0;
    return CopyDibToBitmap(*bmp, d, lpBits, start, cLines);
}

// ---- Bitmap resources --------------------------------------------------------------------

HBITMAP LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName) {
    (void)hInstance;  // every module's bitmaps are embedded in this library
    if (lpBitmapName == nullptr || !IS_INTRESOURCE(lpBitmapName)) return nullptr;
    const int id = static_cast<int>(reinterpret_cast<UINT_PTR>(lpBitmapName));
    const EmbeddedResource* res = kEmbeddedResources;
    while (res->bytes != nullptr && res->id != id) ++res;
    if (res->bytes == nullptr) return nullptr;
    return BitmapFromBmpFile(res->bytes, res->size);
}
