// Texture sets: the preparation kernels, AddTexture's slot layout and refusals, the table's
// limits, and the three default textures embedded in the library.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
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

// B, G, R and fourth byte of the pixel at (x, y), y = 0 the top row, of a test picture.
using PixelFn = BYTE (*)(int x, int y, int channel, int seed);

BYTE Pattern(int x, int y, int channel, int seed) {
    return static_cast<BYTE>(x * 37 + y * 11 + channel * 71 + seed * 13 + (x * y) % 5);
}

// Writes a test picture into a fresh 24- or 32-bit buffer (rows bottom-up in memory).
void MakePicture(CControlBmp& bmp, int width, int height, int bits, int seed,
                 PixelFn fn = Pattern) {
    ASSERT_TRUE(bmp.CreateBitmap(width, height, bits, 0, nullptr));
    const int bytes = bits / 8;
    for (int y = 0; y < height; ++y) {
        BYTE* row =
            bmp.GetBufferPtr() + static_cast<std::ptrdiff_t>(height - 1 - y) * bmp.GetWidthBytes();
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < bytes; ++c) row[x * bytes + c] = fn(x, y, c, seed);
    }
}

// A one-texture set of width x height pictures; parameters 10, 20, 30.
void MakeSet(tagTEXTURE_SET& set, int width, int height, int bits = 32) {
    MakePicture(set.bmpLow[0], width, height, bits, 1);
    MakePicture(set.bmpHigh[0], width, height, bits, 2);
    MakePicture(set.bmpSea[0], width, height, bits, 3);
    set.nBlendElevation[0] = 10;
    set.nFadeLineTop[0] = 20;
    set.nFadeLineBottom[0] = 30;
}

Bytes LandPlane(const tagTEXTURE_SLOT& s) {
    return Bytes(s.pLandPixels.get(), s.pLandPixels.get() + 2 * s.nPlaneSize);
}
Bytes SeaPlane(const tagTEXTURE_SLOT& s) {
    return Bytes(s.pSeaPixels, s.pSeaPixels + s.nPlaneSize);
}

// The land plane of low and high pictures made by Pattern with seeds lowSeed and highSeed:
// texel (x, y), top row first, is low.B, high.B, low.G, high.G, low.R, high.R, 0, 0.
Bytes ExpectedLand(int width, int height, int lowSeed, int highSeed) {
    Bytes out;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                out.push_back(Pattern(x, y, c, lowSeed));
                out.push_back(Pattern(x, y, c, highSeed));
            }
            out.push_back(0);
            out.push_back(0);
        }
    return out;
}

// ---- Kernels ----------------------------------------------------------------------------------

TEST(TextureKernels, PlaneSizeRefusesEmptyAndOversizedSlots) {
    struct Case {
        int width, height, plane;
    };
    const Case cases[] = {
        {60, 60, 14400},
        {1, 1, 4},
        {0, 5, 0},
        {5, 0, 0},
        {-1, 5, 0},
        {INT_MAX, INT_MAX, 0},
        // The slot block is 3 planes and must stay within 2^31 - 1 bytes.
        {178956970, 1, 715827880},
        {178956971, 1, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Zumeld::TexturePlaneSize(c.width, c.height), c.plane)
            << c.width << " x " << c.height;
}

TEST(TextureKernels, PlanesReverseBottomUpRowsAndInterleaveLandTexels) {
    // Two 2 x 2 bottom-up sources, rows 12 bytes apart (4 bytes of padding each).
    // Picture rows: low top {1..8}, bottom {9..16}; high = low + 100.
    BYTE low[24] = {9, 10, 11, 12, 13, 14, 15, 16, 0xEE, 0xEE, 0xEE, 0xEE,
                    1, 2,  3,  4,  5,  6,  7,  8,  0xEE, 0xEE, 0xEE, 0xEE};
    BYTE high[24];
    for (int i = 0; i < 24; ++i) high[i] = static_cast<BYTE>(low[i] + 100);
    BYTE land[2 * 16 + 1];
    std::memset(land, 0xCD, sizeof land);
    Zumeld::PrepareLandPlane(land, low + 12, -12, high + 12, -12, 2, 2);
    const Bytes expectedLand = {1, 101, 2,  102, 3,  103, 0, 0, 5,  105, 6,  106, 7,  107, 0, 0,
                                9, 109, 10, 110, 11, 111, 0, 0, 13, 113, 14, 114, 15, 115, 0, 0};
    EXPECT_EQ(Bytes(land, land + 32), expectedLand);
    EXPECT_EQ(land[32], 0xCD);

    BYTE sea[16 + 1];
    std::memset(sea, 0xCD, sizeof sea);
    Zumeld::PrepareSeaPlane(sea, low + 12, -12, 2, 2);
    const Bytes expectedSea = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(Bytes(sea, sea + 16), expectedSea);
    EXPECT_EQ(sea[16], 0xCD);
}

// ---- AddTexture -----------------------------------------------------------------------------

TEST(TextureSet, SlotHoldsReversedInterleavedPlanesAndParameters) {
    CCtrlElvMap map;
    tagTEXTURE_SET set;
    MakeSet(set, 7, 5);
    ASSERT_EQ(map.AddTexture(&set), 1);
    const tagTEXTURE_SLOT& s = map.m_textureSlots[4];
    EXPECT_EQ(s.nWidth, 7);
    EXPECT_EQ(s.nHeight, 5);
    EXPECT_EQ(s.nRowBytes, 28);
    EXPECT_EQ(s.nPlaneSize, 140);
    EXPECT_EQ(s.pSeaPixels, s.pLandPixels.get() + 280);
    EXPECT_EQ(s.nBlendElevation, 10);
    EXPECT_EQ(s.nFadeLineTop, 20);
    EXPECT_EQ(s.nFadeLineBottom, 30);
    EXPECT_EQ(LandPlane(s), ExpectedLand(7, 5, 1, 2));
    Bytes sea;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            for (int c = 0; c < 4; ++c) sea.push_back(Pattern(x, y, c, 3));
    EXPECT_EQ(SeaPlane(s), sea);
    EXPECT_FALSE(map.m_bFourSeasons[1]);
    for (int i = 5; i < 8; ++i) EXPECT_TRUE(map.m_textureSlots[i].pLandPixels == nullptr);
}

TEST(TextureSet, TwentyFourBitTextureMatchesItsThirtyTwoBitTwin) {
    // Random sizes: most widths give 24-bit rows with padding.
    zumeld_test::TestRandom rng(0x7E57);
    for (int round = 0; round < 4; ++round) {
        const int width = 1 + static_cast<int>(rng.Below(13));
        const int height = 1 + static_cast<int>(rng.Below(9));
        SCOPED_TRACE("seed " + std::to_string(rng.Seed()) + " round " + std::to_string(round) +
                     ": " + std::to_string(width) + " x " + std::to_string(height));
        tagTEXTURE_SET set24, set32;
        MakeSet(set24, width, height, 24);
        MakeSet(set32, width, height, 32);
        CCtrlElvMap map;
        ASSERT_EQ(map.AddTexture(&set24), 1);
        ASSERT_EQ(map.AddTexture(&set32), 2);
        const tagTEXTURE_SLOT& a = map.m_textureSlots[4];
        const tagTEXTURE_SLOT& b = map.m_textureSlots[8];
        ASSERT_EQ(a.nPlaneSize, b.nPlaneSize);
        EXPECT_EQ(LandPlane(a), LandPlane(b));
        EXPECT_EQ(LandPlane(a), ExpectedLand(width, height, 1, 2));
        for (int i = 0; i < a.nPlaneSize; ++i)
            if (i % 4 != 3) {
                ASSERT_EQ(a.pSeaPixels[i], b.pSeaPixels[i]) << "byte " << i;
            }
    }
}

TEST(TextureSet, ParametersBelowOneAreStoredAsOne) {
    struct Case {
        int given, stored;
    };
    for (const Case c : {Case{0, 1}, Case{-5, 1}, Case{INT_MIN, 1}, Case{1, 1}, Case{7, 7}}) {
        CCtrlElvMap map;
        tagTEXTURE_SET set;
        MakeSet(set, 2, 2);
        set.nBlendElevation[0] = set.nFadeLineTop[0] = set.nFadeLineBottom[0] = c.given;
        ASSERT_EQ(map.AddTexture(&set), 1);
        const tagTEXTURE_SLOT& s = map.m_textureSlots[4];
        EXPECT_EQ(s.nBlendElevation, c.stored) << c.given;
        EXPECT_EQ(s.nFadeLineTop, c.stored) << c.given;
        EXPECT_EQ(s.nFadeLineBottom, c.stored) << c.given;
    }
}

TEST(TextureSet, MismatchedHighOrSeaSizeGivesZeroPlane) {
    struct Case {
        std::string name;
        int highW, highH, seaW, seaH;
        bool landZero, seaZero;
    };
    const Case cases[] = {
        {"high narrower", 3, 4, 4, 4, true, false}, {"high taller", 4, 5, 4, 4, true, false},
        {"sea narrower", 4, 4, 3, 4, false, true},  {"sea empty", 4, 4, 0, 0, false, true},
        {"high empty", 0, 0, 4, 4, true, false},
    };
    for (const Case& c : cases) {
        CCtrlElvMap map;
        tagTEXTURE_SET set;
        MakePicture(set.bmpLow[0], 4, 4, 24, 1);
        if (c.highW > 0) MakePicture(set.bmpHigh[0], c.highW, c.highH, 24, 2);
        if (c.seaW > 0) MakePicture(set.bmpSea[0], c.seaW, c.seaH, 24, 3);
        ASSERT_EQ(map.AddTexture(&set), 1) << c.name;
        const tagTEXTURE_SLOT& s = map.m_textureSlots[4];
        EXPECT_EQ(LandPlane(s) == Bytes(32 * 4, 0), c.landZero) << c.name;
        EXPECT_EQ(SeaPlane(s) == Bytes(16 * 4, 0), c.seaZero) << c.name;
        if (!c.landZero) {
            EXPECT_EQ(LandPlane(s), ExpectedLand(4, 4, 1, 2)) << c.name;
        }
    }
}

TEST(TextureSet, SetsWithoutUsableLowTextureAreRefused) {
    struct Case {
        std::string name;
        void (*make)(tagTEXTURE_SET&);
    };
    const Case cases[] = {
        {"empty low", [](tagTEXTURE_SET& s) { MakePicture(s.bmpHigh[0], 2, 2, 32, 2); }},
        {"empty low in season 3",
         [](tagTEXTURE_SET& s) {
             s.dwFlags = 1;
             for (int i = 0; i < 3; ++i) {
                 MakePicture(s.bmpLow[i], 2, 2, 32, 1);
                 MakePicture(s.bmpHigh[i], 2, 2, 32, 2);
             }
         }},
    };
    for (const Case& c : cases) {
        CCtrlElvMap map;
        tagTEXTURE_SET set;
        c.make(set);
        EXPECT_EQ(map.AddTexture(&set), -1) << c.name;
        EXPECT_EQ(map.m_nTextureSetCount, 1) << c.name;
        for (int i = 4; i < 8; ++i) EXPECT_TRUE(map.m_textureSlots[i].pLandPixels == nullptr);
    }
    CCtrlElvMap map;
    EXPECT_EQ(map.AddTexture(nullptr), -1);
    EXPECT_EQ(map.m_nTextureSetCount, 1);
}

TEST(TextureSet, OnlyBitZeroOfFlagsSelectsFourSeasons) {
    struct Case {
        DWORD flags;
        bool four;
    };
    for (const Case c : {Case{1, true}, Case{3, true}, Case{2, false}, Case{0xFFFFFFFE, false}}) {
        CCtrlElvMap map;
        tagTEXTURE_SET set;
        set.dwFlags = c.flags;
        for (int s = 0; s < 4; ++s) {
            // Season s: (s + 2) x 3 pictures, seeds distinct per season.
            MakePicture(set.bmpLow[s], s + 2, 3, 24, 10 * s + 1);
            MakePicture(set.bmpHigh[s], s + 2, 3, 24, 10 * s + 2);
            MakePicture(set.bmpSea[s], s + 2, 3, 24, 10 * s + 3);
            set.nBlendElevation[s] = 100 + s;
        }
        ASSERT_EQ(map.AddTexture(&set), 1);
        EXPECT_EQ(map.m_bFourSeasons[1], c.four) << c.flags;
        for (int s = 0; s < 4; ++s) {
            const tagTEXTURE_SLOT& slot = map.m_textureSlots[4 + s];
            if (s > 0 && !c.four) {
                EXPECT_TRUE(slot.pLandPixels == nullptr);
                continue;
            }
            EXPECT_EQ(slot.nWidth, s + 2);
            EXPECT_EQ(slot.nBlendElevation, 100 + s);
            EXPECT_EQ(LandPlane(slot), ExpectedLand(s + 2, 3, 10 * s + 1, 10 * s + 2));
        }
    }
}

TEST(TextureSet, TableHoldsOneHundredSetsAndRestartsAfterRemoveAll) {
    CCtrlElvMap map;  // holds the default set as set 0
    tagTEXTURE_SET set;
    MakeSet(set, 2, 2);
    for (int i = 1; i <= 99; ++i) ASSERT_EQ(map.AddTexture(&set), i);
    EXPECT_EQ(map.AddTexture(&set), -1);
    EXPECT_EQ(map.m_nTextureSetCount, 100);
    map.SelectTexture(42);
    map.SetSeason(3);
    map.RemoveAllTexture();
    EXPECT_EQ(map.m_nTextureSetCount, 0);
    EXPECT_EQ(map.m_nSelectedTexture, 0);
    EXPECT_EQ(map.m_nSeason, 0);
    for (int i = 0; i < Zumeld::kTextureSlots; ++i)
        ASSERT_TRUE(map.m_textureSlots[i].pLandPixels == nullptr) << i;
    EXPECT_EQ(map.AddTexture(&set), 0);
    EXPECT_EQ(map.LoadDefaultTexture(), 1);
    EXPECT_EQ(map.m_nTextureSetCount, 2);
}

// ---- Seasons
// -------------------------------------------------------------------------------------

// The whole internal picture of a map after drawing with set `texture`, season `season`.
Bytes DrawPicture(CCtrlElvMap& map, int texture, int season) {
    map.SelectTexture(texture);
    map.SetSeason(season);
    map.m_bmpInternal.ClearBuffer();
    map.DrawAllMapOnBitmapBuffer(true, true, 0, false);
    const CControlBmp& bmp = map.m_bmpInternal;
    return Bytes(
        bmp.GetBufferPtr(),
        bmp.GetBufferPtr() + static_cast<std::size_t>(bmp.GetWidthBytes()) * bmp.GetHeight());
}

TEST(TextureSet, SeasonalSetDrawsSelectedSeasonAndOneTextureSetIgnoresSeason) {
    // Set 1: four seasons, each its own textures. Sets 2 to 5: season s of set 1 alone.
    CCtrlElvMap map;
    tagTEXTURE_SET seasonal;
    seasonal.dwFlags = 1;
    for (int s = 0; s < 4; ++s) {
        MakePicture(seasonal.bmpLow[s], 5, 4, 24, 10 * s + 1);
        MakePicture(seasonal.bmpHigh[s], 5, 4, 24, 10 * s + 2);
        MakePicture(seasonal.bmpSea[s], 5, 4, 24, 10 * s + 3);
        seasonal.nBlendElevation[s] = 400;
        seasonal.nFadeLineTop[s] = 20000;
        seasonal.nFadeLineBottom[s] = 20000;
    }
    ASSERT_EQ(map.AddTexture(&seasonal), 1);
    for (int s = 0; s < 4; ++s) {
        tagTEXTURE_SET single;
        single.bmpLow[0] = seasonal.bmpLow[s];
        single.bmpHigh[0] = seasonal.bmpHigh[s];
        single.bmpSea[0] = seasonal.bmpSea[s];
        single.nBlendElevation[0] = 400;
        single.nFadeLineTop[0] = single.nFadeLineBottom[0] = 20000;
        ASSERT_EQ(map.AddTexture(&single), 2 + s);
    }
    const short cells[6 * 4] = {0, 0,  10,  40,  90,  0,   0, 30, 200, 350, 500, 60,
                                5, 80, 300, 800, 450, 100, 0, 0,  70,  140, 20,  0};
    map.SetElevationData(6, 4, cells);
    map.StretchElevationData(0, 0, 6, 4, 15, 10);
    ASSERT_EQ(map.m_bmpInternal.GetWidth(), 15);

    std::vector<Bytes> bySeason;
    for (int s = 0; s < 4; ++s) {
        const Bytes seasonalPicture = DrawPicture(map, 1, s);
        for (int other = 0; other < 4; ++other)
            EXPECT_EQ(DrawPicture(map, 2 + s, other), seasonalPicture)
                << "season " << s << ", one-texture set drawn at season " << other;
        bySeason.push_back(seasonalPicture);
    }
    for (int s = 1; s < 4; ++s) EXPECT_NE(bySeason[s], bySeason[0]) << s;
}

// ---- The default textures ---------------------------------------------------------------------

struct DefaultTexture {
    int id;
    double mean[3];  // R, G, B
    double sd[3];
    int lo[3], hi[3];
};
constexpr DefaultTexture kDefaults[3] = {
    {2000, {72, 139, 38}, {4.8, 4.5, 4.2}, {50, 116, 20}, {91, 162, 57}},
    {2001, {128, 107, 22}, {6.0, 5.2, 3.7}, {103, 80, 7}, {149, 137, 43}},
    {2002, {50, 59, 85}, {2.4, 2.3, 1.7}, {43, 53, 80}, {56, 65, 89}},
};

// The resource as a 32-bit picture, through the calls the library itself makes.
void LoadResource(int id, CControlBmp& out) {
    LPCSTR name = MAKEINTRESOURCE(id);
    HBITMAP h = LoadBitmapA(AfxFindResourceHandle(name, RT_BITMAP), name);
    ASSERT_NE(h, nullptr) << id;
    out.CreateDuplicate(h, 32, 0, nullptr);
    DeleteObject(h);
    ASSERT_EQ(out.GetWidth(), 60);
    ASSERT_EQ(out.GetHeight(), 60);
    ASSERT_EQ(out.GetBitCount(), 32);
}

TEST(DefaultTextures, EmbeddedBitmapsHaveTheirColourStatistics) {
    for (const DefaultTexture& t : kDefaults) {
        CControlBmp bmp;
        LoadResource(t.id, bmp);
        for (int c = 0; c < 3; ++c) {
            const int byte = 2 - c;  // R, G, B live at bytes 2, 1, 0
            double sum = 0, sq = 0;
            int lo = 255, hi = 0;
            for (int i = 0; i < 3600; ++i) {
                const int v = bmp.GetBufferPtr()[i * 4 + byte];
                sum += v;
                sq += static_cast<double>(v) * v;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            const double mean = sum / 3600;
            const double sd = std::sqrt(sq / 3600 - mean * mean);
            SCOPED_TRACE(std::to_string(t.id) + " channel " + "RGB"[c]);
            EXPECT_NEAR(mean, t.mean[c], 0.5);
            EXPECT_NEAR(sd, t.sd[c], 0.3);
            EXPECT_EQ(lo, t.lo[c]);
            EXPECT_EQ(hi, t.hi[c]);
        }
    }
}

TEST(DefaultTextures, FilesAre24BitDibsOf10840BytesAfterTheFileHeader) {
    for (const DefaultTexture& t : kDefaults) {
        const std::string path =
            std::string(ZUMELD_SOURCE_DIR) + "/resources/" + std::to_string(t.id) + ".bmp";
        std::FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr) << path;
        Bytes file(20000);
        file.resize(std::fread(file.data(), 1, file.size(), f));
        std::fclose(f);
        ASSERT_EQ(file.size(), 14u + 10840u) << path;
        auto u32 = [&](int at) {
            return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24;
        };
        auto u16 = [&](int at) { return file[at] | file[at + 1] << 8; };
        EXPECT_EQ(u16(0), 0x4D42);
        EXPECT_EQ(u32(2), 10854);
        EXPECT_EQ(u32(10), 54);
        EXPECT_EQ(u32(14), 40);  // BITMAPINFOHEADER
        EXPECT_EQ(u32(18), 60);
        EXPECT_EQ(u32(22), 60);
        EXPECT_EQ(u16(26), 1);
        EXPECT_EQ(u16(28), 24);
        EXPECT_EQ(u32(30), 0);  // uncompressed
        EXPECT_EQ(u32(38), 3780);
        EXPECT_EQ(u32(42), 3780);
    }
}

TEST(DefaultTextures, NewMapSlotZeroIsTheThreeResourcesTopRowFirst) {
    CCtrlElvMap map;
    ASSERT_EQ(map.m_nTextureSetCount, 1);
    EXPECT_FALSE(map.m_bFourSeasons[0]);
    const tagTEXTURE_SLOT& s = map.m_textureSlots[0];
    EXPECT_EQ(s.nWidth, 60);
    EXPECT_EQ(s.nHeight, 60);
    EXPECT_EQ(s.nRowBytes, 240);
    EXPECT_EQ(s.nPlaneSize, 14400);
    EXPECT_EQ(s.nBlendElevation, 2000);
    EXPECT_EQ(s.nFadeLineTop, 2000);
    EXPECT_EQ(s.nFadeLineBottom, 2000);
    for (int i = 1; i < 4; ++i) EXPECT_TRUE(map.m_textureSlots[i].pLandPixels == nullptr);

    CControlBmp low, high, sea;
    LoadResource(2000, low);
    LoadResource(2001, high);
    LoadResource(2002, sea);
    // Slot row y is picture row y from the top, which is buffer row 59 - y.
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            const int src = ((59 - y) * 60 + x) * 4;
            const BYTE* land = s.pLandPixels.get() + (y * 60 + x) * 8;
            const BYTE* seaTexel = s.pSeaPixels + (y * 60 + x) * 4;
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(land[2 * c], low.GetBufferPtr()[src + c]) << x << "," << y;
                ASSERT_EQ(land[2 * c + 1], high.GetBufferPtr()[src + c]) << x << "," << y;
                ASSERT_EQ(seaTexel[c], sea.GetBufferPtr()[src + c]) << x << "," << y;
            }
            ASSERT_EQ(land[6], 0);
            ASSERT_EQ(land[7], 0);
        }
}

}  // namespace
