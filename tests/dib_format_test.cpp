// Header arithmetic, header checks, chunked transfers and the fixed palette of the DIB code.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dib_test_support.h"
#include "zumeld/dib/DibFormat_p.h"

using namespace Zumeld::dib;
using namespace dib_test;

namespace {

TEST(DibChunks, SplitsInto32768ByteCallsAndStopsAtTheFirstShortOne) {
    struct Case {
        unsigned long count;
        int failAt;      // 1-based call that moves `failReply` instead of what was asked
        UINT failReply;  // HFILE_ERROR counts as short too
        std::vector<UINT> calls;
        unsigned long result;
    };
    const Case cases[] = {
        {0, 0, 0, {0}, 0},
        {32768, 0, 0, {32768}, 32768},
        {32769, 0, 0, {32768, 1}, 32769},
        {70000, 0, 0, {32768, 32768, 4464}, 70000},
        {100000, 2, 32767, {32768, 32768}, 0},
        {10, 1, static_cast<UINT>(HFILE_ERROR), {10}, 0},
    };
    for (const auto& c : cases) {
        std::vector<BYTE> buffer(c.count + 1);
        std::vector<UINT> calls;
        const unsigned long got = TransferInChunks(buffer.data(), c.count, [&](BYTE* p, UINT n) {
            EXPECT_EQ(p - buffer.data(), static_cast<std::ptrdiff_t>(calls.size() * 32768));
            calls.push_back(n);
            return static_cast<int>(calls.size()) == c.failAt ? c.failReply : n;
        });
        EXPECT_EQ(got, c.result) << "count " << c.count;
        EXPECT_EQ(calls, c.calls) << "count " << c.count;
    }
}

TEST(DibColorTable, CountsEntriesAndBytesForBothHeaderForms) {
    auto info = [](unsigned bits, std::uint32_t used) {
        return InfoHeader({.bits = bits, .clrUsed = used});
    };
    auto core = [](unsigned bits) {
        Bytes b = CoreHeader(3, 3, static_cast<std::uint16_t>(bits));
        b.resize(40, 0xEE);  // bytes behind a core header must not matter
        return b;
    };
    const struct {
        Bytes header;
        unsigned entries, bytes;
    } cases[] = {
        {info(1, 0), 2, 8},    {info(4, 0), 16, 64}, {info(8, 0), 256, 1024},
        {info(8, 20), 20, 80}, {info(24, 0), 0, 0},  {info(16, 0), 0, 0},
        {info(2, 0), 0, 0},    {info(24, 7), 7, 28}, {info(8, 0x10005), 5, 20},  // low 16 bits
        {core(1), 2, 6},       {core(8), 256, 768},  {core(24), 0, 0},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        EXPECT_EQ(ColorTableEntries(cases[k].header.data()), cases[k].entries) << "case " << k;
        EXPECT_EQ(ColorTableBytes(cases[k].header.data()), cases[k].bytes) << "case " << k;
    }
}

TEST(DibSizes, PadsRowsToFourBytesAndRefusesOverflow) {
    const struct {
        std::int64_t width, height;
        unsigned bits;
        std::optional<std::uint32_t> row, image;
    } cases[] = {
        {1, 1, 1, 4, 4},
        {33, 3, 1, 8, 24},
        {5, 2, 24, 16, 32},
        {100, -50, 32, 400, 20000},  // top-down rows: the height's magnitude
        {0, 5, 8, std::nullopt, std::nullopt},
        {-4, 5, 8, std::nullopt, std::nullopt},
        {4, 0, 8, 4, std::nullopt},
        {0x4000000, 1, 32, std::nullopt, std::nullopt},  // 2^26 * 32 bits overflows 31 bits
        {65535, 65535, 32, 262140, std::nullopt},
        {4, INT32_MIN, 8, 4, std::nullopt},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& c = cases[k];
        EXPECT_EQ(DibRowBytes(c.width, c.bits), c.row) << "case " << k;
        EXPECT_EQ(DibImageBytes(c.width, c.height, c.bits), c.image) << "case " << k;
    }
}

// The header InfoHeader writes, as the record the checks take.
BITMAPINFOHEADER Header(const Info& i) {
    BITMAPINFOHEADER bi;
    std::memcpy(&bi, InfoHeader(i).data(), sizeof bi);
    return bi;
}

TEST(DibHeaderCheck, RefusesEachUnsafeFieldForItsOwnReason) {
    using F = DibHeaderFault;
    const struct {
        Info info;
        F fault;
    } cases[] = {
        {{.height = -2}, F::None},
        {{.width = 1, .height = 1, .bits = 1}, F::None},
        {{.bits = 16, .compression = BI_BITFIELDS}, F::None},
        {{.bits = 32, .compression = BI_BITFIELDS}, F::None},
        {{.compression = BI_RLE8, .sizeImage = 100}, F::None},
        {{.bits = 4, .compression = BI_RLE4}, F::None},
        {{.clrUsed = 256}, F::None},
        {{.bits = 24, .clrUsed = 16383}, F::None},
        {{.width = 0}, F::WidthNotPositive},
        {{.width = -4}, F::WidthNotPositive},
        {{.height = 0}, F::HeightZero},
        {{.bits = 0}, F::BitCount},
        {{.bits = 3}, F::BitCount},
        {{.bits = 33}, F::BitCount},
        {{.bits = 24, .compression = BI_BITFIELDS}, F::Compression},
        {{.compression = BI_RLE4}, F::Compression},
        {{.height = -2, .compression = BI_RLE8}, F::Compression},
        {{.compression = 4}, F::Compression},
        {{.bits = 1, .clrUsed = 3}, F::ColorTable},
        {{.clrUsed = 257}, F::ColorTable},
        {{.bits = 24, .clrUsed = 16384}, F::ColorTable},
        {{.clrUsed = 0x10000}, F::ColorTable},
        {{.width = 0x7FFFFFFF, .height = 1, .bits = 32}, F::SizeOverflow},
        {{.width = 65535, .height = 65535, .bits = 32}, F::SizeOverflow},
        {{.height = INT32_MIN}, F::SizeOverflow},
        {{.compression = BI_RLE8, .sizeImage = 0xFFFFFFF0}, F::SizeOverflow},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k)
        EXPECT_EQ(CheckDibHeader(Header(cases[k].info)), cases[k].fault) << "case " << k;
}

TEST(DibHeaderCheck, PixelBytesAreTheRowsUnlessRunLengthCoded) {
    EXPECT_EQ(DibPixelBytes(Header({.width = 5, .height = -3, .bits = 24, .sizeImage = 999})),
              48u);  // stated size ignored
    EXPECT_EQ(DibPixelBytes(Header({.width = 8, .compression = BI_RLE8, .sizeImage = 7})), 7u);
    EXPECT_EQ(DibPixelBytes(Header({.width = 8, .compression = BI_RLE8})), 16u);
    EXPECT_EQ(DibPixelBytes(Header({.width = 8, .height = 0})), std::nullopt);
}

TEST(DibLayout, NeedsHeaderTableAndEveryRowInsideTheBlock) {
    // 4-bit 5 x 3: 16 entries (64 bytes), rows of 4 bytes: 40 + 64 + 12 = 116 bytes.
    Bytes block = InfoHeader({.width = 5, .height = 3, .bits = 4});
    block.resize(116);
    const auto layout = DibLayoutInBlock(block.data(), block.size());
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->tableBytes, 64u);
    EXPECT_EQ(layout->pixelOffset, 104u);
    EXPECT_EQ(layout->imageBytes, 12u);
    EXPECT_FALSE(DibLayoutInBlock(block.data(), 115).has_value());
    EXPECT_FALSE(DibLayoutInBlock(block.data(), 39).has_value());
    EXPECT_FALSE(DibLayoutInBlock(nullptr, 116).has_value());

    // A core header is not handed to devices.
    Bytes core = CoreHeader(5, 3, 4);
    core.resize(200);
    EXPECT_FALSE(DibLayoutInBlock(core.data(), core.size()).has_value());

    // BI_BITFIELDS 1 x 1 at 16 bits: 4 pixel bytes, but the masks behind the header take 12.
    Bytes fields = InfoHeader({.width = 1, .height = 1, .bits = 16, .compression = BI_BITFIELDS});
    fields.resize(52);
    EXPECT_TRUE(DibLayoutInBlock(fields.data(), 52).has_value());
    EXPECT_FALSE(DibLayoutInBlock(fields.data(), 51).has_value());
}

TEST(DibPalette, FixedPaletteStepsRedThenGreenThenBlue) {
    std::vector<PALETTEENTRY> pal(256);
    FixedPalette256(pal.data());
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(pal[i].peRed, 32 * (i % 8)) << i;
        EXPECT_EQ(pal[i].peGreen, 32 * ((i / 8) % 8)) << i;
        EXPECT_EQ(pal[i].peBlue, 64 * (i / 64)) << i;
        EXPECT_EQ(pal[i].peFlags, 0) << i;
    }
}

}  // namespace
