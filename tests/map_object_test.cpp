// The map object: grid kernels, grid operations, lifetime and the sharing of blocks between
// copies. Expected grids are written out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/elevation/Grid.h"

namespace {

using Zumeld::CCtrlElvMap;
using Grid = std::vector<short>;

// The whole grid block of a map, margin included.
Grid GridOf(const CCtrlElvMap& map) {
    if (!map.m_pElevation) return {};
    const std::size_t n = static_cast<std::size_t>(map.m_nBufferWidth) * map.m_nBufferHeight;
    return Grid(map.m_pElevation.get(), map.m_pElevation.get() + n);
}

void ExpectSizes(const CCtrlElvMap& map, int width, int height) {
    EXPECT_EQ(map.m_nWidth, width);
    EXPECT_EQ(map.m_nHeight, height);
    EXPECT_EQ(map.m_nBufferWidth, width + 1);
    EXPECT_EQ(map.m_nBufferHeight, height + 1);
    EXPECT_EQ(map.m_nRowBytes, (width + 1) * 2);
}

void ExpectNoGrid(const CCtrlElvMap& map) {
    EXPECT_TRUE(map.m_pElevation == nullptr);
    EXPECT_EQ(map.m_nWidth, 0);
    EXPECT_EQ(map.m_nHeight, 0);
    EXPECT_EQ(map.m_nBufferWidth, 0);
    EXPECT_EQ(map.m_nBufferHeight, 0);
    EXPECT_EQ(map.m_nRowBytes, 0);
}

void ExpectStretchArguments(const CCtrlElvMap& map, int value) {
    EXPECT_EQ(map.m_nStretchLeft, value);
    EXPECT_EQ(map.m_nStretchTop, value);
    EXPECT_EQ(map.m_nStretchWidth, value);
    EXPECT_EQ(map.m_nStretchHeight, value);
    EXPECT_EQ(map.m_nDisplayWidth, value);
    EXPECT_EQ(map.m_nDisplayHeight, value);
}

// A 4 x 4 map whose cell (c, r) is 10 r + c + 1, margin by the margin rule.
void MakeNumbered4x4(CCtrlElvMap& map) {
    short cells[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) cells[r * 4 + c] = static_cast<short>(10 * r + c + 1);
    map.SetElevationData(4, 4, cells);
}

// ---- Kernels ----------------------------------------------------------------------------------

TEST(GridKernels, CellCountRefusesNegativeAndOversizedGrids) {
    struct Case {
        int width, height;
        std::size_t cells;
    };
    const Case cases[] = {
        {0, 0, 1},
        {3, 2, 12},
        {-1, 0, 0},
        {0, -1, 0},
        {INT_MIN, 5, 0},
        // 2 bytes a cell: at most 1,073,741,823 cells fit in 2^31 - 1 bytes.
        {1073741822, 0, 1073741823},
        {1073741823, 0, 0},
        {32767, 32766, 32768u * 32767u},
        {32767, 32767, 0},
        {INT_MAX, INT_MAX, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Zumeld::GridCellCount(c.width, c.height), c.cells)
            << c.width << " x " << c.height;
}

TEST(GridKernels, MarginRepeatsLastColumnAndRow) {
    struct Case {
        std::string name;
        int width, height;
        Grid in, out;
    };
    const short s = -99;  // not yet filled
    const std::vector<Case> cases = {
        {"1x1", 1, 1, {7, s, s, s}, {7, 7, 7, 7}},
        {"2x2", 2, 2, {1, 2, s, 3, 4, s, s, s, s}, {1, 2, 2, 3, 4, 4, 3, 4, 4}},
        {"3x1", 3, 1, {-5, 0, 32767, s, s, s, s, s}, {-5, 0, 32767, 32767, -5, 0, 32767, 32767}},
        {"1x3", 1, 3, {1, s, 2, s, 3, s, s, s}, {1, 1, 2, 2, 3, 3, 3, 3}},
        // No map row or column: nothing to repeat, nothing written.
        {"0x2", 0, 2, {s, s, s}, {s, s, s}},
        {"2x0", 2, 0, {s, s, s}, {s, s, s}},
    };
    for (const Case& c : cases) {
        Grid g = c.in;
        Zumeld::FillGridMargin(g.data(), c.width, c.height);
        EXPECT_EQ(g, c.out) << c.name;
    }
}

TEST(GridKernels, BlockCopyMovesRowsBetweenStridesAndStaysInside) {
    // Source 4 cells a row; destination 3 a row; copy 2 x 2 from (1, 1).
    const Grid src = {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23};
    Grid dst(9, -1);
    Zumeld::CopyGridBlock(dst.data(), 3, src.data() + 4 + 1, 4, 2, 2);
    EXPECT_EQ(dst, (Grid{11, 12, -1, 21, 22, -1, -1, -1, -1}));
    for (int empty : {0, -3}) {
        Grid untouched(9, -1);
        Zumeld::CopyGridBlock(untouched.data(), 3, src.data(), 4, empty, 2);
        Zumeld::CopyGridBlock(untouched.data(), 3, src.data(), 4, 2, empty);
        EXPECT_EQ(untouched, Grid(9, -1));
    }
}

TEST(GridKernels, EraseLandFlattensEveryNonZeroCellToOne) {
    Grid g = {0, 5, -3, 1, -32768, 32767, -1, 0, 2};
    Zumeld::EraseLandCells(g.data(), g.size() - 1);  // the last cell is outside the range
    EXPECT_EQ(g, (Grid{0, 1, 1, 1, 1, 1, 1, 0, 2}));
}

// ---- Construction and settings ----------------------------------------------------------------

TEST(MapObject, NewMapHoldsDefaultSetAndNoGrid) {
    CCtrlElvMap map;
    EXPECT_EQ(map.m_nTextureSetCount, 1);
    EXPECT_EQ(map.m_nSelectedTexture, 0);
    EXPECT_EQ(map.m_nSeason, 0);
    EXPECT_EQ(map.m_nReliefLevel, 1);
    EXPECT_EQ(map.m_nSaveType, 0);
    EXPECT_EQ(map.m_pBmp, &map.m_bmpInternal);
    EXPECT_EQ(map.GetHbmp(), map.m_bmpInternal.GetHbmp());
    ExpectNoGrid(map);
    EXPECT_TRUE(map.m_pDisplayElevation == nullptr);
    EXPECT_TRUE(map.m_pOverlapPixels == nullptr);
    EXPECT_TRUE(map.m_pDisplayOverlap == nullptr);
    EXPECT_TRUE(map.m_pCompressedData == nullptr);
    EXPECT_EQ(map.m_nCompressedSize, 0);
    ExpectStretchArguments(map, 0);
}

TEST(MapObject, TargetBufferFollowsSettersButHandleIsAlwaysInternal) {
    CCtrlElvMap map;
    ASSERT_TRUE(map.m_bmpInternal.CreateBitmap(3, 2, 24, 0, nullptr));
    Quobel::CControlBmp host;
    ASSERT_TRUE(host.CreateBitmap(5, 5, 24, 0, nullptr));
    map.SetExternalBmp(&host);
    EXPECT_EQ(map.m_pBmp, &host);
    EXPECT_EQ(map.GetHbmp(), map.m_bmpInternal.GetHbmp());
    EXPECT_NE(map.GetHbmp(), host.GetHbmp());
    map.SetExternalBmp(nullptr);  // never a null target
    EXPECT_EQ(map.m_pBmp, &map.m_bmpInternal);
    map.SetExternalBmp(&host);
    map.SetInternalBmp();
    EXPECT_EQ(map.m_pBmp, &map.m_bmpInternal);
}

// ---- Grid operations --------------------------------------------------------------------------

TEST(MapGrid, CreateNewMapGivesAllSeaAndDropsDisplayCache) {
    struct Case {
        int width, height;
    };
    for (const Case c : {Case{0, 0}, Case{3, 2}, Case{1, 5}, Case{0, 3}}) {
        CCtrlElvMap map;
        map.m_pDisplayElevation = Zumeld::SharedBlock<short>::AllocateZeroed(4);
        map.ElevationDataModified();
        map.CreateNewMap(c.width, c.height);
        ExpectSizes(map, c.width, c.height);
        EXPECT_EQ(GridOf(map), Grid(static_cast<std::size_t>(c.width + 1) * (c.height + 1), 0));
        EXPECT_TRUE(map.m_pDisplayElevation == nullptr);
        ExpectStretchArguments(map, 0);
    }
}

TEST(MapGrid, SetElevationDataCopiesRowsAndFillsMargin) {
    struct Case {
        std::string name;
        int width, height;
        Grid cells, grid;
    };
    const std::vector<Case> cases = {
        {"2x2", 2, 2, {1, 2, 3, 4}, {1, 2, 2, 3, 4, 4, 3, 4, 4}},
        {"1x1", 1, 1, {-7}, {-7, -7, -7, -7}},
        {"3x1", 3, 1, {0, 9, -32768}, {0, 9, -32768, -32768, 0, 9, -32768, -32768}},
        // No map cells: the grid is all margin, and sea.
        {"0x2", 0, 2, {}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        CCtrlElvMap map;
        map.ElevationDataModified();
        short dummy = 0;
        map.SetElevationData(c.width, c.height, c.cells.empty() ? &dummy : c.cells.data());
        ExpectSizes(map, c.width, c.height);
        EXPECT_EQ(GridOf(map), c.grid) << c.name;
        ExpectStretchArguments(map, -1);  // left for the host to invalidate
    }
}

TEST(MapGrid, SetElevationDataReadsItsOwnGridBeforeReleasingIt) {
    CCtrlElvMap map;
    const short cells[6] = {1, 2, 3, 4, 5, 6};
    map.SetElevationData(3, 2, cells);  // grid {1,2,3,3, 4,5,6,6, 4,5,6,6}
    // The grid pointer itself as the host's array, read 2 cells a row: {1,2}, {3,3}.
    map.SetElevationData(2, 2, map.m_pElevation.get());
    EXPECT_EQ(GridOf(map), (Grid{1, 2, 2, 3, 3, 3, 3, 3, 3}));
}

TEST(MapGrid, OutOfContractSizesChangeNothing) {
    const short cells[4] = {1, 2, 3, 4};
    struct Case {
        std::string name;
        void (*call)(CCtrlElvMap&, const short*);
    };
    const Case cases[] = {
        {"CreateNewMap(-1, 2)", [](CCtrlElvMap& m, const short*) { m.CreateNewMap(-1, 2); }},
        {"CreateNewMap(2, -1)", [](CCtrlElvMap& m, const short*) { m.CreateNewMap(2, -1); }},
        {"CreateNewMap(INT_MAX, 0)",
         [](CCtrlElvMap& m, const short*) { m.CreateNewMap(INT_MAX, 0); }},
        {"CreateNewMap(40000, 40000)",
         [](CCtrlElvMap& m, const short*) { m.CreateNewMap(40000, 40000); }},
        {"ChangeCanvasSize(-3, 1)",
         [](CCtrlElvMap& m, const short*) { m.ChangeCanvasSize(-3, 1); }},
        {"ChangeCanvasSize(1, INT_MAX)",
         [](CCtrlElvMap& m, const short*) { m.ChangeCanvasSize(1, INT_MAX); }},
        {"SetElevationData(-2, 2)",
         [](CCtrlElvMap& m, const short* p) { m.SetElevationData(-2, 2, p); }},
        {"SetElevationData(null)",
         [](CCtrlElvMap& m, const short*) { m.SetElevationData(2, 2, nullptr); }},
        {"SetElevationData(65535, 65535)",
         [](CCtrlElvMap& m, const short* p) { m.SetElevationData(65535, 65535, p); }},
    };
    for (const Case& c : cases) {
        CCtrlElvMap map;
        map.SetElevationData(2, 2, cells);
        const short* before = map.m_pElevation.get();
        c.call(map, cells);
        EXPECT_EQ(map.m_pElevation.get(), before) << c.name;
        ExpectSizes(map, 2, 2);
        EXPECT_EQ(GridOf(map), (Grid{1, 2, 2, 3, 4, 4, 3, 4, 4})) << c.name;
    }
}

TEST(MapGrid, ChangeCanvasSizeKeepsTopLeftAndZeroesTheRest) {
    struct Case {
        int width, height;
        Grid grid;
    };
    // From the 3 x 2 map {1,2,3 / 4,5,6} (margin filled).
    const Case cases[] = {
        {5, 1, {1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {2, 4, {1, 2, 0, 4, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {3, 2, {1, 2, 3, 0, 4, 5, 6, 0, 0, 0, 0, 0}},
        {0, 0, {0}},
    };
    for (const Case& c : cases) {
        CCtrlElvMap map;
        const short cells[6] = {1, 2, 3, 4, 5, 6};
        map.SetElevationData(3, 2, cells);
        map.ChangeCanvasSize(c.width, c.height);
        ExpectSizes(map, c.width, c.height);
        EXPECT_EQ(GridOf(map), c.grid) << c.width << " x " << c.height;
    }
    CCtrlElvMap empty;  // no grid yet: an all-sea canvas
    empty.ChangeCanvasSize(2, 1);
    ExpectSizes(empty, 2, 1);
    EXPECT_EQ(GridOf(empty), Grid(6, 0));
}

TEST(MapGrid, ClipAreaCropsToClippedRectangleAndRebuildsMargin) {
    struct Case {
        int left, top, width, height;
        int newWidth, newHeight;
        Grid grid;
    };
    // The 4 x 4 map whose cell (c, r) is 10 r + c + 1.
    const Case cases[] = {
        {-5, -5, 2, 2, 2, 2, {1, 2, 2, 11, 12, 12, 11, 12, 12}},
        {3, 0, 5, 2, 1, 2, {4, 4, 14, 14, 14, 14}},  // width cut to 1
        {1, 2, 2, 2, 2, 2, {22, 23, 23, 32, 33, 33, 32, 33, 33}},
        {2, 3, 9, 9, 2, 1, {33, 34, 34, 33, 34, 34}},
        // Width cut to 0, or an empty or inverted rectangle: the whole map.
        {4, 0, 1, 1, 4, 4, {}},
        {0, 0, 0, 3, 4, 4, {}},
        {1, 1, -2, 2, 4, 4, {}},
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX, 4, 4, {}},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 4, 4, {}},
    };
    for (const Case& c : cases) {
        CCtrlElvMap map;
        MakeNumbered4x4(map);
        const Grid whole = GridOf(map);
        map.ClipArea(c.left, c.top, c.width, c.height);
        ExpectSizes(map, c.newWidth, c.newHeight);
        EXPECT_EQ(GridOf(map), c.grid.empty() ? whole : c.grid)
            << c.left << ", " << c.top << ", " << c.width << ", " << c.height;
    }
}

TEST(MapGrid, FillGapRepeatsLastColumnAndRow) {
    CCtrlElvMap map;
    map.CreateNewMap(1, 1);
    map.m_pElevation[0] = 42;
    map.FillGapOfElevationData();
    EXPECT_EQ(GridOf(map), Grid(4, 42));

    CCtrlElvMap corner;  // a grid without map cells: its one cell is left alone
    corner.CreateNewMap(0, 0);
    corner.m_pElevation[0] = 9;
    corner.FillGapOfElevationData();
    EXPECT_EQ(GridOf(corner), Grid{9});
}

TEST(MapGrid, ClearAndEraseWorkOnWholeBlockAndEraseDropsCompressedImage) {
    CCtrlElvMap map;
    const short cells[4] = {0, 5, -3, 1};
    map.SetElevationData(4, 1, cells);
    map.ElevationDataModified();
    map.m_pCompressedData = Zumeld::SharedBlock<BYTE>::AllocateZeroed(16);
    map.m_nCompressedSize = 16;
    map.m_nCompressedMaxElevation = 300;
    map.EraseLandTopography();
    EXPECT_EQ(GridOf(map), (Grid{0, 1, 1, 1, 1, 0, 1, 1, 1, 1}));
    EXPECT_TRUE(map.m_pCompressedData == nullptr);
    EXPECT_EQ(map.m_nCompressedSize, 0);
    EXPECT_EQ(map.m_nCompressedMaxElevation, 300);
    ExpectStretchArguments(map, -1);

    map.ClearElevationData();
    EXPECT_EQ(GridOf(map), Grid(10, 0));
}

TEST(MapGrid, OperationsWithoutGridDoNothing) {
    struct Case {
        std::string name;
        void (*call)(CCtrlElvMap&);
    };
    const Case cases[] = {
        {"Clear", [](CCtrlElvMap& m) { m.ClearElevationData(); }},
        {"Erase", [](CCtrlElvMap& m) { m.EraseLandTopography(); }},
        {"CopyToNew", [](CCtrlElvMap& m) { m.CopyElevationDataToNewBuffer(); }},
        {"FillGap", [](CCtrlElvMap& m) { m.FillGapOfElevationData(); }},
        {"ClipArea", [](CCtrlElvMap& m) { m.ClipArea(0, 0, 2, 2); }},
    };
    for (const Case& c : cases) {
        CCtrlElvMap map;
        c.call(map);
        ExpectNoGrid(map);
        EXPECT_EQ(map.m_nTextureSetCount, 1) << c.name;
    }
}

TEST(MapGrid, ElevationDataModifiedMarksCacheStaleAndDeleteCompressedKeepsMaximum) {
    CCtrlElvMap map;
    map.ElevationDataModified();
    ExpectStretchArguments(map, -1);
    map.m_nCompressedMaxElevation = 77;
    map.m_pCompressedData = Zumeld::SharedBlock<BYTE>::AllocateZeroed(4);
    map.m_nCompressedSize = 4;
    map.DeleteCompressedData();
    EXPECT_TRUE(map.m_pCompressedData == nullptr);
    EXPECT_EQ(map.m_nCompressedSize, 0);
    EXPECT_EQ(map.m_nCompressedMaxElevation, 77);
}

// ---- Copies and shared blocks -------------------------------------------------------------------

// A map with a grid, a display grid, both overlays and a compressed image, each block filled
// with a known byte so that any holder can check it is still readable.
void FillAllBlocks(CCtrlElvMap& map) {
    const short cells[6] = {1, 2, 3, 4, 5, 6};
    map.SetElevationData(3, 2, cells);
    map.m_pDisplayElevation = Zumeld::SharedBlock<short>::Allocate(8);
    std::fill_n(map.m_pDisplayElevation.get(), 8, short{5});
    map.m_pOverlapPixels = Zumeld::SharedBlock<BYTE>::Allocate(16);
    std::fill_n(map.m_pOverlapPixels.get(), 16, BYTE{6});
    map.m_pDisplayOverlap = Zumeld::SharedBlock<BYTE>::Allocate(16);
    std::fill_n(map.m_pDisplayOverlap.get(), 16, BYTE{7});
    map.m_pCompressedData = Zumeld::SharedBlock<BYTE>::Allocate(4);
    std::fill_n(map.m_pCompressedData.get(), 4, BYTE{8});
    map.m_nCompressedSize = 4;
}

// Reads every block the map holds (under ASan a released block fails here).
void ExpectBlocksReadable(const CCtrlElvMap& map, const Grid& grid) {
    EXPECT_EQ(GridOf(map), grid);
    EXPECT_EQ(map.m_pDisplayElevation[7], 5);
    EXPECT_EQ(map.m_pOverlapPixels[15], 6);
    EXPECT_EQ(map.m_pDisplayOverlap[15], 7);
    EXPECT_EQ(map.m_pCompressedData[3], 8);
    const Zumeld::tagTEXTURE_SLOT& slot = map.m_textureSlots[0];
    ASSERT_TRUE(slot.pLandPixels != nullptr);
    EXPECT_EQ(slot.pSeaPixels, slot.pLandPixels.get() + 2 * slot.nPlaneSize);
    long sum = 0;
    for (int i = 0; i < 3 * slot.nPlaneSize; ++i) sum += slot.pLandPixels[i];
    EXPECT_GT(sum, 0);
}

TEST(MapCopies, CopiesShareEveryBlockWhateverTheDestructionOrder) {
    const Grid grid = {1, 2, 3, 3, 4, 5, 6, 6, 4, 5, 6, 6};
    // Three holders: the source, a copy-constructed map and an assigned map, destroyed in
    // every order; each survivor must still read every block.
    int order[3] = {0, 1, 2};
    do {
        std::unique_ptr<CCtrlElvMap> maps[3];
        maps[0] = std::make_unique<CCtrlElvMap>();
        FillAllBlocks(*maps[0]);
        maps[1] = std::make_unique<CCtrlElvMap>(*maps[0]);
        maps[2] = std::make_unique<CCtrlElvMap>();
        *maps[2] = *maps[1];
        EXPECT_EQ(maps[0]->m_pElevation.use_count(), 3);
        EXPECT_EQ(maps[0]->m_textureSlots[0].pLandPixels.use_count(), 3);
        for (const auto& m : maps) {
            EXPECT_EQ(m->m_pElevation.get(), maps[0]->m_pElevation.get());
            EXPECT_EQ(m->m_textureSlots[0].pSeaPixels, maps[0]->m_textureSlots[0].pSeaPixels);
        }
        for (int k = 0; k < 3; ++k) {
            maps[order[k]].reset();
            for (const auto& m : maps)
                if (m) ExpectBlocksReadable(*m, grid);
        }
    } while (std::next_permutation(order, order + 3));
}

TEST(MapCopies, AssignmentReleasesTheTargetsOwnBlocksAndSelfAssignmentKeepsThem) {
    CCtrlElvMap a;
    FillAllBlocks(a);
    CCtrlElvMap b;
    const short other[1] = {9};
    b.SetElevationData(1, 1, other);
    b = a;  // b's own grid and default textures go; it now shares a's
    EXPECT_EQ(b.m_pElevation.get(), a.m_pElevation.get());
    EXPECT_EQ(a.m_pElevation.use_count(), 2);
    EXPECT_EQ(a.m_textureSlots[0].pLandPixels.use_count(), 2);

    CCtrlElvMap& alias = a;
    a = alias;
    EXPECT_EQ(a.m_pElevation.use_count(), 2);
    EXPECT_EQ(a.m_pBmp, &a.m_bmpInternal);
    ExpectBlocksReadable(a, GridOf(b));
}

TEST(MapCopies, GridReplacementEndsSharingForOneHolderOnly) {
    struct Case {
        std::string name;
        void (*replace)(CCtrlElvMap&);
    };
    const Case cases[] = {
        {"CopyElevationDataToNewBuffer", [](CCtrlElvMap& m) { m.CopyElevationDataToNewBuffer(); }},
        {"CreateNewMap", [](CCtrlElvMap& m) { m.CreateNewMap(3, 2); }},
        {"ChangeCanvasSize", [](CCtrlElvMap& m) { m.ChangeCanvasSize(3, 2); }},
        {"ClipArea", [](CCtrlElvMap& m) { m.ClipArea(0, 0, 3, 2); }},
        {"SetElevationData",
         [](CCtrlElvMap& m) {
             const short c[6] = {1, 2, 3, 4, 5, 6};
             m.SetElevationData(3, 2, c);
         }},
    };
    const Grid original = {1, 2, 3, 3, 4, 5, 6, 6, 4, 5, 6, 6};
    for (const Case& c : cases) {
        for (bool replaceSource : {false, true}) {
            auto source = std::make_unique<CCtrlElvMap>();
            FillAllBlocks(*source);
            auto copy = std::make_unique<CCtrlElvMap>(*source);
            CCtrlElvMap& changed = replaceSource ? *source : *copy;
            CCtrlElvMap& kept = replaceSource ? *copy : *source;
            c.replace(changed);
            EXPECT_NE(changed.m_pElevation.get(), kept.m_pElevation.get()) << c.name;
            changed.m_pElevation[0] = -1;
            const Grid replaced = GridOf(changed);
            EXPECT_EQ(GridOf(kept), original) << c.name;
            // Destroy the kept holder first, then read the replaced grid again.
            (replaceSource ? copy : source).reset();
            EXPECT_EQ(GridOf(changed), replaced) << c.name;
        }
    }
}

TEST(MapCopies, CopyTargetFollowsItsOwnInternalBitmapOrTheHostsBuffer) {
    Quobel::CControlBmp host;
    ASSERT_TRUE(host.CreateBitmap(2, 2, 24, 0, nullptr));
    for (bool external : {false, true}) {
        auto source = std::make_unique<CCtrlElvMap>();
        ASSERT_TRUE(source->m_bmpInternal.CreateBitmap(4, 3, 24, 0, nullptr));
        if (external) source->SetExternalBmp(&host);
        const HBITMAP picture = source->GetHbmp();

        CCtrlElvMap constructed(*source);
        CCtrlElvMap assigned;
        assigned = *source;
        for (CCtrlElvMap* copy : {&constructed, &assigned}) {
            EXPECT_EQ(copy->m_pBmp, external ? &host : &copy->m_bmpInternal);
            EXPECT_EQ(copy->GetHbmp(), picture);
        }
        source.reset();
        // The copies' internal bitmaps still hold the shared picture.
        for (CCtrlElvMap* copy : {&constructed, &assigned}) {
            ASSERT_NE(copy->m_bmpInternal.GetBufferPtr(), nullptr);
            copy->m_bmpInternal.ClearBuffer();
            EXPECT_EQ(copy->m_bmpInternal.GetWidth(), 4);
        }
    }
}

}  // namespace
