// Terrain transforms: pure functions from an old elevation grid to a new one. The old grid
// is read through a view (first cell, row stride in cells, used width and height); only its
// used cells are read. The result is a new map grid of (width + 1) x (height + 1) cells,
// row stride width + 1, whose margin column and row are 0: the map fills them when it
// installs the grid. An empty result (null cells) means "no change". Elevations are signed
// 16-bit; the arithmetic is IEEE double in a fixed order, truncated toward zero unless a
// function says otherwise (docs: the comments at each step). Thread-safe: no shared state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "zumeld/util/SharedBlock.h"

namespace Zumeld {

// A read-only view of the used cells of a grid.
struct GridView {
    const short* cells = nullptr;
    std::ptrdiff_t stride = 0;  // cells from one row start to the next
    int width = 0;
    int height = 0;
};

// A transform's result: a new map grid (stride width + 1, margin 0), or null for no change.
struct TransformedGrid {
    SharedBlock<short> cells;
    int width = 0;
    int height = 0;
    explicit operator bool() const { return static_cast<bool>(cells); }
};

// True when src has cells and a used size of at least 1 x 1, and stride >= width.
bool IsUsableGrid(const GridView& src);

// A zeroed map grid of width x height used cells, or null when a size is below 1 or the
// block of (width + 1) x (height + 1) cells would exceed kMaxGridBytes (elevation/Grid.h).
TransformedGrid AllocateTransformGrid(std::int64_t width, std::int64_t height);

// Converts a transform's double result to an elevation by truncation toward zero, clamped
// to the 16-bit range (NaN gives 0). In-range values are plain truncation. Internal linkage:
// the AVX2 rotation rows use it too, and keep their own copy (RotateRow.h).
namespace {
inline short TruncToElevation(double v) {
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    if (!(v == v)) return 0;
    return static_cast<short>(static_cast<int>(v));
}
}  // namespace

// ---- Sinking an area ----------------------------------------------------------------------
// Lowers the land (cells >= 1) inside the rectangle by depth, taken as a signed 16-bit
// amount (its low 16 bits); a result above 32767 (a negative depth raising land) saturates
// at 32767. With keepLand, land that would reach 0 or below stays at 1. Every cell of the
// rectangle that ends negative becomes 0. Cells outside the rectangle are copied.
// Requires: a usable grid. Otherwise: null.
// The rectangle is clipped to the used grid; an empty one copies the grid unchanged.
TransformedGrid SinkArea(const GridView& src, int depth, int left, int top, int areaWidth,
                         int areaHeight, bool keepLand);

// ---- Resizing -------------------------------------------------------------------------------
// Stretches or squeezes the terrain to newWidth x newHeight cells: rows first, then columns,
// each line by linear interpolation (enlarging, end cells coinciding) or by the mean of
// the piecewise-linear line over equal slices (reducing); the truncated row results feed
// the column pass. Time grows with old cells + old height x new width + new cells (a
// 1 x 2^20 map made 2^20 x 1 walks 2^40 cells).
// Requires: a usable grid; newWidth, newHeight >= 1; the result fits. Otherwise: null.
TransformedGrid ResizeGrid(const GridView& src, int newWidth, int newHeight);

// ---- Rotation ---------------------------------------------------------------------------------
// Entries of the lens kernel: entry i is the area in which two unit circles overlap when
// their centres are sqrt(i / 32) apart (entry 0 = pi, 0 from entry 128 on).
std::array<double, 256> MakeLensKernelTable();

// Turns the terrain counterclockwise on screen by angleDegrees. Negative angles are
// brought into 0 .. 359; 0, 90, 180 and 270 permute the cells exactly; every other angle
// (360 and above included) resamples onto the bounding box of the turned map with the
// lens kernel, rounding half away from zero; uncovered cells are sea.
// Requires: a usable grid; the result fits. Otherwise: null.
TransformedGrid RotateGrid(const GridView& src, int angleDegrees);

// ---- Warps ----------------------------------------------------------------------------------
// Bends the map into a sector of a ring spanning angleDegrees, inner radius innerPercent
// of the outer: rows become arcs (top row innermost), columns radii. Each new cell is the
// area-weighted mean of the old cells its preimage covers; cells off the fan are sea.
// Requires: a usable grid; 0 < angleDegrees <= 360; 0 <= innerPercent < 100; the
// bounding box of the fan fits. Otherwise: null.
TransformedGrid SectorWarp(const GridView& src, double angleDegrees, double innerPercent);

// Squeezes each row r into the centred span [xl, -xl], xl = (a y + b) y + c with
// y = r - height / 2, clipped to the map's half-width; cells are area means of the row.
// The size is kept; cells outside the spans are sea, and so is every row with xl >= 0.
// Requires: a usable grid. Otherwise: null.
TransformedGrid BarrelWarp(const GridView& src, double a, double b, double c);

}  // namespace Zumeld
