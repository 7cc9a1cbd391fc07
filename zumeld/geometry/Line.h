// One-pixel-wide straight lines in a solid colour on a 24- or 32-bit PixelSurface. The
// pixels are those of the unclipped line stepped from its upper end (nearest column per row
// for steep lines, halves away from that end; nearest row per column for shallow lines,
// halves toward it) that lie inside the clip area, each written once; the same pixels
// whichever end comes first. The caller owns the surface. No shared state.
#pragma once

#include "zumeld/platform/win32.h"
#include "zumeld/util/Surface.h"

namespace Zumeld {

// Draws from p1 to p2 in color (a COLORREF, 0x00BBGGRR), clipped to columns
// 0 .. clipWidth - 1 and rows 0 .. clipHeight - 1 and to the surface's own size. Each pixel
// gets the bytes B, G, R; a fourth byte is kept. Any 32-bit coordinates.
// Requires: a drawable surface (IsDrawable).
// Otherwise: draws nothing; a clip size of 0 or less draws nothing.
void DrawLine(const PixelSurface& target, int clipWidth, int clipHeight, tagPOINT p1, tagPOINT p2,
              unsigned long color);

}  // namespace Zumeld
