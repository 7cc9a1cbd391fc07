// Bad .bmp files made at run time: valid samples cut at every length and with random header
// bytes changed must open as null or as a DIB whose header, table and rows lie inside its
// block, and such a DIB must draw without leaving it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "dib_test_support.h"
#include "temp_dir.h"
#include "test_random.h"
#include "zumeld/dib/CtrlDib.h"

using namespace dib_test;

namespace {

const std::vector<Bytes> kSamples = {
    Compose(CoreHeader(5, 3, 8), ColorTable(256, 3), PixelBytes(24)),
    Compose(CoreHeader(9, 2, 1), ColorTable(2, 3), PixelBytes(8), false),
    Compose(InfoHeader({.width = 7, .height = 3, .bits = 4}), ColorTable(16, 4), PixelBytes(12)),
    Compose(InfoHeader({.width = 3, .height = 3, .bits = 24}), {}, PixelBytes(36)),
    Compose(InfoHeader({.width = 3, .bits = 16, .compression = BI_BITFIELDS}),
            Le32({0xF800u, 0x07E0u, 0x001Fu}), PixelBytes(16)),
    Compose(InfoHeader({.width = 2, .height = -3, .bits = 32}), {}, PixelBytes(24), false),
    Compose(InfoHeader({.compression = BI_RLE8, .sizeImage = 6}), ColorTable(256, 4),
            Bytes{4, 7, 0, 0, 0, 1}),
};

std::int64_t Magnitude(std::uint32_t v) {
    return std::abs(std::int64_t{static_cast<std::int32_t>(v)});
}

// An upper bound of the pixel bytes the header of `file` implies (with or without a file header).
std::uint64_t ImpliedPixelBytes(const Bytes& file) {
    const std::size_t at = file.size() >= 2 && file[0] == 'B' && file[1] == 'M' ? 14 : 0;
    if (file.size() < at + 16) return 0;
    if (Get32(file, at) == 12)
        return (std::uint64_t{Get16(file, at + 4)} * Get16(file, at + 10) / 8 + 4) *
               Get16(file, at + 6);
    return (Magnitude(Get32(file, at + 4)) * Get16(file, at + 14) / 8 + 4) *
           Magnitude(Get32(file, at + 8));
}

class DibCorpus : public ::testing::Test {
  protected:
    // Opens `file`; a DIB must be sound by an independent reading of its block, and is then
    // drawn, stretched, converted and given a palette (the sanitizers watch the reads).
    bool Check(const Bytes& file, const std::string& what) {
        WriteFile(path, file);
        Dib d(dib.OpenDIB(path.data()));
        const Bytes b = d.bytes();
        if (!d.h) return false;
        if (b.size() < 40) return ADD_FAILURE() << what << ": block shorter than a header", true;
        const std::int64_t width = Magnitude(Get32(b, 4)), height = Magnitude(Get32(b, 8));
        const unsigned bits = Get16(b, 14), compression = Get32(b, 16), used = Get32(b, 32);
        EXPECT_EQ(Get32(b, 0), 40u) << what;
        EXPECT_TRUE(static_cast<std::int32_t>(Get32(b, 4)) > 0 && height > 0) << what;
        EXPECT_TRUE(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)
            << what;
        EXPECT_LE(used, bits <= 8 ? 1u << bits : 16383u) << what;
        const std::uint64_t entries = used ? used : (bits <= 8 ? 1u << bits : 0);
        const std::uint64_t rows = (width * bits + 31) / 32 * 4 * height;
        const bool coded = compression == BI_RLE8 || compression == BI_RLE4;
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
    std::string path = dir.File("bad.bmp");
    Zumeld::CCtrlDib dib;
    MemoryTarget target{16, 16};
};

TEST_F(DibCorpus, SamplesCutAtEveryLengthOpenAsNullOrSound) {
    for (std::size_t s = 0; s < kSamples.size(); ++s) {
        EXPECT_TRUE(Check(kSamples[s], "sample " + std::to_string(s))) << "sample " << s;
        for (std::size_t n = 0; n < kSamples[s].size() && !HasFailure(); ++n)
            Check(Slice(kSamples[s], 0, n),
                  "sample " + std::to_string(s) + " cut at " + std::to_string(n));
    }
}

TEST_F(DibCorpus, RandomHeaderBytesOpenAsNullOrSound) {
    zumeld_test::TestRandom rng(0xD1B5EED);
    const BYTE edges[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};
    for (int round = 0; round < 1000 && !HasFailure(); ++round) {
        Bytes file = kSamples[rng.Below(static_cast<std::uint32_t>(kSamples.size()))];
        for (int c = 1 + static_cast<int>(rng.Below(4)); c > 0; --c) {
            // Mostly the header bytes, where the sizes live.
            const auto at = rng.Below(static_cast<std::uint32_t>(
                std::min<std::size_t>(file.size(), rng.Chance(80) ? 60 : 100000)));
            file[at] = rng.Chance(50) ? edges[rng.Below(6)] : static_cast<BYTE>(rng.Below(256));
        }
        // Pictures of many megabytes are sound too, but slow to zero and draw a thousand times.
        if (ImpliedPixelBytes(file) > (std::uint64_t{1} << 20)) continue;
        Check(file, "round " + std::to_string(round) + " seed " + std::to_string(rng.Seed()));
    }
}

}  // namespace
