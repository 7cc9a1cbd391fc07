// The compressed record (encoding 3): Save3djFile's layout, the grey mapping through a real
// JPEG round trip, the cache that save type 1 writes back, and records that do not decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "elv_test_support.h"
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

// A map of 8 x 8 blocks, each block flat: a JPEG codes flat blocks (nearly) without loss.
void SetBlocks(CCtrlElvMap& map, const std::vector<short>& blockValues, int blocksWide) {
    const int blocksHigh = static_cast<int>(blockValues.size()) / blocksWide;
    const int w = 8 * blocksWide, h = 8 * blocksHigh;
    std::vector<short> cells(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) cells[y * w + x] = blockValues[(y / 8) * blocksWide + x / 8];
    map.SetElevationData(w, h, cells.data());
}

}  // namespace

// The record's layout; loading it maps grey levels back, fills the margin and caches the
// stream; save type 1 writes the cached record back byte for byte, even after edits, until the
// cache is dropped.
TEST(CompressedFile, RecordLayoutLoadAndSaveTypeOne) {
    CCtrlElvMap map;
    SetBlocks(map, {1000, 500}, 2);
    bool ok = false;
    Bytes rec = Save3dj(map, 100, &ok);
    ASSERT_TRUE(ok);
    ASSERT_GE(rec.size(), 12u);
    // Encoding 3, 16 x 8, M = 1000, the stream's length, then a JPEG stream's SOI marker.
    const std::uint32_t n = static_cast<std::uint32_t>(rec.size() - 12);
    EXPECT_EQ(Bytes(rec.begin(), rec.begin() + 14),
              (Bytes{3, 0, 16, 0, 8, 0, 0xE8, 0x03, std::uint8_t(n), std::uint8_t(n >> 8),
                     std::uint8_t(n >> 16), std::uint8_t(n >> 24), 0xFF, 0xD8}));
    EXPECT_FALSE(map.m_pCompressedData);  // Save3djFile neither fills nor reads the cache

    CCtrlElvMap back;
    back.m_pDisplayElevation = SharedBlock<short>::AllocateZeroed(1);
    back.m_nStretchWidth = 9;
    Load(back, rec);
    ASSERT_EQ(back.m_nWidth, 16);
    ASSERT_EQ(back.m_nHeight, 8);
    ExpectMarginRule(back);
    // Flat blocks come through within a grey step of (g * M) / 255, g = e * 256 / (M + 1).
    const std::vector<short> got = Cells(back);
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_LE(std::abs(got[i] - (i % 16 < 8 ? 1000 : 498)), 4) << i;
    ASSERT_EQ(back.m_nCompressedSize, static_cast<int>(n));
    EXPECT_TRUE(std::equal(rec.begin() + 12, rec.end(), back.m_pCompressedData.get()));
    EXPECT_FALSE(back.m_pDisplayElevation);
    EXPECT_EQ(back.m_nStretchWidth, 0);

    back.SetSaveType(1);
    back.m_pElevation[0] = 1234;
    EXPECT_EQ(Store(back), rec);
    // Another size: the cached picture no longer describes the map, so the grid is coded.
    CCtrlElvMap wider(back), reloaded;
    wider.ChangeCanvasSize(20, 8);
    Load(reloaded, Store(wider));
    EXPECT_EQ(Cells(reloaded), Cells(wider));
    back.SetSaveType(0);  // save type 0 codes the grid
    EXPECT_EQ(Field16(Store(back), 0), 2);
    back.SetSaveType(1);  // and so does save type 1 without the cache
    back.DeleteCompressedData();
    EXPECT_EQ(Field16(Store(back), 0), 2);

    // Only cells below sea level: the maximum is 0 and the cells load back as sea.
    CCtrlElvMap deep;
    SetBlocks(deep, {-40, -1}, 2);
    rec = Save3dj(deep, 100);
    ASSERT_GE(rec.size(), 12u);
    EXPECT_EQ(Field16(rec, 6), 0);
    Load(deep, rec);
    EXPECT_EQ(Cells(deep), std::vector<short>(16 * 8, 0));

    // Too wide for the header, or no cells to code: nothing written.
    CCtrlElvMap wide, empty;
    wide.CreateNewMap(32768, 1);
    for (CCtrlElvMap* m : {&wide, &empty}) {
        EXPECT_TRUE(Save3dj(*m, 90, &ok).empty());
        EXPECT_FALSE(ok);
    }
}

// Records that do not decode to a picture of the map's size give sea; the cache holds the
// bytes the file delivered, no more.
TEST(CompressedFile, StreamsThatDoNotDecodeGiveSea) {
    CCtrlElvMap source;
    SetBlocks(source, {700, 800, 900, 1000}, 2);  // 16 x 16
    const Bytes good = Save3dj(source, 90);
    Bytes otherSize = good, negativeMax = good;
    otherSize[2] = otherSize[4] = 8;               // the header claims 8 x 8
    negativeMax[6] = 0xFB, negativeMax[7] = 0xFF;  // M = -5
    const Bytes notJpeg = Header(3, 2, 2, {0xE8, 0x03, 4, 0, 0, 0, 'a', 'b', 'c', 'd'});
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    const Bytes* const files[] = {&otherSize, &notJpeg, &cut, &negativeMax};
    for (const Bytes* file : files) {
        CCtrlElvMap map;
        map.CreateNewMap(16, 16);
        std::fill_n(map.m_pElevation.get(), 17 * 17, short{0x4444});
        Load(map, *file);
        ASSERT_TRUE(map.m_pElevation);
        const short* grid = map.m_pElevation.get();
        EXPECT_TRUE(std::all_of(grid, grid + map.m_nBufferWidth * map.m_nBufferHeight,
                                [](short v) { return v == 0; }));
        EXPECT_EQ(map.m_nCompressedSize, static_cast<int>(file->size() - 12));
    }
}
