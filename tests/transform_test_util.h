// Helpers of the terrain-transform tests: small grids written as rows, and a result's rows.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <vector>

#include "zumeld/transform/Transforms.h"

namespace zumeld_test {

// A width x height grid whose rows carry two padding cells of kPadding, so that a kernel
// reading past a row or using the wrong stride shows.
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

using Rows = std::vector<std::vector<int>>;

inline short ResultCell(const Zumeld::TransformedGrid& g, int r, int c) {
    return g.cells[static_cast<std::ptrdiff_t>(r) * (g.width + 1) + c];
}

// The used cells of a transform's result, row by row.
inline Rows AllRows(const Zumeld::TransformedGrid& g) {
    Rows rows(static_cast<std::size_t>(g.height));
    for (int r = 0; r < g.height; ++r)
        for (int c = 0; c < g.width; ++c) rows[r].push_back(ResultCell(g, r, c));
    return rows;
}

}  // namespace zumeld_test
