// Texture sets: AddTexture's slot layout and refusals, the table's limits,
// seasons, and the three default textures embedded in the library.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <vector>

#include "test_random.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/render/TexturePrep.h"

namespace {

using Quobel::CControlBmp;
using Zumeld::CCtrlElvMap;
using Zumeld::tagTEXTURE_SET;
using Zumeld::tagTEXTURE_SLOT;
using Bytes = std::vector<BYTE>;
using Ints = std::vector<int>;

// B, G, R and fourth byte of the pixel at (x, y), y = 0 the top row, of a test picture.
BYTE Pattern(int x, int y, int channel, int seed) {
    return static_cast<BYTE>(x * 37 + y * 11 + channel * 71 + seed * 13 + (x * y) % 5);
}

// Writes a test picture into a fresh 24- or 32-bit buffer (rows bottom-up in memory).
void MakePicture(CControlBmp& bmp, int width, int height, int bits, int seed) {
    ASSERT_TRUE(bmp.CreateBitmap(width, height, bits, 0, nullptr));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * bits / 8; ++x)
            bmp.GetBufferPtr()[std::ptrdiff_t(height - 1 - y) * bmp.GetWidthBytes() + x] =
                Pattern(x / (bits / 8), y, x % (bits / 8), seed);
}

// Season s of a set: low, high and sea pictures of seeds 10 s + 1, 2, 3.
void MakeSeason(tagTEXTURE_SET& set, int s, int width, int height, int bits = 32, int blend = 10,
                int fadeTop = 20, int fadeBottom = 30) {
    MakePicture(set.bmpLow[s], width, height, bits, 10 * s + 1);
    MakePicture(set.bmpHigh[s], width, height, bits, 10 * s + 2);
    MakePicture(set.bmpSea[s], width, height, bits, 10 * s + 3);
    set.nBlendElevation[s] = blend;
    set.nFadeLineTop[s] = fadeTop;
    set.nFadeLineBottom[s] = fadeBottom;
}

// Row bytes, plane size, blend elevation, fade line top and bottom of a slot.
Ints Params(const tagTEXTURE_SLOT& s) {
    return {s.nRowBytes, s.nPlaneSize, s.nBlendElevation, s.nFadeLineTop, s.nFadeLineBottom};
}

Bytes LandPlane(const tagTEXTURE_SLOT& s) {
    return Bytes(s.pLandPixels.get(), s.pLandPixels.get() + 2 * s.nPlaneSize);
}

// The land plane of Pattern pictures: texel (x, y), top row first, is low.B, high.B, low.G,
// high.G, low.R, high.R, 0, 0.
Bytes ExpectedLand(int width, int height, int lowSeed, int highSeed) {
    Bytes out;
    for (int i = 0; i < width * height * 8; ++i) {
        const int x = i / 8 % width, y = i / 8 / width, c = i % 8 / 2;
        out.push_back(c == 3 ? 0 : Pattern(x, y, c, i % 2 ? highSeed : lowSeed));
    }
    return out;
}

// 24- and 32-bit pictures of any width (24-bit rows are padded) give the same slot: planes top
// row first, land texels interleaved low/high, sea texels as they are.
TEST(TextureSet, SlotHoldsReversedInterleavedPlanesAndParameters) {
    zumeld_test::TestRandom rng(0x7E57);
    for (int round = 0; round < 2; ++round) {
        const int width = round ? 1 + static_cast<int>(rng.Below(13)) : 7;
        const int height = round ? 1 + static_cast<int>(rng.Below(9)) : 5;
        for (int bits : {24, 32}) {
            SCOPED_TRACE(testing::Message() << "seed " << rng.Seed() << " round " << round << ": "
                                            << width << "x" << height << "x" << bits);
            CCtrlElvMap map;
            tagTEXTURE_SET set;
            MakeSeason(set, 0, width, height, bits);
            set.dwFlags = 0xFFFFFFFE;  // only bit 0 asks for four seasons
            ASSERT_EQ(map.AddTexture(&set), 1);
            EXPECT_FALSE(map.m_bFourSeasons[1]);
            EXPECT_TRUE(map.m_textureSlots[5].pLandPixels == nullptr);
            const tagTEXTURE_SLOT& s = map.m_textureSlots[4];
            ASSERT_EQ(Params(s), (Ints{width * 4, width * height * 4, 10, 20, 30}));
            EXPECT_EQ(s.pSeaPixels, s.pLandPixels.get() + 2 * s.nPlaneSize);
            EXPECT_EQ(LandPlane(s), ExpectedLand(width, height, 1, 2));
            for (int i = 0; i < s.nPlaneSize; ++i) {
                if (bits == 32 || i % 4 != 3) {
                    ASSERT_EQ(s.pSeaPixels[i], Pattern(i / 4 % width, i / 4 / width, i % 4, 3))
                        << i;
                }
            }
        }
    }
    // Parameters below one are stored as one.
    CCtrlElvMap map;
    tagTEXTURE_SET set;
    MakeSeason(set, 0, 2, 2, 32, 0, INT_MIN, -1);
    ASSERT_EQ(map.AddTexture(&set), 1);
    EXPECT_EQ(Params(map.m_textureSlots[4]), (Ints{8, 16, 1, 1, 1}));
}

TEST(TextureSet, MismatchedOrMissingPicturesGiveZeroPlanesOrRefusal) {
    // High and sea sizes next to a 4 x 4 low picture: a mismatched or missing high picture
    // gives a zero land plane, a mismatched or missing sea picture a zero sea plane.
    for (const auto& c : {std::array{3, 4, 4, 4}, {4, 4, 3, 4}, {4, 4, 0, 0}, {0, 0, 4, 4}}) {
        SCOPED_TRACE(testing::Message() << "high " << c[0] << "x" << c[1] << ", sea " << c[2]);
        CCtrlElvMap map;
        tagTEXTURE_SET set;
        MakePicture(set.bmpLow[0], 4, 4, 24, 1);
        if (c[0] > 0) MakePicture(set.bmpHigh[0], c[0], c[1], 24, 2);
        if (c[2] > 0) MakePicture(set.bmpSea[0], c[2], c[3], 24, 3);
        ASSERT_EQ(map.AddTexture(&set), 1);
        const tagTEXTURE_SLOT& s = map.m_textureSlots[4];
        const bool highFits = c[0] == 4 && c[1] == 4, seaFits = c[2] == 4 && c[3] == 4;
        EXPECT_EQ(LandPlane(s), highFits ? ExpectedLand(4, 4, 1, 2) : Bytes(32 * 4, 0));
        EXPECT_EQ(Bytes(s.pSeaPixels, s.pSeaPixels + s.nPlaneSize) == Bytes(16 * 4, 0), !seaFits);
    }
    // No usable low picture (in the only season, or in season 3 of four): refused.
    tagTEXTURE_SET noLow, noLowInSeason3;
    MakePicture(noLow.bmpHigh[0], 2, 2, 32, 2);
    noLowInSeason3.dwFlags = 1;
    for (int i = 0; i < 3; ++i) MakeSeason(noLowInSeason3, i, 2, 2);
    for (tagTEXTURE_SET* set : {&noLow, &noLowInSeason3, (tagTEXTURE_SET*)nullptr}) {
        CCtrlElvMap map;
        EXPECT_EQ(map.AddTexture(set), -1);
        EXPECT_EQ(map.m_nTextureSetCount, 1);
        EXPECT_TRUE(map.m_textureSlots[4].pLandPixels == nullptr);
    }
}

TEST(TextureSet, TableHoldsOneHundredSetsAndRestartsAfterRemoveAll) {
    CCtrlElvMap map;  // holds the default set as set 0
    tagTEXTURE_SET set;
    MakeSeason(set, 0, 2, 2);
    for (int i = 1; i <= 99; ++i) ASSERT_EQ(map.AddTexture(&set), i);
    EXPECT_EQ(map.AddTexture(&set), -1);
    EXPECT_EQ(map.m_nTextureSetCount, 100);
    map.SelectTexture(42);
    map.SetSeason(3);
    map.RemoveAllTexture();
    EXPECT_EQ((Ints{map.m_nTextureSetCount, map.m_nSelectedTexture, map.m_nSeason}),
              (Ints{0, 0, 0}));
    for (int i = 0; i < Zumeld::kTextureSlots; ++i)
        ASSERT_TRUE(map.m_textureSlots[i].pLandPixels == nullptr) << i;
    EXPECT_EQ(map.AddTexture(&set), 0);
    EXPECT_EQ(map.LoadDefaultTexture(), 1);
    EXPECT_EQ(map.m_nTextureSetCount, 2);
}

// A seasonal set draws the selected season as the one-texture set of that season's pictures.
TEST(TextureSet, SeasonalSetsDrawTheSelectedSeason) {
    CCtrlElvMap map;
    map.RemoveAllTexture();
    tagTEXTURE_SET seasonal;
    seasonal.dwFlags = 1;
    for (int s = 0; s < 4; ++s) MakeSeason(seasonal, s, 5, 4, 24, 400, 20000, 20000);
    ASSERT_EQ(map.AddTexture(&seasonal), 0);
    EXPECT_TRUE(map.m_bFourSeasons[0]);
    for (int s = 0; s < 4; ++s) {  // sets 1 to 4: season s of set 0 alone
        EXPECT_EQ(LandPlane(map.m_textureSlots[s]), ExpectedLand(5, 4, 10 * s + 1, 10 * s + 2));
        map.m_textureSlots[4 * (1 + s)] = map.m_textureSlots[s];
    }
    map.m_nTextureSetCount = 5;
    short cells[6 * 4];
    for (int i = 0; i < 24; ++i) cells[i] = short(i % 5 == 0 ? 0 : 37 * i);  // sea and land
    map.SetElevationData(6, 4, cells);
    map.StretchElevationData(0, 0, 6, 4, 15, 10);
    const CControlBmp& bmp = map.m_bmpInternal;
    ASSERT_EQ(bmp.GetWidth(), 15);
    auto draw = [&](int texture, int season) {
        map.SelectTexture(texture);
        map.SetSeason(season);
        map.m_bmpInternal.ClearBuffer();
        map.DrawAllMapOnBitmapBuffer(true, true, 0, false);
        return Bytes(bmp.GetBufferPtr(), bmp.GetBufferPtr() + bmp.GetWidthBytes() * 10);
    };
    const Bytes first = draw(0, 0);
    for (int s = 0; s < 4; ++s) {
        const Bytes picture = draw(0, s);
        if (s > 0) {
            EXPECT_NE(picture, first) << s;
        }
        EXPECT_EQ(draw(1 + s, (s + 1) % 4), picture) << "season " << s;
    }
}

// The new map's set 0 holds the three embedded 60 x 60 bitmaps as low, high and sea: their
// planes hash (FNV-1a, the sea texels' fourth bytes left out) to the pictures shipped.
TEST(DefaultTextures, NewMapSlotZeroHoldsTheThreeEmbeddedPictures) {
    CCtrlElvMap map;
    ASSERT_EQ(map.m_nTextureSetCount, 1);
    EXPECT_FALSE(map.m_bFourSeasons[0]);
    const tagTEXTURE_SLOT& s = map.m_textureSlots[0];
    ASSERT_EQ(Params(s), (Ints{240, 14400, 2000, 2000, 2000}));
    for (int i = 1; i < 4; ++i) EXPECT_TRUE(map.m_textureSlots[i].pLandPixels == nullptr);
    std::uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < 3 * s.nPlaneSize; ++i)
        if (i < 2 * s.nPlaneSize || i % 4 != 3) hash = (hash ^ s.pLandPixels[i]) * 1099511628211ull;
    EXPECT_EQ(hash, 0x51f3e6d2178339efull);
}

}  // namespace
