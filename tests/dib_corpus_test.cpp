// Bad .bmp files made at run time: every valid sample cut at every length, headers with
// random bytes changed, absurd sizes. Each must open as null or as a DIB whose header, table
// and rows all lie inside its block, and such a DIB must draw without leaving it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dib_test_support.h"
#include "temp_dir.h"
#include "test_random.h"
#include "zumeld/dib/CtrlDib.h"

using namespace dib_test;
using Zumeld::CCtrlDib;

namespace {

struct Sample {
    const char* name;
    Bytes file;
};

Bytes WithFileHeader(const Bytes& body, std::uint32_t offBits) {
    Bytes out = FileHeader(14 + body.size(), offBits);
    Append(out, body);
    return out;
}

std::vector<Sample> Samples() {
    std::vector<Sample> s;
    auto info = [](std::int32_t w, std::int32_t h, unsigned bits, unsigned compression = 0,
                   std::uint32_t sizeImage = 0) {
        Info i;
        i.width = w;
        i.height = h;
        i.bits = bits;
        i.compression = compression;
        i.sizeImage = sizeImage;
        return InfoHeader(i);
    };
    {
        Bytes b = CoreHeader(5, 3, 8);
        Append(b, ColorTable(256, 3));
        Append(b, PixelBytes(RowBytes(5, 8) * 3));
        s.push_back({"core 8-bit", WithFileHeader(b, 14 + 12 + 768)});
    }
    {
        Bytes b = CoreHeader(9, 2, 1);
        Append(b, ColorTable(2, 3));
        Append(b, PixelBytes(RowBytes(9, 1) * 2));
        s.push_back({"core 1-bit headerless", b});
    }
    {
        Bytes b = info(7, 3, 4);
        Append(b, ColorTable(16, 4));
        Append(b, PixelBytes(RowBytes(7, 4) * 3));
        s.push_back({"4-bit", WithFileHeader(b, 14 + 40 + 64)});
    }
    {
        Bytes b = info(3, 3, 24);
        Append(b, PixelBytes(RowBytes(3, 24) * 3));
        s.push_back({"24-bit", WithFileHeader(b, 54)});
    }
    {
        Bytes b = info(3, 2, 16, BI_BITFIELDS);
        Put32(b, 0xF800);
        Put32(b, 0x07E0);
        Put32(b, 0x001F);
        Append(b, PixelBytes(RowBytes(3, 16) * 2));
        s.push_back({"16-bit bitfields", WithFileHeader(b, 14 + 40 + 12)});
    }
    {
        Bytes b = info(2, -3, 32);
        Append(b, PixelBytes(RowBytes(2, 32) * 3));
        s.push_back({"32-bit top-down headerless", b});
    }
    {
        Bytes b = info(4, 2, 8, BI_RLE8, 6);
        Append(b, ColorTable(256, 4));
        Append(b, Bytes{4, 7, 0, 0, 0, 1});
        s.push_back({"8-bit run-length", WithFileHeader(b, 14 + 40 + 1024)});
    }
    return s;
}

// Pixel bytes the header of `file` implies (an upper bound, from the magnitudes of its
// fields), with or without a file header.
std::uint64_t ImpliedPixelBytes(const Bytes& file) {
    const std::size_t at = file.size() >= 2 && file[0] == 'B' && file[1] == 'M' ? 14 : 0;
    if (file.size() < at + 16) return 0;
    std::uint64_t width, height, bits;
    if (Get32(file, at) == 12) {
        width = Get16(file, at + 4);
        height = Get16(file, at + 6);
        bits = Get16(file, at + 10);
    } else {
        const auto w = static_cast<std::int32_t>(Get32(file, at + 4));
        const auto h = static_cast<std::int32_t>(Get32(file, at + 8));
        width = w < 0 ? 0 - static_cast<std::uint64_t>(w) : static_cast<std::uint64_t>(w);
        height = h < 0 ? 0 - static_cast<std::uint64_t>(h) : static_cast<std::uint64_t>(h);
        bits = Get16(file, at + 14);
    }
    return (width * bits / 8 + 4) * height;
}

class DibCorpus : public ::testing::Test {
  protected:
    // Opens `file`; a DIB must be sound by an independent reading of its block, and is then
    // drawn, stretched, converted and given a palette (the sanitizers watch the reads).
    void Check(const Bytes& file, const std::string& what) {
        std::string path = dir.File("bad.bmp");
        WriteFile(path, file);
        Dib d(dib.OpenDIB(path.data()));
        if (!d.h) return;
        const Bytes b = d.bytes();
        ASSERT_GE(b.size(), 40u) << what;
        const std::int64_t width = static_cast<std::int32_t>(Get32(b, 4));
        const std::int64_t height = static_cast<std::int32_t>(Get32(b, 8));
        const unsigned bits = Get16(b, 14);
        const std::uint32_t compression = Get32(b, 16);
        const std::uint32_t used = Get32(b, 32);
        ASSERT_EQ(Get32(b, 0), 40u) << what;
        ASSERT_GT(width, 0) << what;
        ASSERT_NE(height, 0) << what;
        ASSERT_TRUE(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)
            << what;
        const std::uint64_t most = bits <= 8 ? 1u << bits : 16383;
        ASSERT_LE(used, most) << what;
        const std::uint64_t entries = used ? used : (bits <= 8 ? 1u << bits : 0);
        const std::uint64_t rows = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4 *
                                   static_cast<std::uint64_t>(height < 0 ? -height : height);
        const bool coded = compression == BI_RLE8 || compression == BI_RLE4;
        const std::uint64_t pixels = coded ? Get32(b, 20) : rows;
        ASSERT_LE(40 + entries * 4 + pixels, b.size()) << what;
        if (!coded) {
            ASSERT_GE(Get32(b, 20), rows) << what;
        }

        dib.DibBlt(dc, -3, 2, 40, 40, d.h, 1, 1, SRCCOPY);
        dib.StretchDibBlt(dc, 0, 0, 16, 16, d.h, 0, 0, static_cast<int>(width),
                          static_cast<int>(height < 0 ? -height : height), SRCCOPY);
        if (HBITMAP bmp = dib.BitmapFromDib(d.h, nullptr)) DeleteObject(bmp);
        if (HPALETTE pal = dib.CreateDibPalette(d.h)) DeleteObject(pal);
    }

    TempDir dir;
    CCtrlDib dib;
    MemoryTarget target{16, 16};
    HDC dc = target.dc;
};

TEST_F(DibCorpus, SamplesCutAtEveryLengthOpenAsNullOrSound) {
    for (const auto& s : Samples()) {
        // The whole sample opens.
        {
            std::string path = dir.File("whole.bmp");
            WriteFile(path, s.file);
            Dib d(dib.OpenDIB(path.data()));
            EXPECT_TRUE(d.h) << s.name;
        }
        for (std::size_t n = 0; n <= s.file.size(); ++n) {
            Check(Slice(s.file, 0, n), std::string(s.name) + " cut at " + std::to_string(n));
            if (HasFatalFailure()) return;
        }
    }
}

TEST_F(DibCorpus, RandomHeaderBytesOpenAsNullOrSound) {
    zumeld_test::TestRandom rng(0xD1B5EED);
    const auto samples = Samples();
    const BYTE edges[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};
    for (int round = 0; round < 1000; ++round) {
        const auto& s = samples[rng.Below(static_cast<std::uint32_t>(samples.size()))];
        Bytes file = s.file;
        const int changes = 1 + static_cast<int>(rng.Below(4));
        for (int c = 0; c < changes; ++c) {
            // Mostly the header bytes, where the sizes live.
            const std::size_t at = rng.Below(std::min<std::uint32_t>(
                static_cast<std::uint32_t>(file.size()), rng.Chance(80) ? 60 : 100000));
            file[at] = rng.Chance(50) ? edges[rng.Below(6)] : static_cast<BYTE>(rng.Below(256));
        }
        // Pictures of many megabytes are sound too, but slow to zero and draw a thousand
        // times; their sizes are the business of AbsurdSizesAreRefused.
        if (ImpliedPixelBytes(file) > (std::uint64_t{1} << 20)) continue;
        Check(file, std::string(s.name) + " round " + std::to_string(round) + " seed " +
                        std::to_string(rng.Seed()));
        if (HasFatalFailure()) return;
    }
}

TEST_F(DibCorpus, AbsurdSizesAreRefused) {
    struct Case {
        std::int32_t width, height;
        unsigned bits;
        std::uint32_t clrUsed, sizeImage, offBits;
    };
    const Case cases[] = {
        {0x7FFFFFFF, 0x7FFFFFFF, 32, 0, 0, 54},
        {0x7FFFFFFF, 1, 1, 0, 0, 54},
        {1, 0x7FFFFFFF, 32, 0, 0, 54},
        {1, -0x7FFFFFFF, 32, 0, 0, 54},
        {1, INT32_MIN, 8, 0, 0, 54},
        {65536, 65536, 8, 0, 0, 54},
        {46341, 46341, 8, 0, 0, 54},
        {4, 4, 8, 0xFFFFFFFF, 0, 54},
        {4, 4, 24, 0xFFFFFFFF, 0, 54},
        {4, 4, 4, 0, 0xFFFFFFFF, 0xFFFFFFFF},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& c = cases[k];
        Info i;
        i.width = c.width;
        i.height = c.height;
        i.bits = c.bits;
        i.clrUsed = c.clrUsed;
        i.sizeImage = c.sizeImage;
        Bytes file = FileHeader(0, c.offBits);
        Append(file, InfoHeader(i));
        Append(file, PixelBytes(100));
        std::string path = dir.File("absurd.bmp");
        WriteFile(path, file);
        void* h = dib.OpenDIB(path.data());
        EXPECT_EQ(h, nullptr) << "case " << k;
        if (h) GlobalFree(h);
    }
}

}  // namespace
