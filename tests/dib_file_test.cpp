// Reading and writing .bmp files through CCtrlDib: both header forms, with and without a
// file header, colour tables, BI_BITFIELDS, short files, the write-read round trip, and the
// headers that are refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "dib_test_support.h"
#include "temp_dir.h"
#include "zumeld/dib/CtrlDib.h"

using namespace dib_test;
using Zumeld::CCtrlDib;

namespace {

class DibFile : public ::testing::Test {
  protected:
    // Writes `bytes` to a file of the test folder and opens it with OpenDIB.
    void* Open(const Bytes& bytes) {
        std::string path = dir.File("in.bmp");
        WriteFile(path, bytes);
        return dib.OpenDIB(path.data());
    }
    HFILE OpenHandle(const std::string& path, UINT mode) {
        OFSTRUCT of{};
        return OpenFile(path.c_str(), &of, mode);
    }
    int Entries() const {
        const auto it = std::filesystem::directory_iterator(dir.path());
        return static_cast<int>(std::distance(begin(it), end(it)));
    }

    TempDir dir;
    CCtrlDib dib;
};

TEST_F(DibFile, LreadAndLwriteReportTheCountOnlyWhenEveryByteMoved) {
    const std::string path = dir.File("data");
    HFILE fh = OpenHandle(path, OF_CREATE | OF_READWRITE);
    ASSERT_NE(fh, HFILE_ERROR);
    Bytes data = PixelBytes(40000, 7);
    EXPECT_EQ(dib.lwrite(fh, data.data(), data.size()), 40000u);
    _lclose(fh);
    EXPECT_EQ(ReadFile(path), data);
    for (unsigned long count : {32769ul, 40000ul, 40001ul, 0ul}) {
        fh = OpenHandle(path, OF_READ);
        Bytes buffer(count + 1);
        EXPECT_EQ(dib.lread(fh, buffer.data(), count), count == 40001 ? 0 : count);
        if (count <= 40000) {
            EXPECT_EQ(Slice(buffer, 0, count), Slice(data, 0, count)) << count;
        }
        _lclose(fh);
    }
    EXPECT_EQ(dib.lread(HFILE_ERROR, data.data(), 10), 0u);
}

// A block as a file should open: the 40-byte header with its sizes filled in, the colour
// table as quads, the pixels.
Bytes Block(Info i, const Bytes& table, const Bytes& pixels) {
    return Cat(InfoHeader(i), table, pixels);
}

TEST_F(DibFile, OpensEveryLayoutIntoHeaderQuadsAndRows) {
    std::vector<std::tuple<std::string, Bytes, Bytes>> cases;  // what, file, block
    // A file of `i`, `table`, `between` (masks or a gap) and `pixels`.
    auto info = [&](std::string what, Info i, const Bytes& table, const Bytes& pixels,
                    bool withFileHeader = true, const Bytes& between = {}) {
        const Bytes file = Compose(InfoHeader(i), Cat(table, between), pixels, withFileHeader);
        i.sizeImage = static_cast<std::uint32_t>(pixels.size());
        i.clrUsed = static_cast<std::uint32_t>(table.size() / 4);
        cases.emplace_back(what, file, Block(i, table, pixels));
    };
    auto core = [&](std::string what, std::uint16_t w, std::uint16_t h, std::uint16_t bits,
                    const Bytes& pixels, bool withFileHeader = true) {
        const unsigned n = bits <= 8 ? 1u << bits : 0;
        const auto image = static_cast<std::uint32_t>(pixels.size());
        cases.emplace_back(
            what, Compose(CoreHeader(w, h, bits), ColorTable(n, 3), pixels, withFileHeader),
            Block({.width = w,
                   .height = h,
                   .bits = bits,
                   .sizeImage = image,
                   .clrUsed = n,
                   .clrImportant = n},
                  ColorTable(n, 4), pixels));
    };
    const Bytes p24 = PixelBytes(24), p48 = PixelBytes(48);
    for (bool fh : {true, false}) {
        const std::string form = fh ? " with file header" : " without file header";
        info("8-bit, 3 colours" + form, {.width = 5, .height = 3, .clrUsed = 3}, ColorTable(3, 4),
             p24, fh);
        for (unsigned bits : {16u, 32u})  // the masks are skipped, not carried
            info(std::to_string(bits) + "-bit bitfields" + form,
                 {.width = 3, .bits = bits, .compression = BI_BITFIELDS}, {},
                 PixelBytes(RowBytes(3, bits) * 2, 9), fh, Bytes(12, 0x3C));
        for (std::uint16_t bits : {1, 4, 8, 24})
            core("core " + std::to_string(bits) + "-bit" + form, 7, 3, bits,
                 PixelBytes(RowBytes(7, bits) * 3, bits), fh);
    }
    info("gap before pixels", {.width = 3, .bits = 4}, ColorTable(16, 4), PixelBytes(8, 50), true,
         Bytes(10, 0xAB));
    info("24-bit, no table", {.width = 3, .bits = 24}, {}, p24);
    info("top-down", {.width = 2, .height = -3, .bits = 32}, {}, p24);
    for (std::uint32_t stated : {1u, 49u, 0x40000000u})  // replaced by what the rows take
        info("stated size " + std::to_string(stated),
             {.width = 5, .height = 3, .bits = 24, .sizeImage = stated}, {}, p48);
    core("core of 22 bytes, shorter than the header it becomes", 1, 1, 1, {0x80, 0, 0, 0}, false);
    core("core width 40000 (unsigned)", 40000, 2, 1, PixelBytes(RowBytes(40000, 1) * 2));
    // 1 x 1 bitfields: the block keeps room for the masks a device looks for.
    const Info tiny{.width = 1, .height = 1, .bits = 16, .compression = BI_BITFIELDS};
    Info filled = tiny;
    filled.sizeImage = 4;
    cases.emplace_back("tiny bitfields", Compose(InfoHeader(tiny), Bytes(12, 0), PixelBytes(4)),
                       Block(filled, {}, Cat(PixelBytes(4), Bytes(8, 0))));
    // Missing pixel bytes and colour entries read as zero.
    Bytes cut = Compose(InfoHeader({.height = 4, .bits = 24}), {}, p48);
    cut.resize(cut.size() - 38);
    cases.emplace_back("missing pixels", cut,
                       Block({.height = 4, .bits = 24, .sizeImage = 48}, {},
                             Cat(Slice(p48, 0, 10), Bytes(38, 0))));
    cases.emplace_back("missing colours",
                       Cat(InfoHeader({.width = 1, .height = 1}), ColorTable(5, 4)),
                       Block({.width = 1, .height = 1, .sizeImage = 4, .clrUsed = 256},
                             Cat(ColorTable(5, 4), Bytes(1024 - 20, 0)), Bytes(4, 0)));

    for (const auto& [what, file, block] : cases) {
        Dib d(Open(file));
        ASSERT_TRUE(d.h) << what;
        EXPECT_EQ(d.bytes(), block) << what;
    }
}

TEST_F(DibFile, RefusesHeadersNoReaderCouldWalkAndFilesThatAreNotThere) {
    const struct {
        const char* what;
        Info info;
    } cases[] = {
        {"width 0", {.width = 0}},
        {"height 0", {.height = 0}},
        {"bit count 7", {.bits = 7}},
        {"17 colours at 4 bits", {.bits = 4, .clrUsed = 17}},
        {"all colours at 24 bits", {.bits = 24, .clrUsed = 0xFFFFFFFF}},
        {"rows overflow", {.width = 0x7FFFFFFF, .bits = 32}},
        {"image past 2 GB", {.width = 46341, .height = 46341}},
        {"most negative height", {.height = INT32_MIN}},
        {"header size 108", {.size = 108}},
        {"header size 0", {.size = 0}},
        {"unknown compression", {.compression = 4}},
        {"bitfields at 24 bits", {.bits = 24, .compression = BI_BITFIELDS}},
    };
    for (const auto& c : cases) {
        const Bytes body = Cat(InfoHeader(c.info), Bytes(2048, 0x11));
        for (bool withFileHeader : {true, false}) {
            Dib d(Open(withFileHeader ? Cat(FileHeader(0, 54), body) : body));
            EXPECT_EQ(d.h, nullptr) << c.what;
        }
    }
    Dib beyond(Open(Cat(FileHeader(0, 0xFFFFFFFF), InfoHeader({.bits = 4}), PixelBytes(100))));
    EXPECT_EQ(beyond.h, nullptr) << "pixels beyond the end";

    std::string missing = dir.File("missing.bmp"), folder = dir.path().string();
    EXPECT_EQ(dib.OpenDIB(missing.data()), nullptr);
    EXPECT_EQ(dib.OpenDIB(folder.data()), nullptr);
    EXPECT_EQ(dib.OpenDIB(nullptr), nullptr);
    EXPECT_EQ(dib.ReadDibBitmapInfo(HFILE_ERROR), nullptr);
}

// OpenDIB's reading of every layout shows where the pixels are found; here the bitmap starts
// three bytes into the file, and the offset of a file header counts from that start.
TEST_F(DibFile, ReadDibBitmapInfoReadsFromTheCurrentPositionToTheFirstPixel) {
    const struct {
        Bytes file;
        std::size_t pixelsAt;
    } cases[] = {
        {Cat(FileHeader(0, 67), InfoHeader({.width = 2, .bits = 1}), ColorTable(2, 4),
             Bytes(5, 0xEE), PixelBytes(8)),
         67},
        {Compose(CoreHeader(2, 2, 1), ColorTable(2, 3), PixelBytes(8), false), 12 + 6},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File("info.bmp");
        WriteFile(path, Cat(Bytes(3, 0x55), c.file));
        const HFILE fh = OpenHandle(path, OF_READ);
        _llseek(fh, 3, FILE_BEGIN);
        Dib d(dib.ReadDibBitmapInfo(fh));
        EXPECT_EQ(d.bytes().size(), 48u) << c.pixelsAt;
        EXPECT_EQ(_llseek(fh, 0, FILE_CURRENT), static_cast<LONG>(3 + c.pixelsAt));
        _lclose(fh);
    }
}

TEST_F(DibFile, FileHeaderHelpersMoveTwoThenTwelveBytes) {
    const std::string path = dir.File("fh");
    HFILE fh = OpenHandle(path, OF_CREATE | OF_READWRITE);
    _lwrite(fh, "xyz", 3);
    tagBITMAPFILEHEADER bf{0x4D42, 0x11223344, 0x5566, 0x7788, 0x99AABBCC};
    dib.WriteMapFileHeaderandConvertFromDwordAlignToPacked(fh, &bf);
    _lclose(fh);
    Bytes expected{'x', 'y', 'z', 'B', 'M'};
    for (std::uint32_t v : {0x11223344u, 0x77885566u, 0x99AABBCCu}) Put32(expected, v);
    EXPECT_EQ(ReadFile(path), expected);

    fh = OpenHandle(path, OF_READ);
    _llseek(fh, 3, FILE_BEGIN);
    tagBITMAPFILEHEADER back{};
    unsigned long position = 99;
    dib.ReadBitMapFileHeaderandConvertToDwordAlign(fh, &back, &position);
    _lclose(fh);
    EXPECT_EQ(position, 3u);
    EXPECT_EQ(std::memcmp(&back, &bf, sizeof bf), 0);
}

TEST_F(DibFile, DibInfoFillsSizesWithoutChangingTheBlock) {
    const Bytes header = InfoHeader({.width = 5, .height = -3, .bits = 4});
    Dib d(ToBlock(Cat(header, Bytes(64 + 12))));
    tagBITMAPINFOHEADER bi{};
    EXPECT_EQ(dib.DibInfo(d.h, &bi), 1);
    EXPECT_EQ(bi.biSizeImage, 12u);
    EXPECT_EQ(bi.biClrUsed, 16u);
    EXPECT_EQ(bi.biHeight, -3);
    EXPECT_EQ(Slice(d.bytes(), 0, 40), header) << "the block keeps its zeros";

    // A core header is copied as it stands.
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
        std::string path = dir.File("round.bmp");
        ASSERT_EQ(dib.WriteDIB(path.data(), original.h), 1) << bits;
        EXPECT_EQ(ReadFile(path), Cat(FileHeader(14 + block.size(), 54 + 4 * n), block)) << bits;

        Dib back(dib.OpenDIB(path.data()));
        i.sizeImage = static_cast<std::uint32_t>(pixels.size());
        i.clrUsed = n;
        EXPECT_EQ(back.bytes(), Block(i, table, pixels)) << bits;
    }
}

TEST_F(DibFile, WriteReplacesTheFileWholeOrNotAtAll) {
    Dib d(ToBlock(Block({.width = 2, .bits = 24}, {}, PixelBytes(16))));
    std::string path = dir.File("pic.bmp");
    WriteFile(path, Bytes(5000, 0x77));
    ASSERT_EQ(dib.WriteDIB(path.data(), d.h), 1);
    EXPECT_EQ(ReadFile(path).size(), 14 + 40 + 16u);
    EXPECT_EQ(Entries(), 1) << "no temporary file left";

    std::string none = dir.File("none.bmp"), nowhere = dir.File("no/such/folder.bmp");
    EXPECT_EQ(dib.WriteDIB(none.data(), nullptr), 0);
    EXPECT_EQ(dib.WriteDIB(nowhere.data(), d.h), 0);
    Dib tiny(GlobalAlloc(GHND, 8));  // too small to hold a header
    EXPECT_EQ(dib.WriteDIB(none.data(), tiny.h), 0);
    EXPECT_FALSE(std::filesystem::exists(none));
    // A target that cannot be replaced (a folder with something in it) stays as it was.
    std::filesystem::create_directories(dir.path() / "taken.bmp" / "inside");
    std::string taken = dir.File("taken.bmp");
    EXPECT_EQ(dib.WriteDIB(taken.data(), d.h), 0);
    EXPECT_TRUE(std::filesystem::is_directory(taken));
    EXPECT_EQ(Entries(), 2) << "no temporary file left";
}

}  // namespace
