// Sinking an area: the land in a rectangle goes down by a 16-bit depth.
#include <gtest/gtest.h>

#include <climits>

#include "transform_test_util.h"

using Zumeld::SinkArea;
using zumeld_test::AllRows;
using zumeld_test::Rows;
using zumeld_test::TestGrid;

TEST(TransformSink, WorkedRectangles) {
    struct Case {
        const char* name;
        int depth, left, top, width, height;
        bool keepLand;
        Rows rows;
    };
    // clang-format off
    const TestGrid src{{5, 0, 300, -7}, {1, 40, -2, 9}, {0, 200, 30000, 2}};
    const Case cases[] = {
        // Deeper than every cell of columns 1-2 of rows 0-1: all sea; with keepLand, land
        // stops at 1, sea stays 0 and negative cells become 0.
        {"deep", 1000, 1, 0, 2, 2, false, {{5, 0, 0, -7}, {1, 0, 0, 9}, {0, 200, 30000, 2}}},
        {"deep keep", 1000, 1, 0, 2, 2, true, {{5, 0, 1, -7}, {1, 1, 0, 9}, {0, 200, 30000, 2}}},
        // Depth 0 changes only the negative cells of the rectangle.
        {"zero", 0, 0, 0, 4, 3, false, {{5, 0, 300, 0}, {1, 40, 0, 9}, {0, 200, 30000, 2}}},
        {"partial", 3, 0, 0, 1, 2, false, {{2, 0, 300, -7}, {0, 40, -2, 9}, {0, 200, 30000, 2}}},
        {"partial keep", 3, 0, 0, 1, 2, true, {{2, 0, 300, -7}, {1, 40, -2, 9}, {0, 200, 30000, 2}}},
        // A negative depth raises land; past 32767 it saturates instead of wrapping.
        {"raise", -3000, 1, 1, 2, 2, false, {{5, 0, 300, -7}, {1, 3040, 0, 9}, {0, 3200, 32767, 2}}},
        // The depth is a 16-bit amount: 65536 + 4 sinks by 4, 40000 raises by 25536.
        {"wrap 4", 65540, 0, 0, 1, 1, false, {{1, 0, 300, -7}, {1, 40, -2, 9}, {0, 200, 30000, 2}}},
        {"wrap raise", 40000, 2, 0, 1, 1, false, {{5, 0, 25836, -7}, {1, 40, -2, 9}, {0, 200, 30000, 2}}},
        // Clipped to the used grid; extreme sizes do not overflow; empty rectangles copy.
        {"clipped", 1, -5, -5, 100, 100, false, {{4, 0, 299, 0}, {0, 39, 0, 8}, {0, 199, 29999, 1}}},
        {"huge", 1, 3, 2, INT_MAX, INT_MAX, false, {{5, 0, 300, -7}, {1, 40, -2, 9}, {0, 200, 30000, 1}}},
        {"empty", 1, 2, 1, 0, 5, false, {{5, 0, 300, -7}, {1, 40, -2, 9}, {0, 200, 30000, 2}}},
        {"outside", 1, 4, 0, 3, 3, false, {{5, 0, 300, -7}, {1, 40, -2, 9}, {0, 200, 30000, 2}}}
    };
    // clang-format on
    for (const Case& c : cases) {
        const Zumeld::TransformedGrid g =
            SinkArea(src.view(), c.depth, c.left, c.top, c.width, c.height, c.keepLand);
        ASSERT_TRUE(g) << c.name;
        EXPECT_EQ(AllRows(g), c.rows) << c.name;
    }

    // Every land value raised by the largest 16-bit amount stays land and at most 32767.
    for (int v : {1, 2, 16384, 32767}) {
        const Zumeld::TransformedGrid g =
            SinkArea(TestGrid(1, 1, static_cast<short>(v)).view(), -32768, 0, 0, 1, 1, false);
        ASSERT_TRUE(g);
        EXPECT_EQ(g.cells[0], 32767) << v;
    }

    // No grid or no used cells: nothing.
    const short cell = 5;
    for (Zumeld::GridView bad : {Zumeld::GridView{nullptr, 1, 1, 1},
                                 {&cell, 1, 0, 1},
                                 {&cell, 1, 1, 0},
                                 {&cell, 1, -3, 1}})
        EXPECT_FALSE(SinkArea(bad, 1, 0, 0, 1, 1, false)) << bad.width << "x" << bad.height;
}
