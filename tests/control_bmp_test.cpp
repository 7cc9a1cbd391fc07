// Quobel::CControlBmp: picture creation and refusals, duplication of bitmaps of every depth,
// JPEG coding of grey pictures, and pictures shared between copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "zumeld/bitmap/ControlBmp.h"

namespace {

using Quobel::CControlBmp;

bool BitmapExists(HBITMAP h) {
    BITMAP bm;
    return GetObjectA(h, sizeof bm, &bm) == static_cast<int>(sizeof bm);
}

std::vector<BYTE> Bytes(const BYTE* p, std::size_t n) {
    return {p, p + n};
}

void ExpectEmpty(const CControlBmp& b) {
    EXPECT_EQ(std::tuple(b.GetHbmp(), b.GetBufferPtr(), b.GetWidth(), b.GetHeight(),
                         b.GetWidthBytes(), b.GetBitCount()),
              std::tuple(HBITMAP{}, static_cast<BYTE*>(nullptr), 0, 0, 0, 0));
}

TEST(ControlBmpSharing, CopiesShareThePictureAndTheLastHolderFreesIt) {
    auto source = std::make_unique<CControlBmp>();
    ASSERT_TRUE(source->CreateBitmap(4, 3, 32, 0, nullptr));
    source->GetBufferPtr()[0] = 0x5C;
    const HBITMAP handle = source->GetHbmp();
    CControlBmp copy(*source), assigned;
    EXPECT_EQ(copy.GetBufferPtr(), source->GetBufferPtr());
    source.reset();
    EXPECT_EQ(copy.GetBufferPtr()[0], 0x5C);
    assigned = copy;
    CControlBmp& alias = assigned;
    assigned = alias;  // self-assignment keeps the picture
    copy.CreateBitmap(1, 1, 24, 0, nullptr);
    EXPECT_TRUE(BitmapExists(handle));
    EXPECT_EQ(assigned.GetHbmp(), handle);
    assigned.CreateBitmap(1, 1, 24, 0, nullptr);  // the last holder lets go of the old picture
    EXPECT_FALSE(BitmapExists(handle));
}

// Each refusal drops the picture held before.
TEST(ControlBmpCreate, BadSizesDepthsAndSourcesLeaveAnEmptyBuffer) {
    const struct {
        int w, h, bits;
    } cases[] = {{0, 1, 24},         {1, 0, 24},
                 {-1, 5, 24},        {5, -1, 8},
                 {4, 4, 16},         {4, 4, 0},
                 {46341, 46341, 8},  {32768, 16385, 32},
                 {715827883, 1, 24}, {2147483647, 2147483647, 32}};
    for (auto [w, h, bits] : cases) {
        CControlBmp b;
        ASSERT_TRUE(b.CreateBitmap(2, 2, 24, 0, nullptr));
        const HBITMAP old = b.GetHbmp();
        EXPECT_FALSE(b.CreateBitmap(w, h, bits, 0, nullptr)) << w << " x " << h << " x " << bits;
        ExpectEmpty(b);
        EXPECT_FALSE(BitmapExists(old));
    }
    HBITMAP deleted = CreateBitmap(2, 2, 1, 32, nullptr);
    ASSERT_TRUE(DeleteObject(deleted));
    for (HBITMAP h : {HBITMAP{}, deleted, reinterpret_cast<HBITMAP>(0x12345)}) {
        CControlBmp b;
        ASSERT_TRUE(b.CreateBitmap(2, 2, 32, 0, nullptr));
        b.CreateDuplicate(h, 32, 0, nullptr);
        ExpectEmpty(b);
    }
    // 2^29 one-bit pixels: an 8-bit copy passes through rows of 32-bit pixels, 2^31 bytes.
    HBITMAP wide = CreateBitmap(1 << 29, 1, 1, 1, nullptr);
    CControlBmp b;
    b.CreateDuplicate(wide, 8, 0, nullptr);
    ExpectEmpty(b);
    DeleteObject(wide);
}

TEST(ControlBmpCreate, PadsRowsAndGivesEightBitPicturesAGreyRamp) {
    CControlBmp b, dup;
    ASSERT_TRUE(b.CreateBitmap(257, 3, 8, 0, nullptr));
    EXPECT_EQ(b.GetWidthBytes(), 260);
    EXPECT_EQ(b.GetBufferTopLeftPtr(), b.GetBufferPtr() + 520);  // the last of 3 bottom-up rows
    for (int i = 0; i < 256; ++i) b.GetBufferPtr()[i] = static_cast<BYTE>(i);
    dup.CreateDuplicate(b.GetHbmp(), 32, 0, nullptr);  // the handle's pixels are the buffer
    ASSERT_EQ(dup.GetBitCount(), 32);
    for (int i = 0; i < 256; ++i) {
        DWORD v;
        std::memcpy(&v, dup.GetBufferPtr() + 4 * i, 4);
        EXPECT_EQ(v, 0x010101u * static_cast<DWORD>(i)) << i;
    }
}

// A 3 × 2 DIB section from a colour table (or masks) and raw bottom-up rows.
HBITMAP MakeSection(int bits, DWORD compression, std::vector<DWORD> table,
                    const std::vector<BYTE>& rows) {
    struct {
        BITMAPINFOHEADER h;
        DWORD table[256];
    } s{{sizeof(BITMAPINFOHEADER), 3, 2, 1, static_cast<WORD>(bits), compression, 0, 0, 0,
         bits <= 8 ? static_cast<DWORD>(table.size()) : 0, 0},
        {}};
    std::copy(table.begin(), table.end(), s.table);
    void* pixels = nullptr;
    HBITMAP h = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&s), DIB_RGB_COLORS,
                                 &pixels, nullptr, 0);
    if (h != nullptr) std::memcpy(pixels, rows.data(), rows.size());
    return h;
}

TEST(ControlBmpDuplicate, EveryDepthBecomesExactThirtyTwoBitPixels) {
    const struct {
        int bits;
        DWORD compression;
        std::vector<DWORD> table;   // colour table (RGBQUAD as 0xXXRRGGBB) or masks
        std::vector<BYTE> rows;     // two rows, 4-byte padded
        std::vector<DWORD> expect;  // 0xXXRRGGBB, bottom row then top row
    } cases[] = {
        // clang-format off
        {1, BI_RGB, {0x0A141E, 0xC89664}, {0xA0, 0, 0, 0, 0x40, 0, 0, 0},
         {0xC89664, 0x0A141E, 0xC89664, 0x0A141E, 0xC89664, 0x0A141E}},
        {4, BI_RGB,
         {0x000000, 0x111111, 0x222222, 0x330000, 0x004400, 0x000055, 0x666666, 0x777777,
          0x888888, 0x999999, 0xAAAAAA, 0xBBBBBB, 0xCCCCCC, 0xDDDDDD, 0xEEEEEE, 0x123456},
         {0xF3, 0x40, 0, 0, 0x51, 0xA0, 0, 0},
         {0x123456, 0x330000, 0x004400, 0x000055, 0x111111, 0xAAAAAA}},
        {8, BI_RGB, {0x010203, 0xFEFDFC, 0x7F8081}, {2, 1, 0, 0, 0, 2, 1, 0},
         {0x7F8081, 0xFEFDFC, 0x010203, 0x010203, 0x7F8081, 0xFEFDFC}},
        // 5-5-5: a channel value v widens to v << 3 | v >> 2 (31 -> 255, 16 -> 132, 1 -> 8).
        {16, BI_RGB, {},
         {0x00, 0x7C, 0xE0, 0x03, 0x01, 0x00, 0, 0, 0x10, 0x42, 0xFF, 0x7F, 0x00, 0x00, 0, 0},
         {0xFF0000, 0x00FF00, 0x000008, 0x848484, 0xFFFFFF, 0x000000}},
        // 5-6-5 masks: green 1 of 63 widens to 4.
        {16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F},
         {0x00, 0xF8, 0x20, 0x00, 0xFF, 0xFF, 0, 0, 0x1F, 0x00, 0xE0, 0x07, 0x00, 0x00, 0, 0},
         {0xFF0000, 0x000400, 0xFFFFFF, 0x0000FF, 0x00FF00, 0x000000}},
        // At 32 bits the fourth byte is copied too.
        {32, BI_RGB, {},
         {1, 2, 3, 0x77, 4, 5, 6, 0x77, 7, 8, 9, 0x77, 10, 11, 12, 0x77, 13, 14, 15, 0x77,
          16, 17, 18, 0x77},
         {0x77030201, 0x77060504, 0x77090807, 0x770C0B0A, 0x770F0E0D, 0x77121110}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, compression " << c.compression);
        HBITMAP src = MakeSection(c.bits, c.compression, c.table, c.rows);
        ASSERT_NE(src, nullptr);
        CControlBmp dup;
        dup.CreateDuplicate(src, 32, 0, nullptr);
        ASSERT_EQ(
            std::tuple(dup.GetWidth(), dup.GetHeight(), dup.GetBitCount(), dup.GetWidthBytes()),
            std::tuple(3, 2, 32, 12));
        std::vector<DWORD> got(6);
        std::memcpy(got.data(), dup.GetBufferPtr(), 24);
        EXPECT_EQ(got, c.expect);
        EXPECT_TRUE(DeleteObject(src));
    }
}

TEST(ControlBmpDuplicate, OwnPictureIsReadBeforeItIsReplaced) {
    CControlBmp b;
    ASSERT_TRUE(b.CreateBitmap(2, 1, 24, 0, nullptr));
    std::memcpy(b.GetBufferPtr(), "\x0A\x14\x1E\x5A\x5A\x5A", 6);
    const HBITMAP old = b.GetHbmp();
    b.CreateDuplicate(b.GetHbmp(), 32, 0, nullptr);
    ASSERT_EQ(b.GetBitCount(), 32);
    EXPECT_EQ(Bytes(b.GetBufferPtr(), 8), (std::vector<BYTE>{10, 20, 30, 0, 90, 90, 90, 0}));
    EXPECT_FALSE(BitmapExists(old));
}

// A smooth grey picture (level 40 + x + 2y) and its JPEG stream.
std::vector<BYTE> EncodeGrey(int w, int h, int quality, CControlBmp* keep = nullptr) {
    CControlBmp local;
    CControlBmp& b = keep ? *keep : local;
    EXPECT_TRUE(b.CreateBitmap(w, h, 8, 256, nullptr));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.GetBufferTopLeftPtr()[x - y * b.GetWidthBytes()] = static_cast<BYTE>(40 + x + 2 * y);
    std::vector<BYTE> out(static_cast<std::size_t>(w) * h + 65536);
    int produced = -1;
    EXPECT_TRUE(b.CompressSaveJpeg(out.data(), static_cast<int>(out.size()), &produced, quality));
    out.resize(static_cast<std::size_t>(std::max(produced, 0)));
    return out;
}

TEST(ControlBmpJpeg, BadStreamsAreRefusedWithEveryPixelZero) {
    const std::vector<BYTE> good = EncodeGrey(32, 16, 90);
    const int n = static_cast<int>(good.size());
    const struct {
        const BYTE* data;
        int size, w = 32, h = 16;  // the picture the stream goes into
    } cases[] = {{good.data(), n - 2},    {good.data(), 2}, {good.data(), 0},
                 {good.data(), -5},       {nullptr, 100},   {good.data(), n, 33},
                 {good.data(), n, 32, 15}};
    for (const auto& c : cases) {
        CControlBmp b;
        ASSERT_TRUE(b.CreateBitmap(c.w, c.h, 8, 256, nullptr));
        const std::size_t bytes = static_cast<std::size_t>(b.GetWidthBytes()) * c.h;
        std::memset(b.GetBufferPtr(), 0x5A, bytes);
        EXPECT_FALSE(b.LoadJpegData(c.data, c.size, false)) << c.size << " " << c.w << "x" << c.h;
        EXPECT_EQ(Bytes(b.GetBufferPtr(), bytes), std::vector<BYTE>(bytes));
    }
}

TEST(ControlBmpJpeg, StreamMustFitTheBlockExactly) {
    CControlBmp b;
    const std::vector<BYTE> full = EncodeGrey(64, 64, 95, &b);
    const int n = static_cast<int>(full.size());
    // One byte short fails, leaving the count alone and nothing written past the block.
    std::vector<BYTE> block(full.size() + 16, 0xEE);
    int produced = -7;
    EXPECT_FALSE(b.CompressSaveJpeg(block.data(), n - 1, &produced, 95));
    EXPECT_EQ(produced, -7);
    EXPECT_EQ(std::vector<BYTE>(block.begin() + n - 1, block.end()), std::vector<BYTE>(17, 0xEE));
    EXPECT_TRUE(b.CompressSaveJpeg(block.data(), n, &produced, 95));
    EXPECT_EQ(produced, n);
    EXPECT_EQ(Bytes(block.data(), full.size()), full);
}

TEST(ControlBmpJpeg, QualityIsClampedAndEmptyBuffersRefuse) {
    EXPECT_EQ(EncodeGrey(16, 16, -40), EncodeGrey(16, 16, 1));
    EXPECT_EQ(EncodeGrey(16, 16, 1000), EncodeGrey(16, 16, 100));
    EXPECT_NE(EncodeGrey(16, 16, 1), EncodeGrey(16, 16, 100));
    CControlBmp empty;
    BYTE block[64];
    int produced = 0;
    EXPECT_FALSE(empty.CompressSaveJpeg(block, 64, &produced, 50));
    EXPECT_FALSE(empty.LoadJpegData(block, 64, false));
}

}  // namespace
