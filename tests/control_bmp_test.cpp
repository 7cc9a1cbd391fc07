// Quobel::CControlBmp: picture creation and refusals, duplication of bitmaps (their pixel
// conversions are the GDI's, checked against Windows by the GDI probe), JPEG coding of grey
// pictures, and pictures shared between copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>
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
    const int cases[][3] = {{0, 1, 24},        {5, -1, 8},         {4, 4, 16},
                            {46341, 46341, 8}, {715827883, 1, 24}, {2147483647, 2147483647, 32}};
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
    CControlBmp empty;  // nothing to code or to decode into
    EXPECT_FALSE(empty.CompressSaveJpeg(block.data(), n, &produced, 50));
    EXPECT_FALSE(empty.LoadJpegData(full.data(), n, false));
}

}  // namespace
