// The DIB code: header checks, block layout and chunked transfers; .bmp files read and written
// through CCtrlDib; palettes, conversion between DIBs and device bitmaps, and drawing, read back
// from a 32-bit bitmap selected into a memory device context.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "dib_test_support.h"
#include "zumeld/dib/CtrlDib.h"
#include "zumeld/dib/DibFormat_p.h"

using namespace Zumeld::dib;
using namespace dib_test;
using Zumeld::CCtrlDib;

namespace {

// ---- Header checks, block layout and chunked transfers.
TEST(DibChunks, SplitsInto32768ByteCallsAndStopsAtTheFirstShortOne) {
    // count, the 1-based call that moves `reply` instead of what was asked (HFILE_ERROR counts
    // as short too), reply, the calls made, the result.
    const std::tuple<unsigned long, int, UINT, std::vector<UINT>, unsigned long> cases[] = {
        {0, 0, 0, {0}, 0},
        {32769, 0, 0, {32768, 1}, 32769},
        {70000, 0, 0, {32768, 32768, 4464}, 70000},
        {100000, 2, 32767, {32768, 32768}, 0},
        {10, 1, static_cast<UINT>(HFILE_ERROR), {10}, 0}};
    for (const auto& [count, failAt, reply, expectedCalls, result] : cases) {
        std::vector<BYTE> buffer(count + 1);
        std::vector<UINT> calls;
        const unsigned long got = TransferInChunks(buffer.data(), count, [&](BYTE* p, UINT n) {
            EXPECT_EQ(p - buffer.data(), static_cast<std::ptrdiff_t>(calls.size() * 32768));
            calls.push_back(n);
            return static_cast<int>(calls.size()) == failAt ? reply : n;
        });
        EXPECT_EQ(got, result) << "count " << count;
        EXPECT_EQ(calls, expectedCalls) << "count " << count;
    }
}

// The header InfoHeader writes, as the record the checks take.
BITMAPINFOHEADER H(std::int32_t w, std::int32_t h, std::uint32_t bits = 8, std::uint32_t comp = 0,
                   std::uint32_t image = 0, std::uint32_t used = 0) {
    BITMAPINFOHEADER bi;
    Info i;
    std::tie(i.width, i.height, i.bits, i.compression, i.sizeImage, i.clrUsed) =
        std::tuple(w, h, bits, comp, image, used);
    std::memcpy(&bi, InfoHeader(i).data(), sizeof bi);
    return bi;
}

TEST(DibHeaderCheck, AcceptsWhatTheReadersWalkAndRefusesEachUnsafeField) {
    for (const BITMAPINFOHEADER& h :
         {H(4, -2), H(4, 2, 16, BI_BITFIELDS), H(4, 2, 8, 0, 0, 256), H(4, 2, 8, BI_RLE8, 100),
          H(4, 2, 4, BI_RLE4), H(4, 2, 24, 0, 0, 16383)})
        EXPECT_EQ(CheckDibHeader(h), DibHeaderFault::None) << h.biWidth << "x" << h.biHeight;
    // Width, height, bit count, compression, colour count, size: each refused on its own.
    for (const BITMAPINFOHEADER& h :
         {H(0, 2), H(4, 0), H(4, 2, 3), H(4, 2, 33), H(4, 2, 24, BI_BITFIELDS), H(4, 2, 8, BI_RLE4),
          H(4, -2, 8, BI_RLE8), H(4, 2, 8, 4), H(4, 2, 8, 0, 0, 257), H(4, 2, 24, 0, 0, 16384),
          H(4, 2, 8, 0, 0, 0x10000), H(65535, 65535, 32), H(4, INT32_MIN),
          H(4, 2, 8, BI_RLE8, 0xFFFFFFF0)})
        EXPECT_NE(CheckDibHeader(h), DibHeaderFault::None)
            << h.biWidth << "x" << h.biHeight << "x" << h.biBitCount << " " << h.biCompression;
    // Pixel bytes: the rows (stated size ignored) unless run-length coded.
    EXPECT_EQ(DibPixelBytes(H(5, -3, 24, 0, 999)), 48u);
    EXPECT_EQ(DibPixelBytes(H(8, 2, 8, BI_RLE8, 7)), 7u);
    EXPECT_EQ(DibPixelBytes(H(8, 2, 8, BI_RLE8)), 16u);
    EXPECT_EQ(DibPixelBytes(H(8, 0)), std::nullopt);
}

// ---- Reading and writing .bmp files through CCtrlDib: both header forms, with and without a
// file header, colour tables, masks, short files, the write-read round trip, refused headers.
// The block a file should open into: the 40-byte header, the table as quads, the pixels.
Bytes Block(Info i, const Bytes& table, const Bytes& pixels) {
    return Cat(InfoHeader(i), table, pixels);
}

class DibFile : public ::testing::Test {
  protected:
    void* Open(const Bytes& bytes) {
        WriteBytes(path, bytes);
        return dib.OpenDIB(path.data());
    }

    TempDir dir;
    CCtrlDib dib;
    std::string path = dir.File("in.bmp");
};

TEST_F(DibFile, OpensEveryLayoutIntoHeaderQuadsAndRows) {
    std::vector<std::pair<Bytes, Bytes>> cases;  // file, the block it opens into
    // A file of `i`, `table`, `between` (masks or a gap) and `pixels`.
    auto info = [&](Info i, const Bytes& table, const Bytes& pixels, bool fh = true,
                    const Bytes& between = {}) {
        const Bytes file = Compose(InfoHeader(i), Cat(table, between), pixels, fh);
        i.sizeImage = static_cast<std::uint32_t>(pixels.size());
        i.clrUsed = static_cast<std::uint32_t>(table.size() / 4);
        cases.emplace_back(file, Block(i, i.compression == BI_BITFIELDS ? between : table, pixels));
    };
    auto core = [&](std::uint16_t w, std::uint16_t h, std::uint16_t bits, const Bytes& pixels,
                    bool fh = true) {
        const unsigned n = bits <= 8 ? 1u << bits : 0, image = pixels.size();
        cases.emplace_back(Compose(CoreHeader(w, h, bits), ColorTable(n, 3), pixels, fh),
                           Block({w, h, bits, 0, image, n, n}, ColorTable(n, 4), pixels));
    };
    const Bytes p24 = PixelBytes(24), p48 = PixelBytes(48);
    for (bool fh : {true, false}) {
        info({.width = 5, .height = 3, .clrUsed = 3}, ColorTable(3, 4), p24, fh);
        for (std::uint32_t bits : {16u, 32u})  // the masks stay behind the header
            info({.width = 3, .bits = bits, .compression = BI_BITFIELDS}, {},
                 PixelBytes(RowBytes(3, bits) * 2, 9), fh, Bytes(12, 0x3C));
        for (std::uint16_t bits : {1, 4, 8, 24})
            core(7, 3, bits, PixelBytes(RowBytes(7, bits) * 3, bits), fh);
    }
    info({.width = 3, .bits = 4}, ColorTable(16, 4), PixelBytes(8, 50), true, Bytes(10, 0xAB));
    info({.width = 2, .height = -3, .bits = 32}, {}, p24);  // top-down
    for (std::uint32_t stated : {1u, 0x40000000u})          // replaced by what the rows take
        info({.width = 5, .height = 3, .bits = 24, .sizeImage = stated}, {}, p48);
    core(1, 1, 1, {0x80, 0, 0, 0}, false);  // 22 bytes, shorter than the header it becomes
    core(40000, 2, 1, PixelBytes(RowBytes(40000, 1) * 2));  // core width is unsigned
    // Missing pixel bytes and colour entries read as zero.
    const Info cut{.height = 4, .bits = 24, .sizeImage = 48};
    cases.emplace_back(Slice(Compose(InfoHeader(cut), {}, p48), 0, 54 + 10),
                       Block(cut, {}, Cat(Slice(p48, 0, 10), Bytes(38, 0))));
    cases.emplace_back(Cat(InfoHeader({.width = 1, .height = 1}), ColorTable(5, 4)),
                       Block({.width = 1, .height = 1, .sizeImage = 4, .clrUsed = 256},
                             ColorTable(5, 4), Bytes(1024 - 20 + 4, 0)));
    for (std::size_t k = 0; k < cases.size(); ++k) {
        Dib d(Open(cases[k].first));
        ASSERT_TRUE(d.h) << "case " << k;
        EXPECT_EQ(d.bytes(), cases[k].second) << "case " << k;
    }
}

TEST_F(DibFile, RefusesHeadersNoReaderCouldWalkAndFilesThatAreNotThere) {
    // Width 0, 17 colours at 4 bits, an image past 2 GB, masks at 24 bits, header sizes 108, 0.
    const Info cases[] = {{.width = 0},   {.bits = 4, .clrUsed = 17},
                          {46341, 46341}, {.bits = 24, .compression = BI_BITFIELDS},
                          {.size = 108},  {.size = 0}};
    for (const auto& i : cases) {
        const Bytes body = Cat(InfoHeader(i), Bytes(2048, 0x11));
        for (const Bytes& file : {Cat(FileHeader(0, 54), body), body}) {
            Dib d(Open(file));
            EXPECT_EQ(d.h, nullptr) << i.width << "x" << i.height << " bits " << i.bits;
        }
    }
    Dib beyond(Open(Cat(FileHeader(0, 0xFFFFFFFF), InfoHeader({.bits = 4}), PixelBytes(100))));
    EXPECT_EQ(beyond.h, nullptr) << "pixels beyond the end";
    for (std::string name : {dir.File("missing.bmp"), dir.path().string()})
        EXPECT_EQ(dib.OpenDIB(name.data()), nullptr) << name;
    EXPECT_EQ(dib.OpenDIB(nullptr), nullptr);
    EXPECT_EQ(dib.ReadDibBitmapInfo(HFILE_ERROR), nullptr);
}

// The bitmap starts three bytes into the file; the file header's offset counts from there.
TEST_F(DibFile, ReadDibBitmapInfoReadsFromTheCurrentPositionToTheFirstPixel) {
    WriteBytes(path, Cat(Bytes(3, 0x55), FileHeader(0, 67), InfoHeader({.width = 2, .bits = 1}),
                         ColorTable(2, 4), Bytes(5, 0xEE), PixelBytes(8)));
    OFSTRUCT of{};
    const HFILE fh = OpenFile(path.c_str(), &of, OF_READ);
    _llseek(fh, 3, FILE_BEGIN);
    Dib d(dib.ReadDibBitmapInfo(fh));
    EXPECT_EQ(d.bytes().size(), 48u);
    EXPECT_EQ(_llseek(fh, 0, FILE_CURRENT), 3 + 67);
    _lclose(fh);
}

TEST_F(DibFile, DibInfoFillsSizesWithoutChangingTheBlockAndCopiesCoreHeaders) {
    const Bytes header = InfoHeader({.width = 5, .height = -3, .bits = 4});
    Dib d(ToBlock(Cat(header, Bytes(64 + 12))));
    tagBITMAPINFOHEADER bi{};
    EXPECT_EQ(dib.DibInfo(d.h, &bi), 1);
    EXPECT_EQ(std::tuple(bi.biSizeImage, bi.biClrUsed, bi.biHeight), std::tuple(12u, 16u, -3));
    EXPECT_EQ(Slice(d.bytes(), 0, 40), header) << "the block keeps its zeros";
    Dib core(ToBlock(Cat(CoreHeader(5, 3, 8), Bytes(28, 0x42))));
    EXPECT_EQ(dib.DibInfo(core.h, &bi), 1);
    EXPECT_EQ(std::memcmp(&bi, core.bytes().data(), 40), 0);
    EXPECT_EQ(dib.DibInfo(nullptr, &bi), 0);
}

TEST_F(DibFile, WrittenDibReadsBackWithSizesFilledIn) {
    for (unsigned bits : {1u, 4u, 8u, 16u, 24u, 32u}) {
        const unsigned n = bits <= 8 ? 1u << bits : 0;
        const Bytes table = ColorTable(n, 4), pixels = PixelBytes(RowBytes(5, bits) * 3, bits);
        Info i{.width = 5, .height = 3, .bits = bits, .xPels = 2835};
        const Bytes block = Block(i, table, pixels);
        Dib original(ToBlock(block));
        ASSERT_EQ(dib.WriteDIB(path.data(), original.h), 1) << bits;
        EXPECT_EQ(ReadBytes(path), Cat(FileHeader(14 + block.size(), 54 + 4 * n), block)) << bits;
        Dib back(dib.OpenDIB(path.data()));
        i.sizeImage = static_cast<std::uint32_t>(pixels.size());
        i.clrUsed = n;
        EXPECT_EQ(back.bytes(), Block(i, table, pixels)) << bits;
    }
    // Nothing to write, a block too small for a header, a folder that is not there, a target
    // that cannot be replaced: refused, and no file is left.
    std::string none = dir.File("none.bmp"), nowhere = dir.File("no/such.bmp");
    Dib d(ToBlock(Block({.width = 2, .bits = 24}, {}, PixelBytes(16)))), tiny(GlobalAlloc(GHND, 8));
    for (HGLOBAL h : {HGLOBAL{}, tiny.h}) EXPECT_EQ(dib.WriteDIB(none.data(), h), 0);
    EXPECT_EQ(dib.WriteDIB(nowhere.data(), d.h), 0);
    std::string folder = dir.path().string();
    EXPECT_EQ(dib.WriteDIB(folder.data(), d.h), 0);
    EXPECT_EQ(dir.Entries(), 1) << "only in.bmp";
}

TEST_F(DibFile, BitfieldPicturesKeepTheirColoursThroughWriteAndRead) {
    // Red, then blue: 5-6-5 at 16 bits, and red in the low byte at 32 bits.
    const std::tuple<std::uint32_t, Bytes, Bytes> cases[] = {
        {16, Le32({0xF800, 0x07E0, 0x001F}), {0x00, 0xF8, 0x1F, 0x00}},
        {32, Le32({0xFF, 0xFF00, 0xFF0000}), {0xFF, 0, 0, 0, 0, 0, 0xFF, 0}}};
    for (const auto& [bits, masks, pixels] : cases) {
        const Info i{.width = 2, .height = 1, .bits = bits, .compression = BI_BITFIELDS};
        Dib opened(Open(Compose(InfoHeader(i), masks, pixels)));
        ASSERT_EQ(dib.WriteDIB(path.data(), opened.h), 1);
        Dib back(dib.OpenDIB(path.data()));
        MemoryTarget t(2, 1);
        ASSERT_NE(dib.DibBlt(t.dc, 0, 0, 2, 1, back.h, 0, 0, SRCCOPY), 0);
        EXPECT_EQ(GetPixel(t.dc, 0, 0), RGB(255, 0, 0)) << bits;
        EXPECT_EQ(GetPixel(t.dc, 1, 0), RGB(0, 0, 255)) << bits;
    }
}

// A file at the name a temporary file might take is neither clobbered nor followed.
TEST_F(DibFile, WriteLeavesAFileAtTheTemporaryNameAlone) {
    Dib d(ToBlock(Block({.width = 2, .bits = 24}, {}, PixelBytes(16))));
    const std::string victim = dir.File("victim");
    WriteBytes(victim, {1, 2, 3});
    std::error_code noLinks;  // mingw-w64's std::filesystem makes none: a plain file then
    std::filesystem::create_symlink(victim, path + ".tmp", noLinks);
    if (noLinks) WriteBytes(path + ".tmp", {1, 2, 3});
    EXPECT_EQ(dib.WriteDIB(path.data(), d.h), 1);
    EXPECT_EQ(ReadBytes(victim), (Bytes{1, 2, 3}));
    EXPECT_EQ(ReadBytes(path).size(), 14 + 40 + 16u);
}

// ---- Palettes, conversion between DIBs and device bitmaps, and drawing through CCtrlDib, read
// back from a 32-bit bitmap selected into a memory device context.
// The entries of `pal`, which is deleted.
std::vector<PALETTEENTRY> Entries(HPALETTE pal) {
    std::vector<PALETTEENTRY> e(300);
    e.resize(GetPaletteEntries(pal, 0, static_cast<UINT>(e.size()), e.data()));
    DeleteObject(pal);
    return e;
}

HPALETTE PaletteOf(Bytes b) {
    return CCtrlDib().CreateBIPalette(reinterpret_cast<tagBITMAPINFOHEADER*>(b.data()));
}

TEST(DibPalette, EntriesComeFromTheColourTableOrTheFixedPaletteOrNowhere) {
    CCtrlDib dib;
    const Bytes block = Cat(InfoHeader({.clrUsed = 20}), ColorTable(20, 4), Bytes(8));
    const auto e = Entries(PaletteOf(block));
    ASSERT_EQ(e.size(), 20u);
    for (unsigned k = 0; k < 20; ++k) {
        EXPECT_EQ(RGB(e[k].peRed, e[k].peGreen, e[k].peBlue), RGB(3 * k + 2, 2 * k + 1, k));
        EXPECT_EQ(e[k].peFlags, 0);
    }
    Dib d(ToBlock(block));
    EXPECT_EQ(Entries(dib.CreateDibPalette(d.h)).size(), 20u);
    // 24 bits without a table: the fixed palette.
    const auto fixed = Entries(PaletteOf(InfoHeader({.bits = 24})));
    ASSERT_EQ(fixed.size(), 256u);
    EXPECT_EQ(RGB(fixed[255].peRed, fixed[255].peGreen, fixed[255].peBlue), RGB(224, 224, 192));
    // No colours, a core header, nothing, or no room for the 256 entries announced.
    EXPECT_EQ(PaletteOf(InfoHeader({.bits = 16})), nullptr);
    EXPECT_EQ(PaletteOf(Cat(CoreHeader(4, 4, 8), ColorTable(256, 3))), nullptr);
    EXPECT_EQ(dib.CreateBIPalette(nullptr), nullptr);
    EXPECT_EQ(dib.CreateDibPalette(nullptr), nullptr);
    Dib small(ToBlock(InfoHeader({.bits = 8})));
    EXPECT_EQ(dib.CreateDibPalette(small.h), nullptr);
}

// A 32-bit device bitmap whose pixel (x, y), y counted from the top, is red 2x, green 3y, blue 9.
HBITMAP PatternBitmap(int width, int height) {
    std::vector<BYTE> bits;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bits.insert(bits.end(), {9, static_cast<BYTE>(3 * y), static_cast<BYTE>(2 * x), 0});
    return CreateBitmap(width, height, 1, 32, bits.data());
}

TEST(DibConvert, DibOfABitmapHasTheAskedDepthAndRowsBottomFirst) {
    CCtrlDib dib;
    HBITMAP bmp = PatternBitmap(100, 50);
    const struct {
        WORD asked;
        unsigned bits, image, table;
    } cases[] = {{0, 32, 20000, 0}, {24, 24, 15000, 0}, {8, 8, 5000, 1024}, {1, 1, 800, 8}};
    for (const auto& c : cases) {
        Dib d(dib.DibFromBitmap(bmp, BI_RGB, c.asked, nullptr));
        const Bytes b = d.bytes();
        ASSERT_EQ(b.size(), 40 + c.table + c.image) << c.asked;
        const Bytes header =
            InfoHeader({.width = 100, .height = 50, .bits = c.bits, .sizeImage = c.image});
        EXPECT_EQ(Slice(b, 0, 24), Slice(header, 0, 24)) << c.asked;
        if (c.bits != 32) continue;
        for (int m : {0, 17, 49})  // memory row m is picture row 49 - m
            for (int x : {0, 1, 99})
                EXPECT_EQ(Slice(b, 40 + m * 400 + x * 4, 3),
                          (Bytes{9, static_cast<std::uint8_t>(3 * (49 - m)),
                                 static_cast<std::uint8_t>(2 * x)}))
                    << m << "," << x;
    }
    DeleteObject(bmp);
}

// Colour of the 64 x 32 test DIB at column x, picture row y (0 = top).
COLORREF DibColor(int x, int y) {
    return RGB(4 * x, 8 * y, 0x55);
}

// A 24-bit 64 x 32 DIB of DibColor, rows bottom first.
Bytes PatternDib() {
    Bytes block = InfoHeader({.width = 64, .height = 32, .bits = 24});
    for (int m = 0; m < 32; ++m)
        for (int x = 0; x < 64; ++x)
            block.insert(block.end(),
                         {0x55, static_cast<BYTE>(8 * (31 - m)), static_cast<BYTE>(4 * x)});
    return block;
}

// The pixels of a black 200 x 120 target that differ from black outside [x0, x1) x [y0, y1).
int ChangedOutside(HDC dc, int x0 = 0, int y0 = 0, int x1 = 0, int y1 = 0) {
    int changed = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x)
            changed += (x < x0 || x >= x1 || y < y0 || y >= y1) && GetPixel(dc, x, y) != 0;
    return changed;
}

// Draws with `draw` on a black 200 x 120 target: the w x h rectangle at (x0, y0) must hold
// color(x, y) and nothing outside it may change.
template <class Draw, class Color>
void ExpectDrawn(Draw draw, int x0, int y0, int w, int h, Color color) {
    MemoryTarget t(200, 120);
    EXPECT_NE(draw(t.dc), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(GetPixel(t.dc, x0 + x, y0 + y), color(x, y)) << x << "," << y;
    EXPECT_EQ(ChangedOutside(t.dc, x0, y0, x0 + w, y0 + h), 0);
}

TEST(DibDrawing, DrawsTheChosenPartAtTheDestinationAndNothingElse) {
    CCtrlDib dib;
    Dib d(ToBlock(PatternDib()));
    ExpectDrawn([&](HDC dc) { return dib.DibBlt(dc, 10, 20, 64, 32, d.h, 0, 0, SRCCOPY); }, 10, 20,
                64, 32, DibColor);
    // Lower-left corner 8 columns in and 4 rows up: picture rows 20 to 27, columns 8 to 23.
    ExpectDrawn([&](HDC dc) { return dib.DibBlt(dc, 0, 0, 16, 8, d.h, 8, 4, SRCCOPY); }, 0, 0, 16,
                8, [](int x, int y) { return DibColor(8 + x, 20 + y); });
    ExpectDrawn(
        [&](HDC dc) { return dib.StretchDibBlt(dc, 5, 7, 128, 64, d.h, 0, 0, 64, 32, SRCCOPY); }, 5,
        7, 128, 64, [](int x, int y) { return DibColor(x / 2, y / 2); });
    HBITMAP bmp = PatternBitmap(16, 8);
    Dib d24(dib.DibFromBitmap(bmp, BI_RGB, 24, nullptr));
    HBITMAP back = dib.BitmapFromDib(d24.h, nullptr);  // through a DIB and back
    const auto bitmapColor = [](int x, int y) { return RGB(2 * x, 3 * y, 9); };
    // The second draw of `bmp` shows that DrawBitmap left it free.
    for (HBITMAP b : {bmp, back, bmp})
        ExpectDrawn([&](HDC dc) { return dib.DrawBitmap(dc, 30, 40, b, SRCCOPY); }, 30, 40, 16, 8,
                    bitmapColor);
    MemoryTarget target(200, 120);
    EXPECT_EQ(dib.DrawBitmap(target.dc, 0, 0, nullptr, SRCCOPY), 0);
    EXPECT_EQ(dib.DrawBitmap(nullptr, 0, 0, bmp, SRCCOPY), 0);
    DeleteObject(bmp);
    DeleteObject(back);
}

TEST(DibDrawing, NullDibFillsWithTheBrushAndCutDibsAreNotDrawn) {
    CCtrlDib dib;
    MemoryTarget target(200, 120);
    HBRUSH brush = CreateSolidBrush(RGB(200, 10, 30));
    HGDIOBJ oldBrush = SelectObject(target.dc, brush);
    EXPECT_NE(dib.DibBlt(target.dc, 3, 4, 5, 6, nullptr, 0, 0, PATCOPY), 0);
    EXPECT_NE(dib.StretchDibBlt(target.dc, 50, 60, 7, 2, nullptr, 0, 0, 1, 1, PATCOPY), 0);
    EXPECT_EQ(GetPixel(target.dc, 7, 9), RGB(200, 10, 30));
    EXPECT_EQ(GetPixel(target.dc, 56, 61), RGB(200, 10, 30));
    EXPECT_EQ(ChangedOutside(target.dc), 5 * 6 + 7 * 2);
    DeleteObject(SelectObject(target.dc, oldBrush));

    Bytes cut = PatternDib();  // one byte short of its last row
    cut.pop_back();
    Dib d(ToBlock(cut));
    MemoryTarget clean(200, 120);
    EXPECT_EQ(dib.DibBlt(clean.dc, 0, 0, 64, 32, d.h, 0, 0, SRCCOPY), 0);
    EXPECT_EQ(dib.StretchDibBlt(clean.dc, 0, 0, 64, 32, d.h, 0, 0, 64, 32, SRCCOPY), 0);
    EXPECT_EQ(ChangedOutside(clean.dc), 0);
}

}  // namespace
