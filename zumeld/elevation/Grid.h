// Kernels over elevation grids: blocks of signed 16-bit cells, row after row, `stride` cells
// from one row start to the next. A map grid of width x height map cells has stride
// width + 1 and height + 1 rows: the last column and row are the margin, which repeats the
// last map column and row so that interpolation may read one cell right of and below any
// map cell. The kernels own nothing; the caller keeps every pointer valid for the sizes given.
// Not thread-safe on overlapping blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Zumeld {

// Largest grid block, in bytes, that a map holds (row and block sizes are 32-bit ints).
constexpr std::int64_t kMaxGridBytes = 0x7FFFFFFF;

// The number of cells of the grid of a width x height map ((width + 1) x (height + 1)),
// or 0 when a size is negative or the block would exceed kMaxGridBytes.
std::size_t GridCellCount(int width, int height);

// Copies a block of cols x rows cells; rows of src are srcStride cells apart, rows of dst
// dstStride. Each row is one block move.
// Requires: both blocks hold rows x cols cells at their strides; they do not overlap.
// Otherwise: cols or rows of 0 or less copy nothing.
void CopyGridBlock(short* dst, std::ptrdiff_t dstStride, const short* src, std::ptrdiff_t srcStride,
                   int cols, int rows);

// Fills the margin of a width x height map grid (stride width + 1, height + 1 rows): each
// map row's margin cell repeats its last map cell, and the margin row repeats the last map
// row, its margin cell included.
// Requires: width >= 1, height >= 1. Otherwise: nothing is written.
void FillGridMargin(short* grid, int width, int height);

// Flattens land: every non-zero cell becomes 1, sea (0) stays 0. One branch-free pass.
void EraseLandCells(short* cells, std::size_t count);

}  // namespace Zumeld
