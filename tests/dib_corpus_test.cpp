// Bad .bmp files made at run time: every valid sample cut at every length and headers with
// random bytes changed. Each must open as null or as a DIB whose header, table and rows all
// lie inside its block, and such a DIB must draw without leaving it.
#include <gtest/gtest.h>

#include <cstdlib>
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

std::vector<Sample> Samples() {
    Bytes masks;
    for (std::uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(masks, m);
    return {
        {"core 8-bit", Compose(CoreHeader(5, 3, 8), ColorTable(256, 3), PixelBytes(24))},
        {"core 1-bit headerless",
         Compose(CoreHeader(9, 2, 1), ColorTable(2, 3), PixelBytes(8), false)},
        {"4-bit", Compose(InfoHeader({.width = 7, .height = 3, .bits = 4}), ColorTable(16, 4),
                          PixelBytes(12))},
        {"24-bit", Compose(InfoHeader({.width = 3, .height = 3, .bits = 24}), {}, PixelBytes(36))},
        {"16-bit bitfields",
         Compose(InfoHeader({.width = 3, .bits = 16, .compression = BI_BITFIELDS}), masks,
                 PixelBytes(16))},
        {"32-bit top-down headerless",
         Compose(InfoHeader({.width = 2, .height = -3, .bits = 32}), {}, PixelBytes(24), false)},
        {"8-bit run-length", Compose(InfoHeader({.compression = BI_RLE8, .sizeImage = 6}),
                                     ColorTable(256, 4), Bytes{4, 7, 0, 0, 0, 1})},
    };
}

// Pixel bytes the header of `file` implies (an upper bound, from the magnitudes of its
// fields), with or without a file header.
std::uint64_t ImpliedPixelBytes(const Bytes& file) {
    const std::size_t at = file.size() >= 2 && file[0] == 'B' && file[1] == 'M' ? 14 : 0;
    if (file.size() < at + 16) return 0;
    if (Get32(file, at) == 12)
        return (std::uint64_t{Get16(file, at + 4)} * Get16(file, at + 10) / 8 + 4) *
               Get16(file, at + 6);
    auto magnitude = [](std::uint32_t v) {
        return static_cast<std::uint64_t>(std::abs(std::int64_t{static_cast<std::int32_t>(v)}));
    };
    return (magnitude(Get32(file, at + 4)) * Get16(file, at + 14) / 8 + 4) *
           magnitude(Get32(file, at + 8));
}

class DibCorpus : public ::testing::Test {
  protected:
    // Opens `file`; a DIB must be sound by an independent reading of its block, and is then
    // drawn, stretched, converted and given a palette (the sanitizers watch the reads).
    // Returns whether it opened.
    bool Check(const Bytes& file, const std::string& what) {
        std::string path = dir.File("bad.bmp");
        WriteFile(path, file);
        Dib d(dib.OpenDIB(path.data()));
        if (!d.h) return false;
        const Bytes b = d.bytes();
        EXPECT_GE(b.size(), 40u) << what;
        if (b.size() < 40) return true;
        const std::int64_t width = static_cast<std::int32_t>(Get32(b, 4));
        const std::int64_t height = std::abs(std::int64_t{static_cast<std::int32_t>(Get32(b, 8))});
        const unsigned bits = Get16(b, 14);
        const std::uint32_t used = Get32(b, 32);
        EXPECT_EQ(Get32(b, 0), 40u) << what;
        EXPECT_GT(width, 0) << what;
        EXPECT_GT(height, 0) << what;
        EXPECT_TRUE(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)
            << what;
        EXPECT_LE(used, bits <= 8 ? 1u << bits : 16383u) << what;
        const std::uint64_t entries = used ? used : (bits <= 8 ? 1u << bits : 0);
        const std::uint64_t rows = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4 *
                                   static_cast<std::uint64_t>(height);
        const bool coded = Get32(b, 16) == BI_RLE8 || Get32(b, 16) == BI_RLE4;
        EXPECT_LE(40 + entries * 4 + (coded ? Get32(b, 20) : rows), b.size()) << what;
        EXPECT_TRUE(coded || Get32(b, 20) >= rows) << what << ": biSizeImage short of the rows";
        if (HasFailure()) return true;

        dib.DibBlt(target.dc, -3, 2, 40, 40, d.h, 1, 1, SRCCOPY);
        dib.StretchDibBlt(target.dc, 0, 0, 16, 16, d.h, 0, 0, static_cast<int>(width),
                          static_cast<int>(height), SRCCOPY);
        if (HBITMAP bmp = dib.BitmapFromDib(d.h, nullptr)) DeleteObject(bmp);
        if (HPALETTE pal = dib.CreateDibPalette(d.h)) DeleteObject(pal);
        return true;
    }

    TempDir dir;
    CCtrlDib dib;
    MemoryTarget target{16, 16};
};

TEST_F(DibCorpus, SamplesCutAtEveryLengthOpenAsNullOrSound) {
    for (const auto& s : Samples()) {
        EXPECT_TRUE(Check(s.file, s.name)) << s.name << " whole";
        for (std::size_t n = 0; n < s.file.size() && !HasFailure(); ++n)
            Check(Slice(s.file, 0, n), std::string(s.name) + " cut at " + std::to_string(n));
    }
}

TEST_F(DibCorpus, RandomHeaderBytesOpenAsNullOrSound) {
    zumeld_test::TestRandom rng(0xD1B5EED);
    const auto samples = Samples();
    const BYTE edges[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};
    for (int round = 0; round < 1000 && !HasFailure(); ++round) {
        Bytes file = samples[rng.Below(static_cast<std::uint32_t>(samples.size()))].file;
        for (int c = 1 + static_cast<int>(rng.Below(4)); c > 0; --c) {
            // Mostly the header bytes, where the sizes live.
            const auto at = rng.Below(static_cast<std::uint32_t>(
                std::min<std::size_t>(file.size(), rng.Chance(80) ? 60 : 100000)));
            file[at] = rng.Chance(50) ? edges[rng.Below(6)] : static_cast<BYTE>(rng.Below(256));
        }
        // Pictures of many megabytes are sound too, but slow to zero and draw a thousand
        // times; absurd sizes are the file tests' business.
        if (ImpliedPixelBytes(file) > (std::uint64_t{1} << 20)) continue;
        Check(file, "round " + std::to_string(round) + " seed " + std::to_string(rng.Seed()));
    }
}

}  // namespace
