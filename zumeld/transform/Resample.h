// Elevation resampling: an area of a map grid scaled to a display grid by copy, point
// sampling or fixed-point bilinear enlargement, and the overlay picture scaled to match.
// Kernels write into buffers the caller owns and allocate nothing; no shared state.
//
// The area is left, top, srcWidth x srcHeight map cells shown on dispWidth x dispHeight
// pixels; display cell (i, j) stands for map position (left + i * srcWidth / dispWidth,
// top + j * srcHeight / dispHeight). The map grid is read through a GridView (Transforms.h)
// of the map size whose block also holds the margin column and row (stride >= width + 1,
// height + 1 rows), which bilinear enlargement reads as the right and lower neighbours.
#pragma once

#include <cstddef>

#include "zumeld/platform/win32.h"
#include "zumeld/transform/Transforms.h"
#include "zumeld/util/Surface.h"

namespace Zumeld {

struct ResampleArea {
    int left = 0, top = 0;
    int srcWidth = 0, srcHeight = 0;    // map cells
    int dispWidth = 0, dispHeight = 0;  // display pixels
};

// The output grid: width x height cells, row stride width. The first fillWidth columns of
// the first fillHeight rows are computed from the map; the other cells of each computed row
// repeat its last computed cell, and the rows below repeat the last computed row.
struct ResampleTarget {
    int width = 0, height = 0;
    int fillWidth = 0, fillHeight = 0;
};

// Copy when the sizes are equal, bilinear when both display sizes are larger, point
// sampling otherwise (any reduction, or growth along one axis only).
enum class ResampleMode { Copy, PointSample, Bilinear };
ResampleMode ChooseResampleMode(const ResampleArea& area);

// True when the call is inside the contract of ResampleElevation: a grid with a margin, left
// and top >= 0, all four area sizes >= 1, 1 <= fill <= size on both axes, and every computed
// cell mapping inside the map (its neighbours then lie inside the margin).
bool CanResample(const GridView& grid, const ResampleArea& area, const ResampleTarget& target);

// The display grid of an area: dispWidth + max(1, dispWidth div srcWidth) columns and
// dispHeight + max(1, dispHeight div srcHeight) rows, computed as far as the map reaches
// (fill = the most display columns / rows that fit on the map from left / top on).
// Requires: a grid with a margin; left, top >= 0; sizes >= 1; at least one display column
// and row fit on the map; the grid row length in bytes fits an int.
// Otherwise: false, *target untouched.
bool DisplayGridFor(const GridView& grid, const ResampleArea& area, ResampleTarget* target);

// Resamples into out (target.width x target.height cells). Bilinear cells are
// floor((S * k + 2^31) / 2^32) read as a signed 16-bit value, with S the bilinear sum of the
// four neighbours weighted by (dispHeight - fy, fy) and (dispWidth - fx, fx) and
// k = floor(2^32 / (dispWidth * dispHeight)), all in 64-bit wrapping integer arithmetic:
// exact for elevations 0..32767, dispHeight <= 32767 and dispWidth * dispHeight <= 2^25,
// and the same formula taken modulo 2^64 beyond them (negative elevations, larger zooms).
// Requires: CanResample(grid, area, target); out holds target.width * target.height cells.
// Otherwise: false, nothing written.
bool ResampleElevation(const GridView& grid, const ResampleArea& area, const ResampleTarget& target,
                       short* out);

// ---- Overlay picture ------------------------------------------------------------------------

// The part of the area the picture covers: srcWidth x srcHeight of its pixels shown on
// width x height display pixels (the display size scaled down where the picture ends inside
// the area). A width or height of 0 or less: nothing to show.
struct OverlayFit {
    int srcWidth = 0, srcHeight = 0;
    int width = 0, height = 0;
};
// Requires: left, top >= 0 and area sizes >= 1. Otherwise: an empty fit.
OverlayFit FitDisplayOverlay(int overlayWidth, int overlayHeight, const ResampleArea& area);

// The overlay picture lies on the map one pixel per cell.
// Writes the display overlay (FitDisplayOverlay's width x height pixels, width * 4 bytes a
// row): pixel (c, r) = picture pixel (left + c * sw div w, top + r * sh div h), 4 bytes as
// one unit; a plain row copy where the sizes are equal.
// Requires: the fit is not empty; out holds width * height * 4 bytes.
// Otherwise: false, nothing written.
bool ResampleOverlay(const OverlayView& picture, const ResampleArea& area, BYTE* out);

}  // namespace Zumeld
