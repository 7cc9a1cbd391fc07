// Elevation resampling: the kernels (copy, point sampling, fixed-point bilinear enlargement,
// edge repetition, overlay) against worked examples and independent formulas, and the map's
// StretchElevationData members: cache, display fields, target buffer, refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "test_random.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/transform/Resample.h"

namespace {

using Zumeld::GridView;
using Zumeld::ResampleArea;
using Zumeld::ResampleTarget;

// A map grid with its margin column and row (repeating the last map column and row) and a
// row stride three cells wider than that, so a wrong stride shows.
struct MapGrid {
    int width, height;
    std::ptrdiff_t stride;
    std::vector<short> cells;
    MapGrid(int w, int h)
        : width(w),
          height(h),
          stride(w + 4),
          cells(static_cast<std::size_t>((w + 4) * (h + 1)), -999) {}
    short& At(int x, int y) { return cells[static_cast<std::size_t>(y * stride + x)]; }
    short Cell(std::int64_t x, std::int64_t y) const {
        return cells[static_cast<std::size_t>(y * stride + x)];
    }
    void FillMargin() {
        for (int y = 0; y < height; ++y) At(width, y) = At(width - 1, y);
        for (int x = 0; x <= width; ++x) At(x, height) = At(x, height - 1);
    }
    GridView View() const { return {cells.data(), stride, width, height}; }
};

MapGrid RandomMap(zumeld_test::TestRandom& rng, int w, int h, int lo, int hi) {
    MapGrid g(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) g.At(x, y) = static_cast<short>(rng.Range(lo, hi));
    g.FillMargin();
    return g;
}

std::vector<short> Resample(const MapGrid& g, const ResampleArea& a, const ResampleTarget& t) {
    std::vector<short> out(static_cast<std::size_t>(t.width) * t.height, 12345);
    EXPECT_TRUE(Zumeld::ResampleElevation(g.View(), a, t, out.data()));
    return out;
}

ResampleTarget DisplayGrid(const MapGrid& g, const ResampleArea& a) {
    ResampleTarget t;
    EXPECT_TRUE(Zumeld::DisplayGridFor(g.View(), a, &t));
    return t;
}

// The bilinear value from its definition, without stepping: low 16 bits of
// floor((S * k + 2^31) / 2^32), S from the div/mod positions, in 128-bit arithmetic.
short BilinearFormula(const MapGrid& g, const ResampleArea& a, std::int64_t i, std::int64_t j) {
    const std::int64_t sw = a.srcWidth, sh = a.srcHeight, dw = a.dispWidth, dh = a.dispHeight;
    const std::int64_t cx = i * sw / dw, fx = i * sw % dw, cy = j * sh / dh, fy = j * sh % dh;
    const std::int64_t x = a.left + cx, y = a.top + cy;
    const __int128 lv = __int128{g.Cell(x, y)} * (dh - fy) + __int128{g.Cell(x, y + 1)} * fy;
    const __int128 rv =
        __int128{g.Cell(x + 1, y)} * (dh - fy) + __int128{g.Cell(x + 1, y + 1)} * fy;
    const __int128 s = lv * (dw - fx) + rv * fx;
    const __int128 product = __int128{dw} * dh;
    const __int128 k = product == 1 ? 0xFFFFFFFF : (__int128{1} << 32) / product;
    return static_cast<short>(static_cast<std::uint16_t>(
        static_cast<std::uint64_t>((s * k + (__int128{1} << 31)) >> 32)));
}

TEST(Resample, TwoByTwoMapAtFourByFourInterpolatesAndRepeatsPastTheEdge) {
    MapGrid g(2, 2);
    g.At(0, 0) = g.At(0, 1) = 0;
    g.At(1, 0) = g.At(1, 1) = 100;
    g.FillMargin();
    const ResampleArea a{0, 0, 2, 2, 4, 4};
    const ResampleTarget t = DisplayGrid(g, a);
    EXPECT_EQ((std::vector<int>{t.width, t.height, t.fillWidth, t.fillHeight}),
              (std::vector<int>{6, 6, 4, 4}));
    const auto out = Resample(g, a, t);
    for (int j = 0; j < 6; ++j)
        EXPECT_EQ(std::vector<short>(out.begin() + j * 6, out.begin() + j * 6 + 6),
                  (std::vector<short>{0, 50, 100, 100, 100, 100}))
            << "row " << j;
}

TEST(Resample, ConstantAreaReadsSlightlyLowBecauseTheReciprocalRoundsDown) {
    MapGrid g(2, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) g.At(x, y) = 30000;
    g.FillMargin();
    const ResampleArea a{0, 0, 2, 2, 800, 600};
    const ResampleTarget t = DisplayGrid(g, a);
    EXPECT_EQ(t.width, 1200);
    EXPECT_EQ(t.height, 900);
    const auto out = Resample(g, a, t);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](short v) { return v == 29997; }));
}

TEST(Resample, PointSamplingTakesTheDivisionPositions) {
    zumeld_test::TestRandom rng(0x4a4);
    const MapGrid g = RandomMap(rng, 9, 9, -32768, 32767);
    struct Case {
        const char* name;
        ResampleArea area;
    } cases[] = {
        {"halved", {2, 3, 4, 4, 2, 2}},
        {"wider but lower", {1, 2, 4, 4, 8, 3}},
        {"taller but narrower", {0, 0, 5, 3, 2, 7}},
        {"odd reduction", {0, 1, 9, 8, 4, 3}},
    };
    for (const Case& c : cases) {
        const ResampleArea& a = c.area;
        const ResampleTarget t{a.dispWidth, a.dispHeight, a.dispWidth, a.dispHeight};
        const auto out = Resample(g, a, t);
        for (int j = 0; j < a.dispHeight; ++j)
            for (int i = 0; i < a.dispWidth; ++i)
                ASSERT_EQ(out[j * a.dispWidth + i],
                          g.Cell(a.left + std::int64_t{i} * a.srcWidth / a.dispWidth,
                                 a.top + std::int64_t{j} * a.srcHeight / a.dispHeight))
                    << c.name << " cell " << i << "," << j;
    }
    // 8 x 3 from 4 x 4: column i takes map column x + i div 2, row j map row y + j * 4 div 3.
    const auto out = Resample(g, {1, 2, 4, 4, 8, 3}, {8, 3, 8, 3});
    EXPECT_EQ(out[1 * 8 + 5], g.Cell(1 + 2, 2 + 1));
    EXPECT_EQ(out[2 * 8 + 7], g.Cell(1 + 3, 2 + 2));
}

TEST(Resample, CopyModeReproducesTheCellsWithARealMargin) {
    zumeld_test::TestRandom rng(0xc09);
    const MapGrid g = RandomMap(rng, 7, 5, -32768, 32767);
    const ResampleArea a{1, 1, 4, 3, 4, 3};
    const ResampleTarget t = DisplayGrid(g, a);
    ASSERT_EQ(t.width, 5);
    ASSERT_EQ(t.fillWidth, 5) << "the margin column lies on the map";
    ASSERT_EQ(t.height, 4);
    const auto out = Resample(g, a, t);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(out[j * 5 + i], g.Cell(1 + i, 1 + j)) << i << "," << j;
}

TEST(Resample, AreaPastTheRightEdgeComputesOnlyWhatFitsAndRepeats) {
    zumeld_test::TestRandom rng(0xed6e);
    const MapGrid g = RandomMap(rng, 10, 10, 0, 1000);
    const ResampleArea a{8, 0, 4, 10, 8, 10};  // wider only: point sampling
    const ResampleTarget t = DisplayGrid(g, a);
    EXPECT_EQ((std::vector<int>{t.width, t.height, t.fillWidth, t.fillHeight}),
              (std::vector<int>{10, 11, 4, 10}));
    const auto out = Resample(g, a, t);
    for (int j = 0; j < 11; ++j) {
        const int src = std::min(j, 9);  // the row past the fill repeats row 9
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(out[j * 10 + i], g.Cell(8 + std::min(i, 3) / 2, src)) << i << "," << j;
    }
}

TEST(Resample, BilinearMatchesTheFormulaInsideAndOutsideThePackedLimits) {
    zumeld_test::TestRandom rng(0xb111);
    struct Range {
        const char* name;
        int lo, hi;                        // elevations
        int maxDispW, minDispH, maxDispH;  // display sizes (above the source sizes)
        int maxFill;                       // cap on the computed cells per axis
    } ranges[] = {
        {"packed limits", 0, 32767, 400, 2, 400, 100},
        {"negative elevations", -32768, 32767, 400, 2, 400, 100},
        {"beyond the packed limits", -32768, 32767, 9000, 32768, 60000, 40},
    };
    for (const Range& r : ranges) {
        for (int iter = 0; iter < 100; ++iter) {
            const int mw = static_cast<int>(rng.Range(2, 12)),
                      mh = static_cast<int>(rng.Range(2, 12));
            const MapGrid g = RandomMap(rng, mw, mh, r.lo, r.hi);
            ResampleArea a;
            a.left = static_cast<int>(rng.Range(0, mw - 1));
            a.top = static_cast<int>(rng.Range(0, mh - 1));
            a.srcWidth = static_cast<int>(rng.Range(1, mw));
            a.srcHeight = static_cast<int>(rng.Range(1, mh));
            a.dispWidth = static_cast<int>(rng.Range(a.srcWidth + 1, r.maxDispW));
            a.dispHeight =
                static_cast<int>(rng.Range(std::max(a.srcHeight + 1, r.minDispH), r.maxDispH));
            ResampleTarget t;
            ASSERT_TRUE(Zumeld::DisplayGridFor(g.View(), a, &t));
            t.fillWidth = std::min(t.fillWidth, r.maxFill);
            t.fillHeight = std::min(t.fillHeight, r.maxFill);
            t.width = t.fillWidth + 2;
            t.height = t.fillHeight + 1;
            const auto out = Resample(g, a, t);
            for (int j = 0; j < t.fillHeight; ++j)
                for (int i = 0; i < t.fillWidth; ++i)
                    ASSERT_EQ(out[static_cast<std::size_t>(j) * t.width + i],
                              BilinearFormula(g, a, i, j))
                        << r.name << " seed " << rng.Seed() << " iteration " << iter << " cell "
                        << i << "," << j;
        }
    }
}


TEST(Resample, CallsOutsideTheContractAreRefused) {
    zumeld_test::TestRandom rng(1);
    const MapGrid g = RandomMap(rng, 6, 4, 0, 9);
    const GridView v = g.View();
    struct Case {
        const char* name;
        GridView grid;
        ResampleArea area;
        ResampleTarget target;
    } cases[] = {
        {"no grid", GridView{}, {0, 0, 2, 2, 4, 4}, {6, 6, 4, 4}},
        {"stride without margin",
         GridView{g.cells.data(), 6, 6, 4},
         {0, 0, 2, 2, 2, 2},
         {2, 2, 2, 2}},
        {"negative left", v, {-1, 0, 2, 2, 4, 4}, {6, 6, 4, 4}},
        {"negative top", v, {0, -1, 2, 2, 4, 4}, {6, 6, 4, 4}},
        {"source width 0", v, {0, 0, 0, 2, 4, 4}, {6, 6, 4, 4}},
        {"display height 0", v, {0, 0, 2, 2, 4, 0}, {6, 6, 4, 4}},
        {"fill width 0", v, {0, 0, 2, 2, 4, 4}, {6, 6, 0, 4}},
        {"fill wider than the buffer", v, {0, 0, 2, 2, 4, 4}, {6, 6, 7, 4}},
        {"fill taller than the buffer", v, {0, 0, 2, 2, 4, 4}, {6, 3, 4, 4}},
        {"last column off the map", v, {4, 0, 2, 2, 4, 4}, {6, 6, 5, 4}},
        {"last row off the map", v, {0, 3, 2, 2, 4, 4}, {6, 6, 4, 3}},
        {"area right of the map", v, {6, 0, 1, 1, 1, 1}, {1, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        std::vector<short> out(64, 7);
        EXPECT_FALSE(Zumeld::CanResample(c.grid, c.area, c.target)) << c.name;
        EXPECT_FALSE(Zumeld::ResampleElevation(c.grid, c.area, c.target, out.data())) << c.name;
        EXPECT_EQ(out[0], 7) << c.name;
    }
    // The display grid needs at least one display column and row on the map.
    ResampleTarget t{-1, -1, -1, -1};
    EXPECT_FALSE(Zumeld::DisplayGridFor(v, {6, 0, 2, 2, 4, 4}, &t));
    EXPECT_FALSE(Zumeld::DisplayGridFor(v, {5, 0, 3, 2, 2, 4}, &t)) << "1 x 2 / 3 < 1 column";
    EXPECT_FALSE(Zumeld::DisplayGridFor(v, {0, 0, 2, 2, 0x7FFFFFFF, 4}, &t)) << "row too long";
    EXPECT_EQ(t.width, -1);
    EXPECT_TRUE(Zumeld::DisplayGridFor(v, {5, 0, 2, 2, 2, 4}, &t)) << "1 x 2 / 2 = 1 column";
    EXPECT_EQ(t.fillWidth, 1);
}

TEST(Resample, OverlayFitFollowsWhereThePictureEnds) {
    struct Case {
        const char* name;
        int pictureW, pictureH;
        ResampleArea area;
        Zumeld::OverlayFit expected;  // sw, sh, dw, dh
    } cases[] = {
        {"covers the area", 10, 10, {2, 2, 4, 4, 8, 6}, {4, 4, 8, 6}},
        {"ends inside the area", 5, 10, {2, 2, 4, 4, 8, 6}, {3, 4, 6, 6}},
        {"ends inside, rounding down", 10, 5, {0, 2, 4, 4, 8, 6}, {4, 3, 8, 4}},
        {"ends at the area's left", 2, 10, {2, 2, 4, 4, 8, 6}, {0, 4, 0, 6}},
        {"ends left of the area", 1, 10, {3, 2, 4, 4, 8, 6}, {-2, 4, -4, 6}},
    };
    for (const Case& c : cases) {
        const auto f = Zumeld::FitDisplayOverlay(c.pictureW, c.pictureH, c.area);
        EXPECT_EQ((std::vector<int>{f.srcWidth, f.srcHeight, f.width, f.height}),
                  (std::vector<int>{c.expected.srcWidth, c.expected.srcHeight, c.expected.width,
                                    c.expected.height}))
            << c.name;
    }
}

TEST(Resample, OverlayPixelsAreTakenWholeAtTheDivisionPositions) {
    // 5 x 4 picture, pixel (x, y) = bytes {x, y, 10 x + y, 0xEE}.
    std::vector<BYTE> pic(5 * 4 * 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            BYTE* p = &pic[(y * 5 + x) * 4];
            p[0] = static_cast<BYTE>(x), p[1] = static_cast<BYTE>(y),
            p[2] = static_cast<BYTE>(10 * x + y), p[3] = 0xEE;
        }
    const Zumeld::OverlayView view{pic.data(), 20, 5, 4};
    const ResampleArea a{2, 1, 4, 2, 9, 3};  // the picture ends after 3 columns: dw = 3 * 9 / 4 = 6
    std::vector<BYTE> out(6 * 3 * 4 + 4, 0x55);
    ASSERT_TRUE(Zumeld::ResampleOverlay(view, a, out.data()));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 6; ++c) {
            const int x = 2 + c * 3 / 6, y = 1 + r * 2 / 3;
            const BYTE* p = &out[(r * 6 + c) * 4];
            EXPECT_EQ((std::vector<int>{p[0], p[1], p[2], p[3]}),
                      (std::vector<int>{x, y, 10 * x + y, 0xEE}))
                << c << "," << r;
        }
    EXPECT_EQ(out[6 * 3 * 4], 0x55) << "nothing past the display overlay";
    EXPECT_FALSE(Zumeld::ResampleOverlay(view, {5, 0, 2, 2, 4, 4}, out.data()))
        << "picture ends at left";
    EXPECT_FALSE(Zumeld::ResampleOverlay(Zumeld::OverlayView{}, a, out.data()));
}


class StretchMember : public ::testing::Test {
  protected:
    // A 2 x 2 map: left column 0, right column 100.
    void SetUp() override {
        const short cells[] = {0, 100, 0, 100};
        map.SetElevationData(2, 2, cells);
    }
    int BmpWidth() const { return map.m_pBmp->GetWidth(); }
    int BmpHeight() const { return map.m_pBmp->GetHeight(); }
    std::vector<short> DisplayRow(int j) const {
        const short* p = map.m_pDisplayElevation.get() + j * map.m_nDisplayBufferWidth;
        return std::vector<short>(p, p + map.m_nDisplayBufferWidth);
    }
    Zumeld::CCtrlElvMap map;
};

TEST_F(StretchMember, BuildsTheDisplayGridAndSizesTheTarget) {
    map.StretchElevationData(0, 0, 2, 2, 4, 4);
    ASSERT_TRUE(map.m_pDisplayElevation);
    EXPECT_EQ(DisplayRow(0), (std::vector<short>{0, 50, 100, 100, 100, 100}));
    EXPECT_EQ(map.m_dDisplayScale, 2.0);
    EXPECT_EQ((std::vector<int>{map.m_nDisplayBufferWidth, map.m_nDisplayBufferHeight,
                                map.m_nDisplayRowBytes, map.m_nDisplayWidth, map.m_nDisplayHeight,
                                BmpWidth(), BmpHeight(), map.m_pBmp->GetBitCount()}),
              (std::vector<int>{6, 6, 12, 4, 4, 4, 4, 24}));
}

TEST_F(StretchMember, SameArgumentsReuseTheGridButRecreateTheTarget) {
    map.StretchElevationData(0, 0, 2, 2, 4, 4);
    const short* grid = map.m_pDisplayElevation.get();
    map.m_pElevation[1] = 200;  // not announced with ElevationDataModified
    map.m_pBmp->CreateBitmap(1, 1, 32, 0, nullptr);
    map.StretchElevationData(0, 0, 2, 2, 4, 4);
    EXPECT_EQ(map.m_pDisplayElevation.get(), grid);
    EXPECT_EQ(DisplayRow(0)[2], 100) << "nothing resampled";
    EXPECT_EQ(BmpWidth(), 4);
    EXPECT_EQ(map.m_pBmp->GetBitCount(), 24);

    map.ElevationDataModified();
    map.StretchElevationData(0, 0, 2, 2, 4, 4);
    EXPECT_EQ(DisplayRow(0)[2], 200) << "rebuilt after ElevationDataModified";
}

TEST_F(StretchMember, CallsOutsideTheContractChangeNothing) {
    map.StretchElevationData(0, 0, 2, 2, 4, 4);
    const short* grid = map.m_pDisplayElevation.get();
    map.m_pBmp->CreateBitmap(3, 3, 24, 0, nullptr);
    const int bad[][6] = {{-1, 0, 2, 2, 4, 4}, {0, -1, 2, 2, 4, 4}, {0, 0, 0, 2, 4, 4},
                          {0, 0, 2, 2, 4, 0},  {2, 0, 2, 2, 4, 4},  {1, 0, 4, 2, 2, 4},
                          {0, 0, 2, -3, 4, 4}};
    for (const auto& b : bad) {
        map.StretchElevationData(b[0], b[1], b[2], b[3], b[4], b[5]);
        EXPECT_EQ(map.m_pDisplayElevation.get(), grid);
        EXPECT_EQ(map.m_nDisplayWidth, 4);
        EXPECT_EQ(map.m_nStretchWidth, 2);
        EXPECT_EQ(BmpWidth(), 3) << "target untouched";
    }
    Zumeld::CCtrlElvMap empty;
    empty.StretchElevationData(0, 0, 1, 1, 1, 1);
    EXPECT_FALSE(empty.m_pDisplayElevation);
    EXPECT_EQ(empty.m_nDisplayWidth, 0);
}

TEST_F(StretchMember, TenArgumentFormReturnsAnOwnedGridOrNull) {
    std::unique_ptr<short[]> cells(map.StretchElevationData(0, 0, 2, 2, 4, 4, 7, 5, 4, 4));
    ASSERT_TRUE(cells);
    const short row0[] = {0, 50, 100, 100, 100, 100, 100};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(cells[i], row0[i]) << i;
    EXPECT_EQ(cells[4 * 7 + 1], 50) << "row past the fill repeats";
    EXPECT_FALSE(map.m_pDisplayElevation) << "the object is not changed";
    EXPECT_EQ(map.StretchElevationData(0, 0, 2, 2, 4, 4, 6, 6, 0, 4), nullptr);
    EXPECT_EQ(map.StretchElevationData(0, 0, 2, 2, 4, 4, 6, 6, 5, 4), nullptr)
        << "column off the map";
    EXPECT_EQ(map.StretchElevationData(-1, 0, 2, 2, 4, 4, 6, 6, 4, 4), nullptr);
}

TEST_F(StretchMember, DisplayOverlayFollowsThePicture) {
    // A 2 x 2 picture of pixels {x, y, 0, 0}.
    auto pic = Zumeld::SharedBlock<BYTE>::AllocateZeroed(16);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            pic[(y * 2 + x) * 4] = static_cast<BYTE>(x),
                              pic[(y * 2 + x) * 4 + 1] = static_cast<BYTE>(y);
    map.m_pOverlapPixels = pic;
    map.m_nOverlapWidth = 2;
    map.m_nOverlapHeight = 2;
    map.m_nOverlapRowBytes = 8;

    map.StretchElevationData(1, 0, 1, 2, 3, 4);  // picture covers the area
    ASSERT_TRUE(map.m_pDisplayOverlap);
    EXPECT_EQ((std::vector<int>{map.m_nDisplayOverlapWidth, map.m_nDisplayOverlapHeight,
                                map.m_nDisplayOverlapRowBytes}),
              (std::vector<int>{3, 4, 12}));
    EXPECT_EQ(map.m_pDisplayOverlap[(3 * 3 + 2) * 4], 1);      // x
    EXPECT_EQ(map.m_pDisplayOverlap[(3 * 3 + 2) * 4 + 1], 1);  // y = 3 * 2 / 4

    map.m_nOverlapWidth = 1;  // the picture ends left of the area
    map.m_nOverlapRowBytes = 4;
    map.StretchElevationData(1, 0, 1, 2, 4, 4);
    EXPECT_FALSE(map.m_pDisplayOverlap);
    EXPECT_EQ(map.m_nDisplayOverlapWidth, 0);

    map.m_pOverlapPixels.reset();  // no picture: the sizes keep their values
    map.StretchElevationData(0, 0, 2, 2, 4, 4);
    EXPECT_FALSE(map.m_pDisplayOverlap);
    EXPECT_EQ(map.m_nDisplayOverlapWidth, 0);
    EXPECT_EQ(map.m_nDisplayOverlapHeight, 4);
}

}  // namespace
