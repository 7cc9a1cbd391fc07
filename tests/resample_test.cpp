// Elevation resampling: the kernels (copy, point sampling, fixed-point bilinear enlargement,
// edge repetition, overlay) against worked examples and independent formulas, and the map's
// StretchElevationData members: cache, display fields, target buffer, refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "test_random.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/render/SeaOverlay.h"  // resampling and blending share one OverlayView
#include "zumeld/transform/Resample.h"

namespace {

using Zumeld::GridView;
using Zumeld::ResampleArea;
using Zumeld::ResampleTarget;
using Ints = std::vector<int>;

// A map grid with its margin column and row (repeating the last map column and row) and a
// row stride three cells wider than that, so a wrong stride shows. Cells from cell(x, y).
struct MapGrid {
    int width, height;
    std::ptrdiff_t stride;
    std::vector<short> cells;
    template <typename Fn>
    MapGrid(int w, int h, Fn cell) : width(w), height(h), stride(w + 4), cells((w + 4) * (h + 1)) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const int x = int(i % (w + 4)), y = int(i / (w + 4));
            cells[i] = x > w ? -999 : cell(std::min(x, w - 1), std::min(y, h - 1));
        }
    }
    short Cell(std::int64_t x, std::int64_t y) const { return cells[std::size_t(y * stride + x)]; }
    GridView View() const { return {cells.data(), stride, width, height}; }
};

std::vector<short> Resample(const MapGrid& g, const ResampleArea& a, ResampleTarget* t) {
    EXPECT_TRUE(Zumeld::DisplayGridFor(g.View(), a, t));
    std::vector<short> out(std::size_t(t->width) * t->height, 12345);
    EXPECT_TRUE(Zumeld::ResampleElevation(g.View(), a, *t, out.data()));
    return out;
}

// The bilinear value from its definition, without stepping: low 16 bits of
// floor((S * k + 2^31) / 2^32), S from the div/mod positions. Only bits 32 to 47 of
// S * k + 2^31 reach the result, so the sums and products may wrap modulo 2^64.
short BilinearFormula(const MapGrid& g, const ResampleArea& a, std::int64_t i, std::int64_t j) {
    using U = std::uint64_t;
    const std::int64_t sw = a.srcWidth, sh = a.srcHeight, dw = a.dispWidth, dh = a.dispHeight;
    const std::int64_t cx = i * sw / dw, fx = i * sw % dw, cy = j * sh / dh, fy = j * sh % dh;
    const std::int64_t x = a.left + cx, y = a.top + cy;
    const std::int64_t lv = g.Cell(x, y) * (dh - fy) + g.Cell(x, y + 1) * fy;
    const std::int64_t rv = g.Cell(x + 1, y) * (dh - fy) + g.Cell(x + 1, y + 1) * fy;
    const U s = U(lv) * U(dw - fx) + U(rv) * U(fx);
    const U product = U(dw) * U(dh);
    const U k = product == 1 ? 0xFFFFFFFF : (U{1} << 32) / product;
    return static_cast<short>(static_cast<std::uint16_t>((s * k + (U{1} << 31)) >> 32));
}

TEST(Resample, CopyAndPointSamplingTakeTheDivisionPositionsAndRepeatPastTheFill) {
    zumeld_test::TestRandom rng(0x4a4);
    const MapGrid g(10, 10, [&](int, int) { return short(rng.Between(-32768, 32767)); });
    // Area and the target's width, height, fillWidth, fillHeight: wider but lower, taller but
    // narrower, an odd reduction (10 x 4 / 9 columns), a copy, past the right edge.
    const std::pair<ResampleArea, Ints> cases[] = {{{1, 2, 4, 4, 8, 3}, {10, 4, 10, 4}},
                                                   {{0, 0, 5, 3, 2, 7}, {3, 9, 3, 9}},
                                                   {{0, 1, 9, 8, 4, 3}, {5, 4, 4, 3}},
                                                   {{1, 1, 4, 3, 4, 3}, {5, 4, 5, 4}},
                                                   {{8, 0, 4, 10, 8, 10}, {10, 11, 4, 10}}};
    for (const auto& [a, target] : cases) {
        ResampleTarget t;
        const auto out = Resample(g, a, &t);
        ASSERT_EQ((Ints{t.width, t.height, t.fillWidth, t.fillHeight}), target);
        for (int j = 0; j < t.height; ++j)
            for (int i = 0; i < t.width; ++i) {
                const std::int64_t ci = std::min(i, t.fillWidth - 1),
                                   cj = std::min(j, t.fillHeight - 1);
                ASSERT_EQ(out[j * t.width + i], g.Cell(a.left + ci * a.srcWidth / a.dispWidth,
                                                       a.top + cj * a.srcHeight / a.dispHeight))
                    << target[0] << "x" << target[1] << " cell " << i << "," << j;
            }
    }
}

TEST(Resample, BilinearMatchesTheFormulaInsideAndOutsideThePackedLimits) {
    zumeld_test::TestRandom rng(0xb111);
    // Elevations lo..hi, display width up to maxW, height minH..maxH, at most maxFill cells
    // computed per axis: within the packed limits, negative, and beyond the packed limits.
    const struct {
        int lo, hi, maxW, minH, maxH, maxFill;
    } ranges[] = {{0, 32767, 400, 2, 400, 100},
                  {-32768, 32767, 400, 2, 400, 100},
                  {-32768, 32767, 9000, 32768, 60000, 40}};
    for (const auto& r : ranges)
        for (int iter = 0; iter < 30; ++iter) {
            const int mw = rng.Between(2, 12), mh = rng.Between(2, 12);
            const MapGrid g(mw, mh, [&](int, int) { return short(rng.Between(r.lo, r.hi)); });
            ResampleArea a{rng.Between(0, mw - 1), rng.Between(0, mh - 1), rng.Between(1, mw),
                           rng.Between(1, mh)};
            a.dispWidth = rng.Between(a.srcWidth + 1, r.maxW);
            a.dispHeight = rng.Between(std::max(a.srcHeight + 1, r.minH), r.maxH);
            ResampleTarget t;
            ASSERT_TRUE(Zumeld::DisplayGridFor(g.View(), a, &t));
            t = {std::min(t.fillWidth, r.maxFill) + 2, std::min(t.fillHeight, r.maxFill) + 1,
                 std::min(t.fillWidth, r.maxFill), std::min(t.fillHeight, r.maxFill)};
            std::vector<short> out(static_cast<std::size_t>(t.width) * t.height);
            ASSERT_TRUE(Zumeld::ResampleElevation(g.View(), a, t, out.data()));
            for (int j = 0; j < t.fillHeight; ++j)
                for (int i = 0; i < t.fillWidth; ++i)
                    ASSERT_EQ(out[static_cast<std::size_t>(j) * t.width + i],
                              BilinearFormula(g, a, i, j))
                        << r.maxW << " seed " << rng.Seed() << " iteration " << iter << " cell "
                        << i << "," << j;
        }
    // A constant area reads slightly low: the reciprocal 2^32 / (800 x 600) rounds down.
    ResampleTarget t;
    const auto flat =
        Resample(MapGrid(2, 2, [](int, int) { return short(30000); }), {0, 0, 2, 2, 800, 600}, &t);
    EXPECT_EQ((Ints{t.width, t.height}), (Ints{1200, 900}));
    EXPECT_TRUE(std::all_of(flat.begin(), flat.end(), [](short v) { return v == 29997; }));
}

// The display grid needs at least one display column and row on the map; a grid without its
// margin column, or a fill past the map, is refused with nothing written.
TEST(Resample, DisplayGridAndFillStayOnTheMap) {
    const MapGrid g(6, 4, [](int x, int y) { return short(x + y); });
    const GridView v = g.View();
    std::vector<short> out(64, 7);
    EXPECT_FALSE(Zumeld::ResampleElevation({g.cells.data(), 6, 6, 4}, {0, 0, 2, 2, 2, 2},
                                           {2, 2, 2, 2}, out.data()));
    EXPECT_FALSE(Zumeld::ResampleElevation(v, {4, 0, 2, 2, 4, 4}, {6, 6, 5, 4}, out.data()));
    EXPECT_EQ(out[0], 7);
    ResampleTarget t{-1, -1, -1, -1};
    EXPECT_FALSE(Zumeld::DisplayGridFor(v, {6, 0, 2, 2, 4, 4}, &t));
    EXPECT_FALSE(Zumeld::DisplayGridFor(v, {5, 0, 3, 2, 2, 4}, &t)) << "1 x 2 / 3 < 1 column";
    EXPECT_FALSE(Zumeld::DisplayGridFor(v, {0, 0, 2, 2, 0x7FFFFFFF, 4}, &t)) << "row too long";
    EXPECT_EQ(t.width, -1);
    EXPECT_TRUE(Zumeld::DisplayGridFor(v, {5, 0, 2, 2, 2, 4}, &t)) << "1 x 2 / 2 = 1 column";
    EXPECT_EQ(t.fillWidth, 1);
}

TEST(Resample, OverlayFitsWhereThePictureEndsAndTakesWholePixels) {
    std::vector<BYTE> pic(5 * 4 * 4);  // 5 x 4 pixels {x, y, 10 x + y, 0xEE}
    for (std::size_t i = 0; i < pic.size(); ++i) {
        const int x = int(i / 4 % 5), y = int(i / 20);
        pic[i] = BYTE(i % 4 == 0 ? x : i % 4 == 1 ? y : i % 4 == 2 ? 10 * x + y : 0xEE);
    }
    const Zumeld::OverlayView view{pic.data(), 5, 4, 20};
    // The picture ends after 3 of the area's 4 columns: 3 x 9 / 4 = 6.75 display columns, cut to 6.
    const ResampleArea a{2, 1, 4, 2, 9, 3};
    const auto fit = Zumeld::FitDisplayOverlay(5, 4, a);
    EXPECT_EQ((Ints{fit.srcWidth, fit.srcHeight, fit.width, fit.height}), (Ints{3, 2, 6, 3}));
    std::vector<BYTE> out(6 * 3 * 4 + 4, 0x55);
    ASSERT_TRUE(Zumeld::ResampleOverlay(view, a, out.data()));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 6; ++c) {
            const int x = 2 + c * 3 / 6, y = 1 + r * 2 / 3;
            const BYTE* p = &out[(r * 6 + c) * 4];
            EXPECT_EQ((Ints{p[0], p[1], p[2], p[3]}), (Ints{x, y, 10 * x + y, 0xEE}))
                << c << "," << r;
        }
    EXPECT_EQ(out[6 * 3 * 4], 0x55) << "nothing past the display overlay";
    EXPECT_FALSE(Zumeld::ResampleOverlay(view, {5, 0, 2, 2, 4, 4}, out.data())) << "ends at left";
    EXPECT_FALSE(Zumeld::ResampleOverlay(Zumeld::OverlayView{}, a, out.data()));
}

// A 2 x 2 map: left column 0, right column 100.
struct StretchMember : ::testing::Test {
    void SetUp() override {
        map.SetElevationData(2, 2, std::array<short, 4>{0, 100, 0, 100}.data());
    }
    short DisplayCell(int i) const { return map.m_pDisplayElevation[i]; }
    Ints Sizes() const {
        return {map.m_nDisplayWidth, map.m_nStretchWidth, map.m_pBmp->GetWidth(),
                map.m_pBmp->GetBitCount()};
    }
    Zumeld::CCtrlElvMap map;
};

TEST_F(StretchMember, BuildsTheGridOnceUntilModifiedSizesTheTargetAndRefusesBadAreas) {
    map.StretchElevationData(0, 0, 2, 2, 4, 4);
    ASSERT_TRUE(map.m_pDisplayElevation);
    const short* grid = map.m_pDisplayElevation.get();
    EXPECT_EQ(std::vector<short>(grid, grid + 6), (std::vector<short>{0, 50, 100, 100, 100, 100}));
    EXPECT_EQ(map.m_dDisplayScale, 2.0);
    EXPECT_EQ((Ints{map.m_nDisplayBufferWidth, map.m_nDisplayBufferHeight, map.m_nDisplayRowBytes,
                    map.m_nDisplayHeight, map.m_pBmp->GetHeight()}),
              (Ints{6, 6, 12, 4, 4}));
    EXPECT_EQ(Sizes(), (Ints{4, 2, 4, 24}));

    map.m_pElevation[1] = 200;  // not announced with ElevationDataModified
    map.m_pBmp->CreateBitmap(1, 1, 32, 0, nullptr);
    map.StretchElevationData(0, 0, 2, 2, 4, 4);
    EXPECT_EQ(map.m_pDisplayElevation.get(), grid);
    EXPECT_EQ(DisplayCell(2), 100) << "nothing resampled";
    EXPECT_EQ(Sizes(), (Ints{4, 2, 4, 24})) << "target recreated";

    map.ElevationDataModified();
    map.StretchElevationData(0, 0, 2, 2, 4, 4);
    EXPECT_EQ(DisplayCell(2), 200) << "rebuilt after ElevationDataModified";

    grid = map.m_pDisplayElevation.get();  // calls outside the contract change nothing
    map.m_pBmp->CreateBitmap(3, 3, 24, 0, nullptr);
    // A negative left, no width, an area past the map's right edge, a display beyond the
    // drawing's 32,768 columns or rows, a display grid past 2 GiB.
    const int bad[][6] = {{-1, 0, 2, 2, 4, 4},    {0, 0, 0, 2, 4, 4},
                          {1, 0, 4, 2, 2, 4},     {0, 0, 2, 2, 32769, 4},
                          {0, 0, 2, 2, 4, 32769}, {0, 0, 1, 1, 32768, 32768}};
    for (const auto& b : bad) {
        map.StretchElevationData(b[0], b[1], b[2], b[3], b[4], b[5]);
        EXPECT_EQ(map.m_pDisplayElevation.get(), grid);
        EXPECT_EQ(Sizes(), (Ints{4, 2, 3, 24}))
            << b[0] << "," << b[1] << " " << b[2] << "x" << b[3];
    }
    Zumeld::CCtrlElvMap empty;
    empty.StretchElevationData(0, 0, 1, 1, 1, 1);
    EXPECT_FALSE(empty.m_pDisplayElevation);
    EXPECT_EQ(empty.m_nDisplayWidth, 0);
}

TEST_F(StretchMember, TenArgumentFormReturnsAnOwnedGridOrNull) {
    std::unique_ptr<short[]> cells(map.StretchElevationData(0, 0, 2, 2, 4, 4, 7, 5, 4, 4));
    ASSERT_TRUE(cells);
    EXPECT_EQ(std::vector<short>(cells.get(), cells.get() + 7),
              (std::vector<short>{0, 50, 100, 100, 100, 100, 100}));
    EXPECT_EQ(cells[4 * 7 + 1], 50) << "row past the fill repeats";
    EXPECT_FALSE(map.m_pDisplayElevation) << "the object is not changed";
    EXPECT_EQ(map.StretchElevationData(0, 0, 2, 2, 4, 4, 6, 6, 0, 4), nullptr);
    EXPECT_EQ(map.StretchElevationData(0, 0, 2, 2, 4, 4, 6, 6, 5, 4), nullptr) << "off the map";
}

TEST_F(StretchMember, DisplayOverlayFollowsThePicture) {
    auto pic = Zumeld::SharedBlock<BYTE>::AllocateZeroed(16);  // 2 x 2 pixels {x, y, 0, 0}
    pic[4] = pic[12] = pic[9] = pic[13] = 1;
    map.m_pOverlapPixels = pic;
    map.m_nOverlapWidth = map.m_nOverlapHeight = 2;
    map.m_nOverlapRowBytes = 8;
    map.StretchElevationData(1, 0, 1, 2, 3, 4);  // the picture covers the area
    EXPECT_EQ(map.m_dDisplayScale, 3.0) << "display columns per map column";
    ASSERT_TRUE(map.m_pDisplayOverlap);
    const BYTE* last = &map.m_pDisplayOverlap[(3 * 3 + 2) * 4];  // x = 1, y = 3 x 2 / 4
    EXPECT_EQ((Ints{map.m_nDisplayOverlapWidth, map.m_nDisplayOverlapHeight,
                    map.m_nDisplayOverlapRowBytes, last[0], last[1]}),
              (Ints{3, 4, 12, 1, 1}));

    map.m_nOverlapWidth = 1;  // the picture ends left of the area: no display overlay
    map.m_nOverlapRowBytes = 4;
    map.StretchElevationData(1, 0, 1, 2, 4, 4);
    EXPECT_FALSE(map.m_pDisplayOverlap);
    EXPECT_EQ(map.m_nDisplayOverlapWidth, 0);
}

}  // namespace
