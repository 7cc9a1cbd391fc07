// Reading and writing .bmp files through CCtrlDib: both header forms, with and without a
// file header, colour tables, masks, short files, the write-read round trip, refused headers.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "dib_test_support.h"
#include "zumeld/dib/CtrlDib.h"

using namespace dib_test;
using Zumeld::CCtrlDib;

namespace {

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

}  // namespace
