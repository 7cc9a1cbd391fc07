// The map's texture sets and drawing members: AddTexture's slot layout and refusals, the table's
// limits, seasons, the default textures; slot choice, dimming, the polygon span limit, the sea
// fill's set and season, the overlay picture's life from SetOverlapBitmap to the blends.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "render_test_support.h"
#include "test_random.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/render/TexturePrep.h"

using Quobel::CControlBmp;
using Zumeld::CCtrlElvMap;
using Zumeld::tagTEXTURE_SET;
using Zumeld::tagTEXTURE_SLOT;
using Bytes = std::vector<BYTE>;
using Ints = std::vector<int>;
using namespace render_test;

namespace {

// ---- Texture sets.

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

// ---- The drawing members of CCtrlElvMap: slot choice, dimming, the polygon span limit, the sea
// fill's set and season, the overlay picture's life from SetOverlapBitmap to the blends.

// Pixel (x, y), y = 0 the top, of a map's internal 24- or 32-bit buffer.
Texel PixelOf(const CCtrlElvMap& m, int x, int y) {
    const Quobel::CControlBmp& b = m.m_bmpInternal;
    const BYTE* p = b.GetBufferPtr() +
                    static_cast<std::ptrdiff_t>(b.GetHeight() - 1 - y) * b.GetWidthBytes() +
                    x * (b.GetBitCount() / 8);
    return {p[0], p[1], p[2]};
}

void Paint(CCtrlElvMap& m, BYTE value) {
    Quobel::CControlBmp& b = m.m_bmpInternal;
    std::fill(b.GetBufferPtr(), b.GetBufferPtr() + b.GetWidthBytes() * b.GetHeight(), value);
}

bool Untouched(const CCtrlElvMap& m, BYTE value) {
    const Quobel::CControlBmp& b = m.m_bmpInternal;
    return std::all_of(b.GetBufferPtr(), b.GetBufferPtr() + b.GetWidthBytes() * b.GetHeight(),
                       [value](BYTE v) { return v == value; });
}

// A map of w x h cells from a function, shown whole at one pixel a cell.
template <typename Fn>
void MakeMap(CCtrlElvMap& m, int w, int h, Fn cell) {
    std::vector<short> cells(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) cells[static_cast<size_t>(y) * w + x] = cell(x, y);
    m.SetElevationData(w, h, cells.data());
    m.StretchElevationData(0, 0, w, h, w, h);
    ASSERT_NE(m.m_bmpInternal.GetBufferPtr(), nullptr);
}

TEST(RenderMembers, DimDrawsLandAtThreeQuartersAndKeepsTheSea) {
    CCtrlElvMap m;
    MakeMap(m, 16, 8, [](int x, int y) { return short((x + y) % 4 == 0 ? 0 : 300 * x + 7 * y); });
    m.DrawAllMapOnBitmapBuffer(true, true, 0, false);
    std::vector<Texel> bright;
    for (int i = 0; i < 16 * 8; ++i) bright.push_back(PixelOf(m, i % 16, i / 16));
    m.DrawAllMapOnBitmapBuffer(true, true, 0, true);
    auto dim = [](BYTE v) { return BYTE(v - v / 4); };
    for (int i = 0; i < 16 * 8; ++i) {
        const int x = i % 16, y = i / 16;
        const Texel a = bright[i], d{dim(a.b), dim(a.g), dim(a.r)};
        EXPECT_EQ(PixelOf(m, x, y), (x + y) % 4 == 0 ? a : d) << x << "," << y;
    }
}

TEST(RenderMembers, DrawsOnlyWithALiveSlotAndADisplayArea) {
    // Drawn, and sea filled, after each change; the sea fill always uses set 0, so a selection
    // out of range does not stop it. 1: a one-texture set ignores the season; 2: no sets; 3:
    // no set 1; 4: four seasons, season out of range; 5: the display marked stale.
    const std::pair<bool, bool> drawnAndFilled[] = {{true, true},  {true, true},   {false, false},
                                                    {false, true}, {false, false}, {false, false}};
    for (int what = 0; what < 6; ++what) {
        CCtrlElvMap m;
        MakeMap(m, 6, 5, [](int x, int y) { return short(x * 100 + y); });
        if (what == 1) m.SetSeason(7);
        if (what == 2) m.RemoveAllTexture();
        if (what == 3) m.SelectTexture(1);
        if (what == 4) {
            m.m_bFourSeasons[0] = true;
            for (int s = 1; s < 4; ++s) m.m_textureSlots[s] = m.m_textureSlots[0];
            m.SetSeason(4);
        }
        if (what == 5) m.ElevationDataModified();
        Paint(m, 0x11);
        m.DrawAllMapOnBitmapBuffer(true, true, 0, false);
        EXPECT_EQ(!Untouched(m, 0x11), drawnAndFilled[what].first) << what;
        Paint(m, 0x11);
        m.FillSeaColorOnBitmapBuffer();
        EXPECT_EQ(!Untouched(m, 0x11), drawnAndFilled[what].second) << "sea fill, " << what;
    }
}

TEST(RenderMembers, PolygonDrawsAtMostTwentyThousandSpans) {
    // A rectangle over a 2 x 25,000 display: the spans past the first 20,000 stay undrawn.
    CCtrlElvMap m;
    MakeMap(m, 2, 25000, [](int, int) { return short(500); });
    Paint(m, 0x11);
    tagPOINT pts[4] = {{0, 0}, {1, 0}, {1, 24999}, {0, 24999}};
    m.DrawPolygonOnBitmapBuffer(pts, 4, 0, false, false, 0x00FFFFFF, true);
    for (int y = 0; y < 25000; y += 7) ASSERT_EQ(PixelOf(m, 0, y).g == 255, y < 20000) << y;
    EXPECT_EQ(PixelOf(m, 0, 20000).g, 0x11);
}

TEST(RenderMembers, SeaFillUsesSetZeroInTheSelectedSeason) {
    CCtrlElvMap m;
    MakeMap(m, 7, 3, [](int x, int) { return short(x * 50); });
    // Set 1: a uniform sea of another colour, selected.
    m.m_textureSlots[4] = UniformSlot({1, 2, 3}, {4, 5, 6}, {90, 91, 92});
    m.m_nTextureSetCount = 2;
    m.SelectTexture(1);
    Paint(m, 0x11);
    m.FillSeaColorOnBitmapBuffer();
    for (int i = 0; i < 7 * 3; ++i) {
        const BYTE* t = m.m_textureSlots[0].pSeaPixels + i / 7 * 240 + 4 * (i % 7);
        EXPECT_EQ(PixelOf(m, i % 7, i / 7), (Texel{t[0], t[1], t[2]})) << i;
    }
    // The renderer draws with set 1: its sea pixels (column 0) take set 1's sea.
    m.DrawAllMapOnBitmapBuffer(false, true, 0, false);
    EXPECT_EQ(PixelOf(m, 0, 1), (Texel{90, 91, 92}));
    // A four-season set 0: the fill follows the season.
    m.m_bFourSeasons[0] = true;
    for (int s = 0; s < 4; ++s)
        m.m_textureSlots[s] = UniformSlot({}, {}, {BYTE(10 * s), BYTE(10 * s + 1), 7});
    for (int season = 0; season < 4; ++season) {
        m.SetSeason(season);
        m.FillSeaColorOnBitmapBuffer();
        EXPECT_EQ(PixelOf(m, 3, 1), (Texel{BYTE(10 * season), BYTE(10 * season + 1), 7}));
    }
}

// The overlay picture's parameters, width, height and row bytes.
Ints Overlap(const CCtrlElvMap& m) {
    return {m.m_nOverlapParam1, m.m_nOverlapParam2, m.m_nOverlapWidth, m.m_nOverlapHeight,
            m.m_nOverlapRowBytes};
}

// A picture whose pixel (x, y) is (x, y, 200), y = 0 the top.
void MakeOverlay(Quobel::CControlBmp& pic, int w, int h, int bits = 32) {
    ASSERT_TRUE(pic.CreateBitmap(w, h, bits, 0, nullptr));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = pic.GetBufferPtr() + std::ptrdiff_t(h - 1 - y) * pic.GetWidthBytes();
            std::memcpy(p + x * bits / 8, std::array<BYTE, 3>{BYTE(x), BYTE(y), 200}.data(), 3);
        }
}

TEST(RenderMembers, SetOverlapBitmapKeepsATopFirstCopy) {
    CCtrlElvMap m;
    Quobel::CControlBmp pic;
    MakeOverlay(pic, 5, 3, 24);
    m.SetOverlapBitmap(pic.GetHbmp(), 17, -4);
    ASSERT_NE(m.m_pOverlapPixels.get(), nullptr);
    EXPECT_EQ(Overlap(m), (Ints{17, -4, 5, 3, 20}));
    for (int i = 0; i < 15; ++i) {
        const BYTE* p = m.m_pOverlapPixels.get() + i * 4;
        EXPECT_EQ((Texel{p[0], p[1], p[2]}), (Texel{BYTE(i % 5), BYTE(i / 5), 200})) << i;
    }
    // A handle that cannot be converted: no picture, sizes 0.
    m.SetOverlapBitmap(reinterpret_cast<HBITMAP>(static_cast<std::uintptr_t>(0x7777)), 3, 4);
    EXPECT_EQ(m.m_pOverlapPixels.get(), nullptr);
    EXPECT_EQ(Overlap(m), (Ints{3, 4, 0, 0, 0}));
}

TEST(RenderMembers, BlendsFollowThePictureOnlyThroughAStretch) {
    CCtrlElvMap m;
    MakeMap(m, 6, 4, [](int, int) { return short(0); });
    Quobel::CControlBmp pic;
    MakeOverlay(pic, 6, 4);
    m.SetOverlapBitmap(pic.GetHbmp(), 0, 0);
    m.StretchElevationData(0, 0, 6, 4, 6, 4);  // same arguments: answered from the cache
    EXPECT_EQ(m.m_pDisplayOverlap.get(), nullptr);
    m.ElevationDataModified();
    m.StretchElevationData(0, 0, 6, 4, 6, 4);
    ASSERT_NE(m.m_pDisplayOverlap.get(), nullptr);

    auto blendOver100 = [&](auto... rect) {
        Paint(m, 100);
        m.OverlapPictureOnBitmapBuffer(rect...);
    };
    blendOver100();  // whole form: (x + 100) / 2, (y + 100) / 2, 150
    EXPECT_EQ(PixelOf(m, 5, 3), (Texel{52, 51, 150}));
    blendOver100(-2, -1, 4, 3);  // rectangle form, cut at the left and top: x / 2 + 50
    EXPECT_EQ(PixelOf(m, 1, 1), (Texel{50, 50, 150}));
    EXPECT_EQ(PixelOf(m, 2, 1), (Texel{100, 100, 100}));
    // A null bitmap without a new stretch: the previous display overlay still blends.
    m.SetOverlapBitmap(nullptr, 0, 0);
    blendOver100();
    EXPECT_EQ(PixelOf(m, 0, 0), (Texel{50, 50, 150}));
    // After a stretch that resamples, there is nothing to blend.
    m.StretchElevationData(0, 0, 6, 4, 12, 8);
    blendOver100();
    m.OverlapPictureOnBitmapBuffer(0, 0, 12, 8);
    EXPECT_TRUE(Untouched(m, 100));
}

// The whole map drawn from its grid: the grid holds the cells the display copy would, margin
// included, so the pictures match on maps of every small size; an overlay picture needs the
// copy and is refused.
TEST(RenderMembers, WholeMapFromItsGridDrawsAsFromTheCopy) {
    zumeld_test::TestRandom rnd(20261207);
    for (int round = 0; round < 40; ++round) {
        const int w = rnd.Between(1, 40), h = rnd.Between(1, 40);
        std::vector<short> cells(static_cast<size_t>(w) * h);
        for (short& c : cells) c = short(rnd.Chance(30) ? 0 : rnd.Range(-50, 3000));
        CCtrlElvMap copied, shared;
        MakeMap(copied, w, h, [&](int x, int y) { return cells[size_t(y) * w + x]; });
        shared.SetElevationData(w, h, cells.data());
        ASSERT_TRUE(Zumeld::ShowWholeMapFromGrid(shared));
        ASSERT_EQ(shared.m_pDisplayElevation.get(), shared.m_pElevation.get());
        const size_t held = size_t(w + 1) * (h + 1);
        EXPECT_TRUE(std::equal(copied.m_pDisplayElevation.get(),
                               copied.m_pDisplayElevation.get() + held, shared.m_pElevation.get()))
            << "seed " << rnd.Seed() << " round " << round;
        copied.DrawAllMapOnBitmapBuffer(true, true, 0, false);
        shared.DrawAllMapOnBitmapBuffer(true, true, 0, false);
        const Quobel::CControlBmp &a = copied.m_bmpInternal, &b = shared.m_bmpInternal;
        ASSERT_EQ(a.GetWidthBytes() * a.GetHeight(), b.GetWidthBytes() * b.GetHeight());
        EXPECT_TRUE(std::equal(a.GetBufferPtr(),
                               a.GetBufferPtr() + a.GetWidthBytes() * a.GetHeight(),
                               b.GetBufferPtr()))
            << "seed " << rnd.Seed() << " round " << round;
    }
    CCtrlElvMap m;
    MakeMap(m, 6, 4, [](int x, int) { return short(x); });
    Quobel::CControlBmp pic;
    MakeOverlay(pic, 6, 4);
    m.SetOverlapBitmap(pic.GetHbmp(), 0, 0);
    const short* before = m.m_pDisplayElevation.get();
    EXPECT_FALSE(Zumeld::ShowWholeMapFromGrid(m));
    EXPECT_EQ(m.m_pDisplayElevation.get(), before);
}

}  // namespace
