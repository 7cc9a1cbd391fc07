// The terrain-edit members: each installs its result through the one grid replacement, which
// sets the sizes, restores the margin and marks the display grid stale; refused edits leave the
// map untouched; an undo copy keeps the grid it had.
#include <gtest/gtest.h>

#include <vector>

#include "elv_test_support.h"

namespace {

using Zumeld::CCtrlElvMap;
using namespace elv_test;

// A 6 x 4 map with land, sea and a negative cell.
void MakeTestMap(CCtrlElvMap& map) {
    const short cells[] = {0, 120, 340, 560, 780, 900, 10, 200, -30, 600, 800, 950,
                           0, 0,   400, 650, 850, 990, 5,  60,  450, 700, 870, 1000};
    map.SetElevationData(6, 4, cells);
}

}  // namespace

TEST(TransformReplace, EditsInstallAGridOfTheirOwnAndTheUndoCopyKeepsTheOld) {
    struct Case {
        const char* name;
        void (*edit)(CCtrlElvMap&, bool);
        int newWidth, newHeight;
    } cases[] = {
        {"sink", [](CCtrlElvMap& m, bool d) { m.TransSink(50, 3, 1, 10, 10, false, d); }, 6, 4},
        {"size up", [](CCtrlElvMap& m, bool d) { m.TransSize(11, 7, d); }, 11, 7},
        {"size down", [](CCtrlElvMap& m, bool d) { m.TransSize(4, 2, d); }, 4, 2},
        {"rotate 90", [](CCtrlElvMap& m, bool d) { m.TransRotate(90, d); }, 4, 6},
        {"rotate 180", [](CCtrlElvMap& m, bool d) { m.TransRotate(-180, d); }, 6, 4},
        {"rotate 30", [](CCtrlElvMap& m, bool d) { m.TransRotate(30, d); }, 8, 7},
        {"sector", [](CCtrlElvMap& m, bool d) { m.TransSector(120, 40, d); }, 6, 3},
        {"barrel", [](CCtrlElvMap& m, bool d) { m.TransBarrel(0.1, 0, -2.5, d); }, 6, 4}};
    for (const Case& e : cases) {
        for (bool deleteOld : {true, false}) {
            SCOPED_TRACE(testing::Message() << e.name << (deleteOld ? " delete" : " keep"));
            CCtrlElvMap map;
            MakeTestMap(map);
            const std::vector<short> before = WholeGrid(map);
            CCtrlElvMap undo(map);
            const short* held = undo.m_pElevation.get();
            e.edit(map, deleteOld);
            ASSERT_TRUE(map.m_pElevation);
            EXPECT_EQ(map.m_nWidth, e.newWidth);
            EXPECT_EQ(map.m_nHeight, e.newHeight);
            EXPECT_EQ(map.m_nBufferWidth, e.newWidth + 1);
            EXPECT_EQ(map.m_nBufferHeight, e.newHeight + 1);
            EXPECT_EQ(map.m_nRowBytes, (e.newWidth + 1) * 2);
            ExpectMarginRule(map);
            ExpectDisplayArguments(map, -1);
            // The copy still holds the old grid, unchanged, and is now its only holder.
            EXPECT_NE(map.m_pElevation.get(), held);
            EXPECT_EQ(undo.m_pElevation.get(), held);
            EXPECT_EQ(undo.m_pElevation.use_count(), 1);
            EXPECT_EQ(WholeGrid(undo), before);
        }
        CCtrlElvMap empty;  // without a grid: nothing changes
        e.edit(empty, true);
        EXPECT_TRUE(empty.m_pElevation == nullptr) << e.name;
        EXPECT_EQ(empty.m_nWidth + empty.m_nHeight, 0) << e.name;
        ExpectDisplayArguments(empty, 0);
    }
}

TEST(TransformReplace, RefusedEditsLeaveTheMapAsItWas) {
    void (*const refused[])(CCtrlElvMap&) = {
        [](CCtrlElvMap& m) { m.TransSize(0, 5, true); },
        [](CCtrlElvMap& m) { m.TransSize(5, -1, true); },
        [](CCtrlElvMap& m) { m.TransSize(60000, 60000, true); },
        [](CCtrlElvMap& m) { m.TransSector(0, 10, true); },
        [](CCtrlElvMap& m) { m.TransSector(361, 10, true); },
        [](CCtrlElvMap& m) { m.TransSector(90, 100, true); },
        [](CCtrlElvMap& m) { m.TransSector(90, -5, true); }};
    for (std::size_t n = 0; n < std::size(refused); ++n) {
        CCtrlElvMap map;
        MakeTestMap(map);
        const short* grid = map.m_pElevation.get();
        const std::vector<short> before = WholeGrid(map);
        refused[n](map);
        EXPECT_EQ(map.m_pElevation.get(), grid) << n;
        EXPECT_EQ(map.m_nWidth, 6) << n;
        EXPECT_EQ(WholeGrid(map), before) << n;
        ExpectDisplayArguments(map, 0);
    }
}
