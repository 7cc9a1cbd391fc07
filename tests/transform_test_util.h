// Helpers for the terrain-transform tests: small grids written as rows, views of them, and
// the rows of a transform's result.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <vector>

#include "zumeld/transform/Transforms.h"

namespace zumeld_test {

// A width x height grid with a row stride wider than the map: two padding cells per row,
// holding kPadding, so that a kernel reading past a row or using the wrong stride shows.
constexpr short kPadding = 31111;

struct TestGrid {
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    std::vector<short> cells;

    TestGrid(int w, int h, short fill = 0)
        : width(w),
          height(h),
          stride(w + 2),
          cells(static_cast<std::size_t>((w + 2) * h), kPadding) {
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) at(r, c) = fill;
    }
    TestGrid(std::initializer_list<std::initializer_list<int>> rows)
        : TestGrid(static_cast<int>(rows.begin()->size()), static_cast<int>(rows.size())) {
        int r = 0;
        for (const auto& row : rows) {
            int c = 0;
            for (int v : row) at(r, c++) = static_cast<short>(v);
            ++r;
        }
    }
    short& at(int r, int c) { return cells[static_cast<std::size_t>(r * stride + c)]; }
    Zumeld::GridView view() const { return {cells.data(), stride, width, height}; }
};

// Row r of a transform's result (its used cells).
inline std::vector<int> ResultRow(const Zumeld::TransformedGrid& g, int r) {
    std::vector<int> row;
    const short* p = g.cells.get() + static_cast<std::ptrdiff_t>(r) * (g.width + 1);
    for (int c = 0; c < g.width; ++c) row.push_back(p[c]);
    return row;
}

inline short ResultCell(const Zumeld::TransformedGrid& g, int r, int c) {
    return g.cells[static_cast<std::ptrdiff_t>(r) * (g.width + 1) + c];
}

}  // namespace zumeld_test
