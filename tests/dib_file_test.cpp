// Reading and writing .bmp files through CCtrlDib: both header forms, with and without a
// file header, colour tables, BI_BITFIELDS, short files, the write-read round trip, and the
// headers that are refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dib_test_support.h"
#include "temp_dir.h"
#include "zumeld/dib/CtrlDib.h"

using namespace dib_test;
using Zumeld::CCtrlDib;

namespace {

class DibFile : public ::testing::Test {
  protected:
    // Writes `bytes` to a file of the test folder and opens it with OpenDIB.
    void* Open(const Bytes& bytes, const std::string& name = "in.bmp") {
        std::string path = dir.File(name);
        WriteFile(path, bytes);
        return dib.OpenDIB(path.data());
    }

    // A whole file: file header (unless `withFileHeader` is false), `header`, `table`,
    // `pixels`; bfOffBits points right behind the table.
    static Bytes Compose(const Bytes& header, const Bytes& table, const Bytes& pixels,
                         bool withFileHeader = true) {
        Bytes out;
        const std::uint32_t off = 14 + header.size() + table.size();
        if (withFileHeader) out = FileHeader(off + pixels.size(), off);
        Append(out, header);
        Append(out, table);
        Append(out, pixels);
        return out;
    }

    TempDir dir;
    CCtrlDib dib;
};

// ---- lread and lwrite over a real file ------------------------------------------------------

TEST_F(DibFile, LreadReportsTheCountOnlyWhenEveryByteArrived) {
    const std::string path = dir.File("data");
    WriteFile(path, PixelBytes(40000));
    struct Case {
        unsigned long count;
        unsigned long expected;
    };
    for (const Case c :
         {Case{32768, 32768}, Case{32769, 32769}, Case{40000, 40000}, Case{40001, 0}, Case{0, 0}}) {
        OFSTRUCT of{};
        const HFILE fh = OpenFile(path.c_str(), &of, OF_READ);
        ASSERT_NE(fh, HFILE_ERROR);
        Bytes buffer(c.count + 1);
        EXPECT_EQ(dib.lread(fh, buffer.data(), c.count), c.expected) << c.count;
        if (c.expected) {
            buffer.resize(c.count);
            EXPECT_EQ(buffer, PixelBytes(c.count)) << c.count;
        }
        _lclose(fh);
    }
}

TEST_F(DibFile, LwriteWritesEveryChunkInOrder) {
    const std::string path = dir.File("out");
    OFSTRUCT of{};
    const HFILE fh = OpenFile(path.c_str(), &of, OF_CREATE | OF_READWRITE);
    ASSERT_NE(fh, HFILE_ERROR);
    Bytes data = PixelBytes(70000, 7);
    EXPECT_EQ(dib.lwrite(fh, data.data(), data.size()), 70000u);
    _lclose(fh);
    EXPECT_EQ(ReadFile(path), data);
    EXPECT_EQ(dib.lread(HFILE_ERROR, data.data(), 10), 0u);
}

// ---- Files with a 40-byte header ------------------------------------------------------------

TEST_F(DibFile, ReadsHeaderTableAndPixelsWithAndWithoutFileHeader) {
    // 8-bit 5 x 3 with 3 colours: rows of 8 bytes, 24 pixel bytes.
    Info i;
    i.width = 5;
    i.height = 3;
    i.bits = 8;
    i.clrUsed = 3;
    const Bytes header = InfoHeader(i), table = ColorTable(3, 4), pixels = PixelBytes(24);
    for (bool withFileHeader : {true, false}) {
        Dib d(Open(Compose(header, table, pixels, withFileHeader)));
        ASSERT_TRUE(d.h) << withFileHeader;
        const Bytes b = d.bytes();
        ASSERT_EQ(b.size(), 40u + 12 + 24) << withFileHeader;
        EXPECT_EQ(Get32(b, 0), 40u);
        EXPECT_EQ(Get32(b, 20), 24u) << "biSizeImage filled in";
        EXPECT_EQ(Get32(b, 32), 3u);
        EXPECT_EQ(Slice(b, 40, 12), table);
        EXPECT_EQ(Slice(b, 52, 24), pixels);
    }
}

TEST_F(DibFile, TakesThePixelsAtTheFileHeadersOffset) {
    // 4-bit 3 x 2 with the full 16-entry table; 10 bytes of gap before the pixels.
    Info i;
    i.width = 3;
    i.height = 2;
    i.bits = 4;
    const Bytes table = ColorTable(16, 4), pixels = PixelBytes(8, 50);
    Bytes file = FileHeader(0, 14 + 40 + 64 + 10);
    Append(file, InfoHeader(i));
    Append(file, table);
    Append(file, Bytes(10, 0xAB));
    Append(file, pixels);
    Dib d(Open(file));
    ASSERT_TRUE(d.h);
    const Bytes b = d.bytes();
    ASSERT_EQ(b.size(), 40u + 64 + 8);
    EXPECT_EQ(Get32(b, 32), 16u) << "biClrUsed filled in";
    EXPECT_EQ(Slice(b, 40, 64), table);
    EXPECT_EQ(Slice(b, 104, 8), pixels);
}

TEST_F(DibFile, TwentyFourBitFileHasNoTable) {
    Info i;
    i.width = 3;
    i.height = 2;
    i.bits = 24;
    const Bytes pixels = PixelBytes(24);  // rows of 9 bytes padded to 12
    Dib d(Open(Compose(InfoHeader(i), {}, pixels)));
    ASSERT_TRUE(d.h);
    const Bytes b = d.bytes();
    ASSERT_EQ(b.size(), 40u + 24);
    EXPECT_EQ(Get32(b, 32), 0u) << "biClrUsed stays 0";
    EXPECT_EQ(Slice(b, 40, 24), pixels);
    Bytes header = Slice(b, 0, 40);
    EXPECT_EQ(dib.DibNumColors(header.data()), 0);
    EXPECT_EQ(dib.PaletteSize(header.data()), 0);
}

TEST_F(DibFile, TopDownFileUsesTheHeightsMagnitude) {
    Info i;
    i.width = 2;
    i.height = -3;
    i.bits = 32;
    const Bytes pixels = PixelBytes(24);
    Dib d(Open(Compose(InfoHeader(i), {}, pixels)));
    ASSERT_TRUE(d.h);
    const Bytes b = d.bytes();
    ASSERT_EQ(b.size(), 40u + 24);
    EXPECT_EQ(static_cast<std::int32_t>(Get32(b, 8)), -3);
    EXPECT_EQ(Get32(b, 20), 24u);
    EXPECT_EQ(Slice(b, 40, 24), pixels);
}

TEST_F(DibFile, StatedImageSizeIsReplacedByWhatTheRowsTake) {
    // 24-bit 5 x 3 takes 48 bytes; a file claiming 1 byte or 1 GB gets 48.
    for (std::uint32_t stated : {1u, 47u, 49u, 0x40000000u}) {
        Info i;
        i.width = 5;
        i.height = 3;
        i.bits = 24;
        i.sizeImage = stated;
        const Bytes pixels = PixelBytes(48);
        Dib d(Open(Compose(InfoHeader(i), {}, pixels)));
        ASSERT_TRUE(d.h) << stated;
        const Bytes b = d.bytes();
        ASSERT_EQ(b.size(), 40u + 48) << stated;
        EXPECT_EQ(Get32(b, 20), 48u) << stated;
        EXPECT_EQ(Slice(b, 40, 48), pixels) << stated;
    }
}

// ---- BI_BITFIELDS ---------------------------------------------------------------------------

TEST_F(DibFile, BitfieldsMasksAreSkippedNotCarried) {
    struct Case {
        unsigned bits;
        bool withFileHeader;
    };
    for (const Case c : {Case{16, true}, Case{32, true}, Case{16, false}, Case{32, false}}) {
        Info i;
        i.width = 3;
        i.height = 2;
        i.bits = c.bits;
        i.compression = BI_BITFIELDS;
        const std::uint32_t image = RowBytes(3, c.bits) * 2;
        Bytes masks;
        Put32(masks, c.bits == 16 ? 0xF800 : 0xFF0000);
        Put32(masks, c.bits == 16 ? 0x07E0 : 0x00FF00);
        Put32(masks, c.bits == 16 ? 0x001F : 0x0000FF);
        const Bytes pixels = PixelBytes(image, 9);
        Bytes file;
        if (c.withFileHeader) file = FileHeader(0, 14 + 40 + 12);
        Append(file, InfoHeader(i));
        Append(file, masks);
        Append(file, pixels);
        Dib d(Open(file));
        ASSERT_TRUE(d.h) << c.bits << " " << c.withFileHeader;
        const Bytes b = d.bytes();
        ASSERT_EQ(b.size(), 40u + image);
        EXPECT_EQ(Get32(b, 16), BI_BITFIELDS);
        EXPECT_EQ(Slice(b, 40, image), pixels) << c.bits << " " << c.withFileHeader;
    }
}

TEST_F(DibFile, TinyBitfieldsDibKeepsRoomForMasksInItsBlock) {
    Info i;
    i.width = 1;
    i.height = 1;
    i.bits = 16;
    i.compression = BI_BITFIELDS;
    Bytes file = FileHeader(0, 14 + 40 + 12);
    Append(file, InfoHeader(i));
    Append(file, Bytes(12, 0));
    Append(file, PixelBytes(4));
    Dib d(Open(file));
    ASSERT_TRUE(d.h);
    const Bytes b = d.bytes();
    ASSERT_EQ(b.size(), 52u);
    EXPECT_EQ(Slice(b, 40, 4), PixelBytes(4));
    EXPECT_EQ(Slice(b, 44, 8), Bytes(8, 0));
}

// ---- Core files -----------------------------------------------------------------------------

TEST_F(DibFile, CoreFileBecomesFortyByteHeaderWithQuads) {
    for (unsigned bits : {1u, 4u, 8u, 24u}) {
        const unsigned n = bits <= 8 ? 1u << bits : 0;
        const std::uint32_t image = RowBytes(7, bits) * 3;
        const Bytes pixels = PixelBytes(image, bits);
        for (bool withFileHeader : {true, false}) {
            const Bytes file = Compose(CoreHeader(7, 3, static_cast<std::uint16_t>(bits)),
                                       ColorTable(n, 3), pixels, withFileHeader);
            Dib d(Open(file));
            ASSERT_TRUE(d.h) << bits;
            const Bytes b = d.bytes();
            ASSERT_EQ(b.size(), 40 + n * 4 + image) << bits;
            EXPECT_EQ(Get32(b, 0), 40u);
            EXPECT_EQ(Get32(b, 4), 7u);
            EXPECT_EQ(Get32(b, 8), 3u);
            EXPECT_EQ(Get16(b, 12), 1u);
            EXPECT_EQ(Get16(b, 14), bits);
            EXPECT_EQ(Get32(b, 16), BI_RGB);
            EXPECT_EQ(Get32(b, 20), image);
            EXPECT_EQ(Get32(b, 24), 0u);
            EXPECT_EQ(Get32(b, 28), 0u);
            EXPECT_EQ(Get32(b, 32), n) << "biClrUsed";
            EXPECT_EQ(Get32(b, 36), n) << "biClrImportant";
            EXPECT_EQ(Slice(b, 40, n * 4), ColorTable(n, 4)) << bits;
            EXPECT_EQ(Slice(b, 40 + n * 4, image), pixels) << bits << " " << withFileHeader;
        }
    }
}

TEST_F(DibFile, CoreFileShorterThanFortyBytesOpens) {
    // 1 x 1 at 1 bit without a file header: 12 + 6 + 4 = 22 bytes.
    const Bytes pixels{0x80, 0, 0, 0};
    Dib d(Open(Compose(CoreHeader(1, 1, 1), ColorTable(2, 3), pixels, false)));
    ASSERT_TRUE(d.h);
    const Bytes b = d.bytes();
    ASSERT_EQ(b.size(), 40u + 8 + 4);
    EXPECT_EQ(Slice(b, 40, 8), ColorTable(2, 4));
    EXPECT_EQ(Slice(b, 48, 4), pixels);
}

TEST_F(DibFile, CoreWidthAndHeightAreUnsigned) {
    const std::uint32_t image = RowBytes(40000, 1) * 2;
    Dib d(Open(Compose(CoreHeader(40000, 2, 1), ColorTable(2, 3), PixelBytes(image))));
    ASSERT_TRUE(d.h);
    const Bytes b = d.bytes();
    EXPECT_EQ(Get32(b, 4), 40000u);
    EXPECT_EQ(b.size(), 40u + 8 + image);
}

// ---- Short files ----------------------------------------------------------------------------

TEST_F(DibFile, MissingPixelBytesReadAsZero) {
    Info i;
    i.width = 4;
    i.height = 4;
    i.bits = 24;  // 48 pixel bytes
    const Bytes pixels = PixelBytes(48);
    Bytes file = Compose(InfoHeader(i), {}, pixels);
    file.resize(file.size() - 38);
    Dib d(Open(file));
    ASSERT_TRUE(d.h);
    const Bytes b = d.bytes();
    ASSERT_EQ(b.size(), 40u + 48);
    EXPECT_EQ(Slice(b, 40, 10), Slice(pixels, 0, 10));
    EXPECT_EQ(Slice(b, 50, 38), Bytes(38, 0));
}

TEST_F(DibFile, MissingColourEntriesReadAsZero) {
    Info i;
    i.width = 1;
    i.height = 1;
    i.bits = 8;
    Bytes file = InfoHeader(i);
    Append(file, ColorTable(5, 4));  // of 256 entries
    Dib d(Open(file));
    ASSERT_TRUE(d.h);
    const Bytes b = d.bytes();
    ASSERT_EQ(b.size(), 40u + 1024 + 4);
    EXPECT_EQ(Slice(b, 40, 20), ColorTable(5, 4));
    EXPECT_EQ(Slice(b, 60, 1024 - 20 + 4), Bytes(1008, 0));
}

// ---- Refused headers ------------------------------------------------------------------------

TEST_F(DibFile, RefusesHeadersNoReaderCouldWalk) {
    struct Case {
        const char* what;
        Info info;
    };
    auto with = [](auto change) {
        Info i;
        change(i);
        return i;
    };
    const Case cases[] = {
        {"width 0", with([](Info& i) { i.width = 0; })},
        {"negative width", with([](Info& i) { i.width = -4; })},
        {"height 0", with([](Info& i) { i.height = 0; })},
        {"bit count 0", with([](Info& i) { i.bits = 0; })},
        {"bit count 2", with([](Info& i) { i.bits = 2; })},
        {"bit count 7", with([](Info& i) { i.bits = 7; })},
        {"bit count 64", with([](Info& i) { i.bits = 64; })},
        {"17 colours at 4 bits", with([](Info& i) {
             i.bits = 4;
             i.clrUsed = 17;
         })},
        {"257 colours at 8 bits", with([](Info& i) { i.clrUsed = 257; })},
        {"65536 colours", with([](Info& i) { i.clrUsed = 0x10000; })},
        {"rows overflow", with([](Info& i) {
             i.width = 0x7FFFFFFF;
             i.bits = 32;
         })},
        {"image overflows", with([](Info& i) {
             i.width = 65535;
             i.height = 65535;
             i.bits = 32;
         })},
        {"most negative height", with([](Info& i) { i.height = INT32_MIN; })},
        {"header size 108", with([](Info& i) { i.size = 108; })},
        {"header size 124", with([](Info& i) { i.size = 124; })},
        {"header size 0", with([](Info& i) { i.size = 0; })},
        {"unknown compression", with([](Info& i) { i.compression = 4; })},
        {"bitfields at 24 bits", with([](Info& i) {
             i.bits = 24;
             i.compression = BI_BITFIELDS;
         })},
    };
    for (const auto& c : cases) {
        Bytes file = InfoHeader(c.info);
        Append(file, Bytes(2048, 0x11));
        for (bool withFileHeader : {true, false}) {
            Bytes full = withFileHeader ? FileHeader(0, 0) : Bytes{};
            Append(full, file);
            void* h = Open(full);
            EXPECT_EQ(h, nullptr) << c.what;
            if (h) GlobalFree(h);
        }
    }
}

TEST_F(DibFile, OpenRefusesMissingFilesAndNullNames) {
    std::string missing = dir.File("missing.bmp");
    EXPECT_EQ(dib.OpenDIB(missing.data()), nullptr);
    EXPECT_EQ(dib.OpenDIB(nullptr), nullptr);
    std::string folder = dir.path().string();
    EXPECT_EQ(dib.OpenDIB(folder.data()), nullptr);
    EXPECT_EQ(dib.ReadDibBitmapInfo(HFILE_ERROR), nullptr);
}

// ---- ReadDibBitmapInfo ----------------------------------------------------------------------

TEST_F(DibFile, ReadDibBitmapInfoLeavesTheFileAtTheFirstPixel) {
    Info i;
    i.width = 2;
    i.height = 2;
    i.bits = 1;
    const Bytes pixels = PixelBytes(8);
    struct Case {
        Bytes file;
        std::size_t pixelsAt;
    };
    Bytes gap = FileHeader(0, 14 + 40 + 8 + 5);
    Append(gap, InfoHeader(i));
    Append(gap, ColorTable(2, 4));
    Append(gap, Bytes(5, 0xEE));
    Append(gap, pixels);
    const Case cases[] = {
        {Compose(InfoHeader(i), ColorTable(2, 4), pixels, true), 14 + 40 + 8},
        {Compose(InfoHeader(i), ColorTable(2, 4), pixels, false), 40 + 8},
        {Compose(CoreHeader(2, 2, 1), ColorTable(2, 3), pixels, true), 14 + 12 + 6},
        {Compose(CoreHeader(2, 2, 1), ColorTable(2, 3), pixels, false), 12 + 6},
        {gap, 14 + 40 + 8 + 5},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const std::string path = dir.File("info.bmp");
        // A few bytes ahead of the bitmap: reading starts at the current position.
        Bytes file(3, 0x55);
        Append(file, cases[k].file);
        WriteFile(path, file);
        OFSTRUCT of{};
        const HFILE fh = OpenFile(path.c_str(), &of, OF_READ);
        ASSERT_NE(fh, HFILE_ERROR);
        _llseek(fh, 3, FILE_BEGIN);
        Dib d(dib.ReadDibBitmapInfo(fh));
        ASSERT_TRUE(d.h) << "case " << k;
        EXPECT_EQ(d.bytes().size(), 48u) << "case " << k;
        EXPECT_EQ(_llseek(fh, 0, FILE_CURRENT), static_cast<LONG>(3 + cases[k].pixelsAt))
            << "case " << k;
        _lclose(fh);
    }
}

TEST_F(DibFile, FileHeaderHelpersMoveTwoThenTwelveBytes) {
    const std::string path = dir.File("fh");
    OFSTRUCT of{};
    HFILE fh = OpenFile(path.c_str(), &of, OF_CREATE | OF_READWRITE);
    ASSERT_NE(fh, HFILE_ERROR);
    _lwrite(fh, "xyz", 3);
    tagBITMAPFILEHEADER bf{0x4D42, 0x11223344, 0x5566, 0x7788, 0x99AABBCC};
    dib.WriteMapFileHeaderandConvertFromDwordAlignToPacked(fh, &bf);
    _lclose(fh);
    const Bytes file = ReadFile(path);
    ASSERT_EQ(file.size(), 17u);
    EXPECT_EQ(Get16(file, 3), 0x4D42u);
    EXPECT_EQ(Get32(file, 5), 0x11223344u);
    EXPECT_EQ(Get16(file, 9), 0x5566u);
    EXPECT_EQ(Get16(file, 11), 0x7788u);
    EXPECT_EQ(Get32(file, 13), 0x99AABBCCu);

    fh = OpenFile(path.c_str(), &of, OF_READ);
    _llseek(fh, 3, FILE_BEGIN);
    tagBITMAPFILEHEADER back{};
    unsigned long position = 99;
    dib.ReadBitMapFileHeaderandConvertToDwordAlign(fh, &back, &position);
    _lclose(fh);
    EXPECT_EQ(position, 3u);
    EXPECT_EQ(std::memcmp(&back, &bf, sizeof bf), 0);
}

// ---- DibInfo --------------------------------------------------------------------------------

TEST_F(DibFile, DibInfoFillsSizesWithoutChangingTheBlock) {
    Info i;
    i.width = 5;
    i.height = -3;
    i.bits = 4;
    const Bytes header = InfoHeader(i);
    Bytes block = header;
    block.resize(40 + 64 + 12);
    HGLOBAL h = ToBlock(block);
    tagBITMAPINFOHEADER bi{};
    EXPECT_EQ(dib.DibInfo(h, &bi), 1);
    EXPECT_EQ(bi.biSizeImage, 12u);
    EXPECT_EQ(bi.biClrUsed, 16u);
    EXPECT_EQ(bi.biHeight, -3);
    EXPECT_EQ(Slice(BlockBytes(h), 0, 40), header) << "the block keeps its zeros";
    GlobalFree(h);

    // A core header is copied as it stands.
    Bytes core = CoreHeader(5, 3, 8);
    core.resize(40);
    h = ToBlock(core);
    tagBITMAPINFOHEADER raw{};
    EXPECT_EQ(dib.DibInfo(h, &raw), 1);
    EXPECT_EQ(std::memcmp(&raw, BlockBytes(h).data(), 40), 0);
    GlobalFree(h);

    EXPECT_EQ(dib.DibInfo(nullptr, &bi), 0);
}

// ---- WriteDIB -------------------------------------------------------------------------------

// A DIB block built by hand: header with biSizeImage and biClrUsed 0, full table, pixels.
HGLOBAL MakeDib(std::int32_t width, std::int32_t height, unsigned bits) {
    Info i;
    i.width = width;
    i.height = height;
    i.bits = bits;
    i.xPels = 2835;
    i.yPels = 2835;
    const unsigned n = bits <= 8 ? 1u << bits : 0;
    Bytes block = InfoHeader(i);
    Append(block, ColorTable(n, 4));
    Append(block, PixelBytes(RowBytes(width, bits) * (height < 0 ? -height : height), bits));
    return ToBlock(block);
}

TEST_F(DibFile, WrittenDibReadsBackWithSizesFilledIn) {
    for (unsigned bits : {1u, 4u, 8u, 16u, 24u, 32u}) {
        Dib original(MakeDib(5, 3, bits));
        const Bytes block = original.bytes();
        const unsigned table = bits <= 8 ? 4u << bits : 0;
        std::string path = dir.File("round.bmp");
        ASSERT_EQ(dib.WriteDIB(path.data(), original.h), 1) << bits;

        const Bytes file = ReadFile(path);
        ASSERT_EQ(file.size(), 14 + block.size()) << bits;
        EXPECT_EQ(Get16(file, 0), 0x4D42u);
        EXPECT_EQ(Get32(file, 2), 14 + block.size());
        EXPECT_EQ(Get32(file, 6), 0u);
        EXPECT_EQ(Get32(file, 10), 54 + table) << "bfOffBits at " << bits << " bits";
        EXPECT_EQ(Slice(file, 14, block.size()), block);

        Dib back(dib.OpenDIB(path.data()));
        ASSERT_TRUE(back.h) << bits;
        Bytes expected = block;
        const std::uint32_t image = RowBytes(5, bits) * 3;
        expected[20] = static_cast<std::uint8_t>(image);      // biSizeImage comes back filled in
        expected[32] = static_cast<std::uint8_t>(table / 4);  // and biClrUsed (low byte)
        expected[33] = static_cast<std::uint8_t>(table / 4 >> 8);
        EXPECT_EQ(back.bytes(), expected) << bits;
    }
}

TEST_F(DibFile, WriteReplacesAnExistingFileAndLeavesNoTemporary) {
    std::string path = dir.File("pic.bmp");
    WriteFile(path, Bytes(5000, 0x77));
    Dib d(MakeDib(2, 2, 24));
    ASSERT_EQ(dib.WriteDIB(path.data(), d.h), 1);
    EXPECT_EQ(ReadFile(path).size(), 14 + 40 + 16u);
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(DibFile, FailedWriteReturnsZeroAndKeepsTheOldFile) {
    Dib d(MakeDib(2, 2, 24));
    // A null handle: no file at all.
    std::string none = dir.File("none.bmp");
    EXPECT_EQ(dib.WriteDIB(none.data(), nullptr), 0);
    EXPECT_FALSE(std::filesystem::exists(none));
    // A folder that does not exist.
    std::string nowhere = dir.File("no/such/folder.bmp");
    EXPECT_EQ(dib.WriteDIB(nowhere.data(), d.h), 0);
    // A target that cannot be replaced (a folder with something in it): nothing changes and
    // no temporary file is left behind.
    std::filesystem::create_directories(dir.path() / "taken.bmp" / "inside");
    std::string taken = dir.File("taken.bmp");
    EXPECT_EQ(dib.WriteDIB(taken.data(), d.h), 0);
    EXPECT_TRUE(std::filesystem::is_directory(taken));
    EXPECT_FALSE(std::filesystem::exists(taken + ".tmp"));
    // A block too small to hold a header.
    HGLOBAL tiny = GlobalAlloc(GHND, 8);
    std::string small = dir.File("small.bmp");
    EXPECT_EQ(dib.WriteDIB(small.data(), tiny), 0);
    EXPECT_FALSE(std::filesystem::exists(small));
    GlobalFree(tiny);
}

}  // namespace
