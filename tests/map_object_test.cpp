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

using Grid = std::vector<short>;

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

}  // namespace
