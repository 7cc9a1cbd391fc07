// Point in polygon: worked examples, refusals, and agreement with the spans of the scan
// conversion on random polygons whose edges are all steep.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "test_random.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/geometry/ScanConvert.h"

namespace {

using Zumeld::PointInPolygon;
using Points = std::vector<tagPOINT>;

TEST(PointInPolygon, WorkedExamples) {
    const struct {
        const char* polygon;
        Points points, inside, outside;
    } cases[] = {
        {"square",
         {{2, 2}, {6, 2}, {6, 6}, {2, 6}},
         {{2, 2}, {6, 6}, {6, 4}, {4, 4}, {2, 6}, {4, 2}},
         {{7, 4}, {1, 4}, {4, 1}, {4, 7}}},
        {"diamond",
         {{5, 0}, {10, 5}, {5, 10}, {0, 5}},
         {{5, 0}, {10, 5}, {5, 10}, {0, 5}, {5, 5}},
         {{-1, 5}, {11, 5}, {4, 0}, {6, 0}}},
        {"U",
         {{0, 0}, {3, 0}, {3, 6}, {6, 6}, {6, 0}, {9, 0}, {9, 9}, {0, 9}},
         {{3, 6}, {6, 6}, {1, 0}, {4, 7}},
         {{4, 6}, {4, 5}, {4, 0}}},
        // A shallow edge counts only at its rounded crossing column, not along its run (the
        // spans of row 0 cover 0..5).
        {"flat triangle", {{0, 0}, {10, 1}, {0, 2}}, {{0, 0}, {5, 1}, {10, 1}}, {{3, 0}}},
        {"bow tie", {{0, 0}, {10, 10}, {10, 0}, {0, 10}}, {{2, 5}, {5, 5}, {8, 5}}, {{5, 2}}},
        {"segment", {{0, 0}, {3, 3}}, {{1, 1}, {0, 0}, {3, 3}}, {{1, 2}, {4, 4}}},
        {"single point", {{4, 4}}, {}, {{4, 4}}},
        {"one row", {{1, 4}, {9, 4}}, {}, {{5, 4}}},
        // Across the 32-bit range, without clipping to any area.
        {"32-bit square",
         {{INT32_MIN, INT32_MIN},
          {INT32_MAX, INT32_MIN},
          {INT32_MAX, INT32_MAX},
          {INT32_MIN, INT32_MAX}},
         {{0, 0}, {INT32_MAX, INT32_MIN}, {-40000, 70000}},
         {}},
        {"32-bit diagonal", {{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}}, {{5, 5}}, {{6, 5}}},
    };
    for (const auto& c : cases) {
        const int n = static_cast<int>(c.points.size());
        for (const tagPOINT& p : c.inside)
            EXPECT_TRUE(PointInPolygon(p, c.points.data(), n))
                << c.polygon << " (" << p.x << "," << p.y << ")";
        for (const tagPOINT& p : c.outside)
            EXPECT_FALSE(PointInPolygon(p, c.points.data(), n))
                << c.polygon << " (" << p.x << "," << p.y << ")";
    }
    // Too few or no points: outside.
    const Points sq{{2, 2}, {6, 2}, {6, 6}, {2, 6}};
    EXPECT_FALSE(PointInPolygon({4, 4}, nullptr, 4));
    for (int n : {1, 0, -2}) EXPECT_FALSE(PointInPolygon({4, 4}, sq.data(), n)) << n;
    // The member reads nothing of the map (display size 0 does not clip).
    Zumeld::CCtrlElvMap map;
    Points big{{100, 100}, {200, 100}, {200, 200}, {100, 200}};
    EXPECT_TRUE(map.PtInPolygon({150, 150}, big.data(), 4));
    EXPECT_FALSE(map.PtInPolygon({250, 150}, big.data(), 4));
}

// A closed polygon whose every edge has |dx| <= dy and dy >= 1 (no horizontal edges): y
// values with distinct neighbours, x moving at most as far as y along each edge, retried
// until the closing edge is steep too.
Points RandomSteepPolygon(zumeld_test::TestRandom& rng, int size) {
    for (;;) {
        const int n = static_cast<int>(rng.Range(2, 9));
        Points p(static_cast<std::size_t>(n));
        p[0] = {static_cast<LONG>(rng.Range(-4, size + 3)),
                static_cast<LONG>(rng.Range(-4, size + 3))};
        for (int i = 1; i < n; ++i) {
            LONG y;
            do y = static_cast<LONG>(rng.Range(-4, size + 3));
            while (y == p[i - 1].y);
            const std::int64_t dy = std::llabs(y - p[i - 1].y);
            p[i] = {static_cast<LONG>(p[i - 1].x + rng.Range(-dy, dy)), y};
        }
        const std::int64_t dy = std::llabs(p[n - 1].y - p[0].y);
        if (dy >= 1 && std::llabs(p[n - 1].x - p[0].x) <= dy) return p;
    }
}

TEST(PointInPolygon, AgreesWithTheSpansOnSteepPolygons) {
    constexpr int kSize = 24;
    zumeld_test::TestRandom rng(0x9017);
    std::vector<Zumeld::tagHorzLine> lines(4096);
    for (int iter = 0; iter < 400 && !HasFailure(); ++iter) {
        const Points poly = RandomSteepPolygon(rng, kSize);
        const int n = static_cast<int>(poly.size());
        const int count =
            Zumeld::ScanConvertPolygon(poly.data(), n, kSize, kSize, lines.data(), 4096);
        ASSERT_LT(count, 4096);
        bool covered[kSize][kSize] = {};
        for (int i = 0; i < count; ++i)
            for (int x = lines[i].left; x <= lines[i].right; ++x) covered[lines[i].y][x] = true;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                EXPECT_EQ(PointInPolygon({x, y}, poly.data(), n), covered[y][x])
                    << "seed " << rng.Seed() << " iteration " << iter << " pixel (" << x << "," << y
                    << ")";
    }
}

}  // namespace
