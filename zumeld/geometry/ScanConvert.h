// Polygon scan conversion and the point-in-polygon test. A closed polygon of integer points
// (the last point joins the first, self-intersections allowed) becomes horizontal spans,
// even-odd filled, every pixel an edge covers on a row belonging to the span beside it, and
// a vertex where the outline passes straight through counting as one crossing. Coordinates
// are any signed 32-bit values; stepping is exact integer arithmetic in 64 bits. Each call
// takes one block of working storage and releases it before it returns. No shared state.
#pragma once

#include "zumeld/geometry/HorzLine.h"
#include "zumeld/platform/win32.h"

namespace Zumeld {

// Writes the spans of the polygon clipped to columns 0 .. clipWidth - 1 and rows
// 0 .. clipHeight - 1 into lines, rows ascending, and returns how many it wrote, stopping
// as soon as maxLines are written. Columns above 32767 are stored as 32767, rows as their
// low 16 bits.
// Requires: points holds nPoints points; lines holds maxLines spans.
// Otherwise: null arrays, nPoints < 2, maxLines < 1 or a clip size of 0 or less give 0 and
// write nothing.
int ScanConvertPolygon(const tagPOINT* points, int nPoints, int clipWidth, int clipHeight,
                       tagHorzLine* lines, int maxLines);

// True when pt lies inside the polygon or on an inside interval of its row, by the crossing
// rules of ScanConvertPolygon restricted to the point's row and with each edge counted at
// its rounded crossing column. No clipping.
// Requires: points holds nPoints points.
// Otherwise: a null array or nPoints < 2 give false.
bool PointInPolygon(tagPOINT pt, const tagPOINT* points, int nPoints);

}  // namespace Zumeld
