// The compressed record (encoding 3): Save3djFile's layout, the grey mapping
// through a real JPEG round trip, the cache that save type 1 writes back, and
// records that do not decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "elv_test_support.h"
#include "test_random.h"
#include "zumeld/zumeld.h"

using namespace Zumeld;
using namespace elv_test;

namespace {

Bytes Save3dj(CCtrlElvMap& map, int quality, bool* result = nullptr) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    bool ok = map.Save3djFile(ar, quality);
    if (result) *result = ok;
    ar.Close();
    return file.Data();
}

int Field16(const Bytes& b, std::size_t at) {
    return static_cast<short>(b[at] | (b[at + 1] << 8));
}
std::uint32_t Field32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

// A map of 8 x 8 blocks, each block flat: a JPEG codes flat blocks without
// loss, so the grey levels come back exactly and only the grey mapping is seen.
void SetBlocks(CCtrlElvMap& map, const std::vector<short>& blockValues, int blocksWide) {
    const int blocksHigh = static_cast<int>(blockValues.size()) / blocksWide;
    const int w = 8 * blocksWide, h = 8 * blocksHigh;
    std::vector<short> cells(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) cells[y * w + x] = blockValues[(y / 8) * blocksWide + x / 8];
    map.SetElevationData(w, h, cells.data());
}

}  // namespace

TEST(CompressedFile, RecordLayout) {
    CCtrlElvMap map;
    SetBlocks(map, {1000, 500}, 2);
    bool ok = false;
    Bytes rec = Save3dj(map, 90, &ok);
    ASSERT_TRUE(ok);
    ASSERT_GE(rec.size(), 12u);
    EXPECT_EQ(Field16(rec, 0), 3);
    EXPECT_EQ(Field16(rec, 2), 16);
    EXPECT_EQ(Field16(rec, 4), 8);
    EXPECT_EQ(Field16(rec, 6), 1000);
    EXPECT_EQ(Field32(rec, 8), rec.size() - 12);
    EXPECT_EQ(rec[12], 0xFF);  // a JPEG stream starts with its SOI marker
    EXPECT_EQ(rec[13], 0xD8);
    EXPECT_FALSE(map.m_pCompressedData);  // Save3djFile neither fills nor reads the cache
}

// The grey levels of a record's JPEG stream, decoded on their own (top row
// first).
std::vector<int> DecodeGrey(const Bytes& rec, int width, int height) {
    Quobel::CControlBmp picture;
    EXPECT_TRUE(picture.CreateBitmap(width, height, 8, 256, nullptr));
    EXPECT_TRUE(picture.LoadJpegData(rec.data() + 12, static_cast<int>(rec.size() - 12), false));
    std::vector<int> grey;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            grey.push_back(picture.GetBufferTopLeftPtr()[x - y * picture.GetWidthBytes()]);
    return grey;
}

TEST(CompressedFile, GreyMappingWorkedExamples) {
    // Flat 8 x 8 blocks keep their grey level through the JPEG (within one level
    // of rounding at quality 100); the elevation read back is (g * M) / 255 of
    // the level decoded.
    struct Case {
        const char* name;
        std::vector<short> blocks;
        int blocksWide;
        short maxElevation;
        std::vector<int> grey;    // written
        std::vector<short> back;  // read, when the level comes back exactly
    };
    const Case cases[] = {
        {"M = 1000", {1000, 500, 0, 1000}, 2, 1000, {255, 127, 0, 255}, {1000, 498, 0, 1000}},
        {"M = 100", {100, 0}, 2, 100, {253, 0}, {99, 0}},
        {"all sea: M = 0", {0, 0}, 1, 0, {0, 0}, {0, 0}},
        {"negative cells: grey 0", {-40, 200}, 2, 200, {0, 255}, {0, 200}},
        {"only negative cells: M = 0", {-40, -1}, 2, 0, {0, 0}, {0, 0}},
    };
    for (const Case& c : cases) {
        CCtrlElvMap map;
        SetBlocks(map, c.blocks, c.blocksWide);
        Bytes rec = Save3dj(map, 100);
        ASSERT_GE(rec.size(), 12u) << c.name;
        EXPECT_EQ(Field16(rec, 6), c.maxElevation) << c.name;
        CCtrlElvMap back;
        Load(back, rec);
        ASSERT_TRUE(back.m_pElevation) << c.name;
        EXPECT_EQ(back.m_nCompressedMaxElevation, c.maxElevation) << c.name;
        const int w = back.m_nWidth, h = back.m_nHeight;
        std::vector<int> grey = DecodeGrey(rec, w, h);
        std::vector<short> got = Cells(back);
        for (std::size_t i = 0; i < got.size(); ++i) {
            const int x = static_cast<int>(i) % w, y = static_cast<int>(i) / w;
            const int block = (y / 8) * c.blocksWide + x / 8;
            ASSERT_LE(std::abs(grey[i] - c.grey[block]), 1) << c.name << " cell " << i;
            ASSERT_EQ(got[i], grey[i] * c.maxElevation / 255) << c.name << " cell " << i;
            if (grey[i] == c.grey[block]) {
                ASSERT_EQ(got[i], c.back[block]) << c.name << " cell " << i;
            }
        }
    }
}

TEST(CompressedFile, LoadFillsTheMarginAndKeepsTheCache) {
    CCtrlElvMap map;
    SetBlocks(map, {300, 600}, 1);
    Bytes rec = Save3dj(map, 95);
    CCtrlElvMap back;
    back.m_pDisplayElevation = SharedBlock<short>::AllocateZeroed(1);
    back.m_nStretchWidth = 9;
    Load(back, rec);
    ASSERT_EQ(back.m_nWidth, 8);
    ASSERT_EQ(back.m_nHeight, 16);
    const int bw = back.m_nBufferWidth;
    for (int r = 0; r < 16; ++r)
        EXPECT_EQ(back.m_pElevation[r * bw + 8], back.m_pElevation[r * bw + 7]);
    for (int c = 0; c <= 8; ++c)
        EXPECT_EQ(back.m_pElevation[16 * bw + c], back.m_pElevation[15 * bw + c]);
    ASSERT_TRUE(back.m_pCompressedData);
    EXPECT_EQ(back.m_nCompressedSize, static_cast<int>(rec.size() - 12));
    EXPECT_TRUE(std::equal(rec.begin() + 12, rec.end(), back.m_pCompressedData.get()));
    EXPECT_FALSE(back.m_pDisplayElevation);
    EXPECT_EQ(back.m_nStretchWidth, 0);
}

TEST(CompressedFile, SaveTypeOneWritesTheRecordReadByteForByte) {
    zumeld_test::TestRandom rng(31);
    std::vector<short> cells(23 * 17);
    for (short& v : cells) v = static_cast<short>(rng.Range(0, 2500));
    CCtrlElvMap map;
    map.SetElevationData(23, 17, cells.data());
    Bytes rec = Save3dj(map, 75);

    CCtrlElvMap back;
    Load(back, rec);
    back.SetSaveType(1);
    EXPECT_EQ(Store(back), rec);
    // Edits to the grid do not drop the cache: the record goes out unchanged.
    back.m_pElevation[0] = 1234;
    EXPECT_EQ(Store(back), rec);
    // Save type 0 codes the grid instead.
    back.SetSaveType(0);
    EXPECT_EQ(Field16(Store(back), 0), 2);
    // Without the cache, save type 1 codes the grid too.
    back.SetSaveType(1);
    back.DeleteCompressedData();
    EXPECT_EQ(Field16(Store(back), 0), 2);
}

TEST(CompressedFile, StreamsThatDoNotDecodeGiveSea) {
    CCtrlElvMap source;
    SetBlocks(source, {700, 800, 900, 1000}, 2);  // 16 x 16
    Bytes good = Save3dj(source, 90);

    Bytes otherSize = good;  // the header claims 8 x 8
    otherSize[2] = 8;
    otherSize[4] = 8;
    Bytes notJpeg = {0x03, 0x00, 0x02, 0x00, 0x02, 0x00, 0xE8, 0x03,
                     0x04, 0x00, 0x00, 0x00, 'a',  'b',  'c',  'd'};
    Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    Bytes negativeMax = good;
    negativeMax[6] = 0xFB;  // M = -5
    negativeMax[7] = 0xFF;

    struct Case {
        const char* name;
        const Bytes* file;
        std::size_t cachedBytes;
    };
    const Case cases[] = {
        {"other picture size", &otherSize, good.size() - 12},
        {"not a JPEG stream", &notJpeg, 4},
        {"stream cut short", &cut, cut.size() - 12},
        {"negative maximum", &negativeMax, good.size() - 12},
    };
    for (const Case& c : cases) {
        CCtrlElvMap map;
        map.CreateNewMap(16, 16);
        for (int i = 0; i < 17 * 17; ++i) map.m_pElevation[i] = 0x4444;
        Load(map, *c.file);
        ASSERT_TRUE(map.m_pElevation) << c.name;
        for (int i = 0; i < map.m_nBufferWidth * map.m_nBufferHeight; ++i)
            ASSERT_EQ(map.m_pElevation[i], 0) << c.name << " cell " << i;
        // The cache holds the bytes the file delivered, no more.
        EXPECT_EQ(map.m_nCompressedSize, static_cast<int>(c.cachedBytes)) << c.name;
    }
}

TEST(CompressedFile, MapsThatCannotBeRecorded) {
    CCtrlElvMap wide;
    wide.CreateNewMap(32768, 1);
    bool ok = true;
    EXPECT_TRUE(Save3dj(wide, 90, &ok).empty());
    EXPECT_FALSE(ok);

    // No cells: the picture cannot be coded; the header and maximum are written,
    // no stream.
    CCtrlElvMap empty;
    Bytes rec = Save3dj(empty, 90, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(rec, (Bytes{0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

TEST(CompressedFileProperty, QualityHundredStaysWithinTheGreyStepAndTwoLevels) {
    zumeld_test::TestRandom rng(0xC0FFEE);
    for (int n = 0; n < 30; ++n) {
        const int w = 1 + static_cast<int>(rng.Below(40)), h = 1 + static_cast<int>(rng.Below(40));
        const int top = static_cast<int>(rng.Range(1, 32767));
        std::vector<short> cells(static_cast<std::size_t>(w) * h);
        // Smooth terrain with some sea and some noise.
        const int fx = 1 + static_cast<int>(rng.Below(5)), fy = 1 + static_cast<int>(rng.Below(5));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                long v = (static_cast<long>(top) * ((x * fx + y * fy) % 64)) / 63;
                v += static_cast<long>(rng.Range(-top / 50, top / 50));
                cells[y * w + x] = static_cast<short>(std::clamp<long>(v, 0, top));
            }
        CCtrlElvMap map;
        map.SetElevationData(w, h, cells.data());
        Bytes rec = Save3dj(map, 100);
        CCtrlElvMap back;
        Load(back, rec);
        const int m = Field16(rec, 6);
        const int allowed = 3 * ((m + 254) / 255);
        std::vector<short> got = Cells(back);
        ASSERT_EQ(got.size(), cells.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_LE(std::abs(got[i] - cells[i]), allowed)
                << "seed " << rng.Seed() << " case " << n << " cell " << i << " M " << m;
    }
}
