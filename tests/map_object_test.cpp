// The map object: grid operations and the sharing of blocks between copies.
// Expected grids are written out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <tuple>
#include <vector>

#include "elv_test_support.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/elevation/Grid.h"

namespace {

using Zumeld::CCtrlElvMap;
using Grid = std::vector<short>;
using elv_test::Cells;
using elv_test::ExpectDisplayArguments;
using elv_test::WholeGrid;

// A call on a map, named by its own text.
struct Call {
    const char* name;
    void (*run)(CCtrlElvMap&);
};
// clang-format off
#define CALL(expr) Call{#expr, [](CCtrlElvMap& m) { m.expr; }}
// clang-format on
const short kCells[6] = {1, 2, 3, 4, 5, 6};
const Grid k3x2 = {1, 2, 3, 3, 4, 5, 6, 6, 4, 5, 6, 6};  // kCells as 3 x 2, with margin

void ExpectSizes(const CCtrlElvMap& map, int width, int height) {
    const int grid = map.m_pElevation != nullptr;
    EXPECT_EQ(map.m_nWidth, width);
    EXPECT_EQ(map.m_nHeight, height);
    EXPECT_EQ(map.m_nBufferWidth, grid * (width + 1));
    EXPECT_EQ(map.m_nBufferHeight, grid * (height + 1));
    EXPECT_EQ(map.m_nRowBytes, grid * (width + 1) * 2);
}

// Each call on a fresh map, on the 3 x 2 map {1,2,3 / 4,5,6} or on the 4 x 4 map whose cell
// (c, r) is 10 r + c + 1: the sizes after it, and the whole grid, margin included.
TEST(MapGrid, CallsGiveTheseSizesAndGrids) {
    enum Start { kFresh, k3x2Map, k4x4Map };
    struct Case {
        Call call;
        Start start;
        int width, height;
        Grid grid;  // empty: as before the call, and in the same block but for a clip
    };
    // clang-format off
    const Case cases[] = {
        {CALL(CreateNewMap(3, 2)), k3x2Map, 3, 2, Grid(12, 0)},
        {CALL(CreateNewMap(0, 0)), k3x2Map, 0, 0, {0}},
        {CALL(SetElevationData(3, 2, kCells)), kFresh, 3, 2, k3x2},
        {CALL(SetElevationData(0, 2, kCells)), kFresh, 0, 2, {0, 0, 0}},  // no map cells: sea
        // The map's own grid as the host's array, read 2 cells a row: {1,2}, {3,3}.
        {CALL(SetElevationData(2, 2, m.m_pElevation.get())), k3x2Map, 2, 2, {1, 2, 2, 3, 3, 3, 3, 3, 3}},
        {CALL(ChangeCanvasSize(5, 1)), k3x2Map, 5, 1, {1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {CALL(ChangeCanvasSize(2, 4)), k3x2Map, 2, 4, {1, 2, 0, 4, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {CALL(ChangeCanvasSize(0, 0)), k3x2Map, 0, 0, {0}},
        {CALL(ChangeCanvasSize(2, 1)), kFresh, 2, 1, Grid(6, 0)},  // no grid yet: all sea
        {CALL(ClipArea(-5, -5, 2, 2)), k4x4Map, 2, 2, {1, 2, 2, 11, 12, 12, 11, 12, 12}},
        {CALL(ClipArea(3, 0, 5, 2)), k4x4Map, 1, 2, {4, 4, 14, 14, 14, 14}},
        {CALL(ClipArea(2, 3, 9, 9)), k4x4Map, 2, 1, {33, 34, 34, 33, 34, 34}},
        // Empty or out-of-range areas keep the whole map.
        {CALL(ClipArea(4, 0, 1, 1)), k4x4Map, 4, 4, {}},
        {CALL(ClipArea(1, 1, -2, 2)), k4x4Map, 4, 4, {}},
        {CALL(ClipArea(INT_MAX, INT_MAX, INT_MAX, INT_MAX)), k4x4Map, 4, 4, {}},
        {CALL(ClipArea(INT_MIN, INT_MIN, INT_MAX, INT_MAX)), k4x4Map, 4, 4, {}},
        // Out of contract, at sizes past those the map API fuzzer reaches: nothing changes.
        {CALL(CreateNewMap(INT_MAX, 0)), k3x2Map, 3, 2, {}},
        {CALL(CreateNewMap(40000, 40000)), k3x2Map, 3, 2, {}},
        {CALL(ChangeCanvasSize(1, INT_MAX)), k3x2Map, 3, 2, {}},
        {CALL(SetElevationData(2, 2, nullptr)), k3x2Map, 3, 2, {}},
        {CALL(SetElevationData(65535, 65535, kCells)), k3x2Map, 3, 2, {}},
        {CALL(ClearElevationData()), kFresh, 0, 0, {}},
        {CALL(ClipArea(0, 0, 2, 2)), kFresh, 0, 0, {}},
    };
    // clang-format on
    short numbered[16];
    for (int i = 0; i < 16; ++i) numbered[i] = static_cast<short>(10 * (i / 4) + i % 4 + 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call.name);
        CCtrlElvMap map;
        if (c.start == k3x2Map) map.SetElevationData(3, 2, kCells);
        if (c.start == k4x4Map) map.SetElevationData(4, 4, numbered);
        const Grid before = WholeGrid(map);
        const short* block = map.m_pElevation.get();
        c.call.run(map);
        ExpectSizes(map, c.width, c.height);
        if (c.grid.empty() && c.start != k4x4Map) {
            EXPECT_EQ(map.m_pElevation.get(), block);
        }
        EXPECT_EQ(WholeGrid(map), c.grid.empty() ? before : c.grid);
    }

    // CreateNewMap drops the display grid and resets its arguments; SetElevationData leaves
    // them for the host to invalidate.
    CCtrlElvMap map;
    map.m_pDisplayElevation = Zumeld::SharedBlock<short>::AllocateZeroed(4);
    map.ElevationDataModified();
    map.CreateNewMap(3, 2);
    EXPECT_TRUE(map.m_pDisplayElevation == nullptr);
    ExpectDisplayArguments(map, 0);
    map.ElevationDataModified();
    map.SetElevationData(3, 2, kCells);
    ExpectDisplayArguments(map, -1);
}

TEST(MapGrid, EraseFlattensLandAndDropsTheCompressedImageButNotItsMaximum) {
    CCtrlElvMap map;
    const short cells[8] = {0, 5, -3, 1, -32768, 32767, -1, 0};
    map.SetElevationData(8, 1, cells);
    map.m_pCompressedData = Zumeld::SharedBlock<BYTE>::AllocateZeroed(16);
    map.m_nCompressedSize = 16;
    map.m_nCompressedMaxElevation = 300;
    map.EraseLandTopography();
    EXPECT_EQ(Cells(map), (Grid{0, 1, 1, 1, 1, 1, 1, 0}));
    elv_test::ExpectMarginRule(map);
    EXPECT_TRUE(map.m_pCompressedData == nullptr);
    EXPECT_EQ(map.m_nCompressedSize, 0);
    EXPECT_EQ(map.m_nCompressedMaxElevation, 300);
    map.ClearElevationData();
    EXPECT_EQ(WholeGrid(map), Grid(18, 0));
}

// ---- Copies and shared blocks -------------------------------------------------------------

// Fills every block a map can hold with a known value (the grid with kCells).
void FillAllBlocks(CCtrlElvMap& map) {
    map.SetElevationData(3, 2, kCells);
    map.m_pDisplayElevation = Zumeld::SharedBlock<short>::Allocate(8);
    std::fill_n(map.m_pDisplayElevation.get(), 8, short{5});
    for (auto [block, value] : {std::pair{&map.m_pOverlapPixels, 6},
                                {&map.m_pDisplayOverlap, 7},
                                {&map.m_pCompressedData, 8}}) {
        *block = Zumeld::SharedBlock<BYTE>::Allocate(16);
        std::fill_n(block->get(), 16, static_cast<BYTE>(value));
    }
    map.m_nCompressedSize = 16;
}

// Reads every block the map holds (under ASan a released block fails here).
void ExpectBlocksReadable(const CCtrlElvMap& map) {
    EXPECT_EQ(WholeGrid(map), k3x2);
    EXPECT_EQ(map.m_pDisplayElevation[7], 5);
    EXPECT_EQ(map.m_pOverlapPixels[15], 6);
    EXPECT_EQ(map.m_pDisplayOverlap[15], 7);
    EXPECT_EQ(map.m_pCompressedData[15], 8);
    const Zumeld::tagTEXTURE_SLOT& slot = map.m_textureSlots[0];
    ASSERT_TRUE(slot.pLandPixels != nullptr);
    EXPECT_EQ(slot.pSeaPixels, slot.pLandPixels.get() + 2 * slot.nPlaneSize);
    EXPECT_GT(std::count_if(slot.pLandPixels.get(), slot.pLandPixels.get() + 3 * slot.nPlaneSize,
                            [](BYTE b) { return b != 0; }),
              0);
}

TEST(MapCopies, CopiesShareEveryBlockWhateverTheDestructionOrder) {
    // The source, a copy-constructed map and an assigned map, destroyed in every order.
    int order[3] = {0, 1, 2};
    do {
        std::unique_ptr<CCtrlElvMap> maps[3];
        maps[0] = std::make_unique<CCtrlElvMap>();
        FillAllBlocks(*maps[0]);
        maps[1] = std::make_unique<CCtrlElvMap>(*maps[0]);
        maps[2] = std::make_unique<CCtrlElvMap>();
        maps[2]->SetElevationData(1, 1, kCells);  // released by the assignment
        *maps[2] = *maps[1];
        *maps[2] = *maps[2];  // self-assignment keeps everything
        EXPECT_EQ(maps[0]->m_pElevation.use_count(), 3);
        EXPECT_EQ(maps[0]->m_textureSlots[0].pLandPixels.use_count(), 3);
        EXPECT_EQ(maps[2]->m_pBmp, &maps[2]->m_bmpInternal);
        for (int k = 0; k < 3; ++k) {
            maps[order[k]].reset();
            for (const auto& m : maps)
                if (m) ExpectBlocksReadable(*m);
        }
    } while (std::next_permutation(order, order + 3));
}

TEST(MapCopies, GridReplacementEndsSharingForOneHolderOnly) {
    const Call cases[] = {CALL(CopyElevationDataToNewBuffer()), CALL(CreateNewMap(3, 2)),
                          CALL(ChangeCanvasSize(3, 2)), CALL(ClipArea(0, 0, 3, 2)),
                          CALL(SetElevationData(3, 2, kCells))};
    for (const Call& c : cases) {
        for (bool replaceSource : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (replaceSource ? " on source" : ""));
            auto source = std::make_unique<CCtrlElvMap>();
            FillAllBlocks(*source);
            auto copy = std::make_unique<CCtrlElvMap>(*source);
            CCtrlElvMap& changed = replaceSource ? *source : *copy;
            CCtrlElvMap& kept = replaceSource ? *copy : *source;
            c.run(changed);
            EXPECT_NE(changed.m_pElevation.get(), kept.m_pElevation.get());
            changed.m_pElevation[0] = -1;
            const Grid replaced = WholeGrid(changed);
            EXPECT_EQ(WholeGrid(kept), k3x2);
            (replaceSource ? copy : source).reset();  // the kept holder goes first
            EXPECT_EQ(WholeGrid(changed), replaced);
        }
    }
}

// The drawing target is the host's buffer or the map's own bitmap (never null); the handle is
// always the internal bitmap's, and copies share that picture.
TEST(MapCopies, DrawingTargetAndPicture) {
    Quobel::CControlBmp host;
    ASSERT_TRUE(host.CreateBitmap(2, 2, 24, 0, nullptr));
    for (bool external : {false, true}) {
        auto source = std::make_unique<CCtrlElvMap>();
        ASSERT_TRUE(source->m_bmpInternal.CreateBitmap(4, 3, 24, 0, nullptr));
        source->SetExternalBmp(external ? &host : nullptr);
        const HBITMAP picture = source->m_bmpInternal.GetHbmp();
        CCtrlElvMap constructed(*source), assigned;
        assigned = *source;
        source.reset();
        for (CCtrlElvMap* copy : {&constructed, &assigned}) {
            EXPECT_EQ(copy->m_pBmp, external ? &host : &copy->m_bmpInternal);
            EXPECT_EQ(copy->GetHbmp(), picture);
            copy->SetInternalBmp();
            EXPECT_EQ(copy->m_pBmp, &copy->m_bmpInternal);
        }
    }
}

}  // namespace
