// Resizing: rows, then columns, each line by interpolation or by slice means.
#include <gtest/gtest.h>

#include <vector>

#include "transform_test_util.h"

using Zumeld::ResizeGrid;
using zumeld_test::AllRows;
using zumeld_test::ResultCell;
using zumeld_test::Rows;
using zumeld_test::TestGrid;

TEST(TransformResize, WorkedLinesAlongRowsAndColumns) {
    struct Case {
        std::vector<int> in, out;
    } cases[] = {{{0, 100}, {0, 25, 50, 75, 100}},
                 {{0, 100, 200, 300, 400}, {100, 300}},
                 {{0, 100, 200, 300}, {0, 100, 200}},  // one cell fewer drops the last cell
                 {{0, 90, 30}, {52}},                  // the mean 52.5, truncated
                 // Slices of three intervals: the means of the ramp over [0,3], [3,6], [6,9].
                 {{0, 10, 20, 30, 40, 50, 60, 70, 80, 90}, {15, 45, 75}},
                 {{-100, 0}, {-100, -66, -33, 0}},  // truncation toward zero, not floor
                 {{7}, {7, 7, 7, 7}},               // one cell: the scale is 0
                 {{3, -8, 12}, {3, -8, 12}}};       // same length: a copy
    for (const Case& c : cases) {
        const int n = static_cast<int>(c.in.size()), m = static_cast<int>(c.out.size());
        SCOPED_TRACE(testing::Message() << n << " to " << m);
        TestGrid row(n, 1), column(1, n);
        for (int i = 0; i < n; ++i) row.at(0, i) = column.at(i, 0) = static_cast<short>(c.in[i]);
        const Zumeld::TransformedGrid rows = ResizeGrid(row.view(), m, 1);
        const Zumeld::TransformedGrid cols = ResizeGrid(column.view(), 1, m);
        ASSERT_TRUE(rows && cols);
        EXPECT_EQ(AllRows(rows)[0], c.out);
        std::vector<int> got;
        for (int r = 0; r < m; ++r) got.push_back(ResultCell(cols, r, 0));
        EXPECT_EQ(got, c.out);
    }

    // Two cells of 100 widened to 13: in column 1 the weights add up to a hair under 1, and
    // the result is truncated, not rounded.
    const Zumeld::TransformedGrid wide = ResizeGrid(TestGrid(2, 1, 100).view(), 13, 1);
    ASSERT_TRUE(wide);
    const std::vector<int> row = AllRows(wide)[0];
    EXPECT_EQ(row[0], 100);
    EXPECT_EQ(row[1], 99);
    EXPECT_EQ(row[12], 100);
    for (int v : row) EXPECT_TRUE(v == 99 || v == 100) << v;

    // Rows first: 0,1 -> 0,0,1 and 1,2 -> 1,1,2 (0.5 and 1.5 truncated); then the middle
    // column 0,1 -> 0,0,1. A one-step bilinear resample would put 1 in the centre.
    const TestGrid src{{0, 1}, {1, 2}};
    const Zumeld::TransformedGrid g = ResizeGrid(src.view(), 3, 3);
    ASSERT_TRUE(g);
    EXPECT_EQ(AllRows(g), (Rows{{0, 0, 1}, {0, 0, 1}, {1, 1, 2}}));
    const Zumeld::TransformedGrid corner = ResizeGrid(src.view(), 1, 1);
    ASSERT_TRUE(corner);
    EXPECT_EQ(corner.cells[0], 0);  // one cell fewer on both axes keeps the top-left cell

    for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-3, -3}, {50000, 50000}})  // 50000^2: 5 GB
        EXPECT_FALSE(ResizeGrid(src.view(), w, h)) << w << "x" << h;
    EXPECT_FALSE(ResizeGrid({nullptr, 3, 2, 2}, 4, 4));
    EXPECT_FALSE(ResizeGrid({src.cells.data(), src.stride, 0, 2}, 4, 4));
}

// Tall maps are done in column strips: 6000 rows of the ramp 0, 10, .. 990 widened from 100 to
// 199 columns (a scale of exactly 0.5) read 5 k in column k on every row, whichever strip.
TEST(TransformResize, TallMapsAreDoneInColumnStripsWithTheSameCells) {
    TestGrid tall(100, 6000);
    for (int r = 0; r < tall.height; ++r)
        for (int c = 0; c < tall.width; ++c) tall.at(r, c) = static_cast<short>(10 * c);
    const Zumeld::TransformedGrid g = ResizeGrid(tall.view(), 199, 6000);
    ASSERT_TRUE(g);
    for (int r = 0; r < 6000; r += 7)
        for (int k = 0; k < 199; ++k) ASSERT_EQ(ResultCell(g, r, k), 5 * k) << r << "," << k;
}
