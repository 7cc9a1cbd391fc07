// The terrain-edit members: each installs its result through the one grid replacement,
// which sets the sizes, restores the margin and marks the display grid stale; refused
// edits leave the map untouched; an undo copy keeps the grid it had.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "zumeld/elevation/CtrlElvMap.h"

namespace {

using Zumeld::CCtrlElvMap;

struct EditCase {
    const char* name;
    std::function<void(CCtrlElvMap&, bool)> edit;
    int newWidth, newHeight;  // on the 6 x 4 test map
};

const EditCase kEdits[] = {
    {"sink", [](CCtrlElvMap& m, bool d) { m.TransSink(50, 3, 1, 10, 10, false, d); }, 6, 4},
    {"size up", [](CCtrlElvMap& m, bool d) { m.TransSize(11, 7, d); }, 11, 7},
    {"size down", [](CCtrlElvMap& m, bool d) { m.TransSize(4, 2, d); }, 4, 2},
    {"rotate 90", [](CCtrlElvMap& m, bool d) { m.TransRotate(90, d); }, 4, 6},
    {"rotate 180", [](CCtrlElvMap& m, bool d) { m.TransRotate(-180, d); }, 6, 4},
    {"rotate 30", [](CCtrlElvMap& m, bool d) { m.TransRotate(30, d); }, 8, 7},
    {"sector", [](CCtrlElvMap& m, bool d) { m.TransSector(120, 40, d); }, 6, 3},
    {"barrel", [](CCtrlElvMap& m, bool d) { m.TransBarrel(0.1, 0, -2.5, d); }, 6, 4},
};

// A 6 x 4 map with land, sea and a negative cell; cell (c, r) of the margin-less array.
std::vector<short> TestCells() {
    return {0,  120, 340, 560, 780, 900,  //
            10, 200, -30, 600, 800, 950,  //
            0,  0,   400, 650, 850, 990,  //
            5,  60,  450, 700, 870, 1000};
}

std::vector<short> GridOf(const CCtrlElvMap& map) {
    const short* p = map.m_pElevation.get();
    return std::vector<short>(p, p + static_cast<std::size_t>(map.m_nBufferWidth) *
                                         static_cast<std::size_t>(map.m_nBufferHeight));
}

void ExpectStretchArguments(const CCtrlElvMap& map, int value, const char* name) {
    EXPECT_EQ(map.m_nStretchLeft, value) << name;
    EXPECT_EQ(map.m_nStretchTop, value) << name;
    EXPECT_EQ(map.m_nStretchWidth, value) << name;
    EXPECT_EQ(map.m_nStretchHeight, value) << name;
    EXPECT_EQ(map.m_nDisplayWidth, value) << name;
    EXPECT_EQ(map.m_nDisplayHeight, value) << name;
}

// The margin rule: each row's margin cell repeats its last map cell, and the margin row
// repeats the last map row, margin cell included.
void ExpectMarginRule(const CCtrlElvMap& map, const char* name) {
    const int w = map.m_nWidth, h = map.m_nHeight, stride = map.m_nBufferWidth;
    const short* g = map.m_pElevation.get();
    for (int r = 0; r < h; ++r)
        EXPECT_EQ(g[r * stride + w], g[r * stride + w - 1]) << name << " row " << r;
    for (int c = 0; c <= w; ++c)
        EXPECT_EQ(g[h * stride + c], g[(h - 1) * stride + c]) << name << " column " << c;
}

}  // namespace

TEST(TransformReplace, EveryEditInstallsSizesMarginAndStaleDisplay) {
    for (const EditCase& e : kEdits) {
        for (bool deleteOld : {true, false}) {
            CCtrlElvMap map;
            std::vector<short> cells = TestCells();
            map.SetElevationData(6, 4, cells.data());
            e.edit(map, deleteOld);
            ASSERT_TRUE(map.m_pElevation) << e.name;
            EXPECT_EQ(map.m_nWidth, e.newWidth) << e.name;
            EXPECT_EQ(map.m_nHeight, e.newHeight) << e.name;
            EXPECT_EQ(map.m_nBufferWidth, e.newWidth + 1) << e.name;
            EXPECT_EQ(map.m_nBufferHeight, e.newHeight + 1) << e.name;
            EXPECT_EQ(map.m_nRowBytes, (e.newWidth + 1) * 2) << e.name;
            ExpectMarginRule(map, e.name);
            ExpectStretchArguments(map, -1, e.name);
        }
    }
}

TEST(TransformReplace, UndoCopyKeepsItsGridWithEitherDeleteOld) {
    for (const EditCase& e : kEdits) {
        for (bool deleteOld : {true, false}) {
            CCtrlElvMap map;
            std::vector<short> cells = TestCells();
            map.SetElevationData(6, 4, cells.data());
            const std::vector<short> before = GridOf(map);
            CCtrlElvMap undo(map);
            const short* held = undo.m_pElevation.get();
            e.edit(map, deleteOld);
            // The edited map has a grid of its own; the copy still holds the old one,
            // unchanged, and is now its only holder.
            EXPECT_NE(map.m_pElevation.get(), held) << e.name;
            EXPECT_EQ(undo.m_pElevation.get(), held) << e.name;
            EXPECT_EQ(undo.m_pElevation.use_count(), 1) << e.name;
            EXPECT_EQ(undo.m_nWidth, 6) << e.name;
            EXPECT_EQ(undo.m_nHeight, 4) << e.name;
            EXPECT_EQ(GridOf(undo), before) << e.name << (deleteOld ? " delete" : " keep");
            // Going back: the undo state assigned over the map restores it.
            map = undo;
            EXPECT_EQ(GridOf(map), before) << e.name;
        }
    }
}

TEST(TransformReplace, SinkAtTheLastColumnAndRowUpdatesTheMargin) {
    CCtrlElvMap map;
    const short cells[] = {10, 20, 30, 40, 50, 60};  // 3 x 2
    map.SetElevationData(3, 2, cells);
    map.TransSink(25, 2, 1, 1, 1, false, true);
    EXPECT_EQ(GridOf(map), (std::vector<short>{10, 20, 30, 30, 40, 50, 35, 35, 40, 50, 35, 35}));
}

TEST(TransformReplace, EditsWithoutAGridChangeNothing) {
    for (const EditCase& e : kEdits) {
        CCtrlElvMap map;
        e.edit(map, true);
        EXPECT_TRUE(map.m_pElevation == nullptr) << e.name;
        EXPECT_EQ(map.m_nWidth, 0) << e.name;
        EXPECT_EQ(map.m_nHeight, 0) << e.name;
        ExpectStretchArguments(map, 0, e.name);
    }
}

TEST(TransformReplace, RefusedEditsLeaveTheMapAsItWas) {
    const std::function<void(CCtrlElvMap&)> refused[] = {
        [](CCtrlElvMap& m) { m.TransSize(0, 5, true); },
        [](CCtrlElvMap& m) { m.TransSize(5, -1, true); },
        [](CCtrlElvMap& m) { m.TransSize(60000, 60000, true); },
        [](CCtrlElvMap& m) { m.TransSector(0, 10, true); },
        [](CCtrlElvMap& m) { m.TransSector(361, 10, true); },
        [](CCtrlElvMap& m) { m.TransSector(90, 100, true); },
        [](CCtrlElvMap& m) { m.TransSector(90, -5, true); },
    };
    int n = 0;
    for (const auto& edit : refused) {
        CCtrlElvMap map;
        std::vector<short> cells = TestCells();
        map.SetElevationData(6, 4, cells.data());
        const short* grid = map.m_pElevation.get();
        const std::vector<short> before = GridOf(map);
        edit(map);
        EXPECT_EQ(map.m_pElevation.get(), grid) << n;
        EXPECT_EQ(map.m_nWidth, 6) << n;
        EXPECT_EQ(map.m_nHeight, 4) << n;
        EXPECT_EQ(GridOf(map), before) << n;
        ExpectStretchArguments(map, 0, "refused");
        ++n;
    }
}
