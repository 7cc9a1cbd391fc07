// Header checks, block layout and chunked transfers of the DIB code.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "dib_test_support.h"
#include "zumeld/dib/DibFormat_p.h"

using namespace Zumeld::dib;
using namespace dib_test;

namespace {

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

TEST(DibLayout, NeedsHeaderTableAndEveryRowInsideTheBlock) {
    // 4-bit 5 x 3: 16 entries (64 bytes), rows of 4 bytes: 40 + 64 + 12 = 116 bytes.
    const Bytes block = Cat(InfoHeader({.width = 5, .height = 3, .bits = 4}), Bytes(76));
    const auto layout = DibLayoutInBlock(block.data(), block.size());
    ASSERT_TRUE(layout);
    EXPECT_EQ(std::tuple(layout->tableBytes, layout->pixelOffset, layout->imageBytes),
              std::tuple(64u, 104u, 12u));
    EXPECT_FALSE(DibLayoutInBlock(block.data(), 115));
    EXPECT_FALSE(DibLayoutInBlock(nullptr, 116));
    const Bytes core = Cat(CoreHeader(5, 3, 4), Bytes(188));  // not handed to devices
    EXPECT_FALSE(DibLayoutInBlock(core.data(), core.size()));
    // BI_BITFIELDS 1 x 1 at 16 bits: the 12 mask bytes, then 4 pixel bytes.
    const Bytes fields = Cat(
        InfoHeader({.width = 1, .height = 1, .bits = 16, .compression = BI_BITFIELDS}), Bytes(16));
    EXPECT_EQ(DibLayoutInBlock(fields.data(), 56)->pixelOffset, 52u);
    EXPECT_FALSE(DibLayoutInBlock(fields.data(), 55));
}

}  // namespace
