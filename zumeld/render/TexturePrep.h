// Texture preparation kernels: turn 32-bit source pictures (B, G, R, fourth byte per pixel)
// into the planes of a texture slot, top row first, rows directly after each other.
// A source is given by its top row and the step in bytes to the row below (negative for the
// bottom-up buffers of CControlBmp); its rows hold at least width 4-byte pixels.
// The kernels own nothing and keep no state.
#pragma once

#include <cstddef>

#include "zumeld/platform/win32.h"

namespace Zumeld {

// Bytes of one plane of 4-byte texels (width x 4 x height) for a slot whose whole block
// (3 planes: land, then sea) stays within 2^31 - 1 bytes; 0 for any other size, and for a
// width or height below 1.
int TexturePlaneSize(int width, int height);

// Sea plane: width x height texels of 4 bytes, copied unchanged (B, G, R, fourth byte).
// Requires: sea holds width x 4 x height bytes; width, height >= 1. Otherwise: nothing.
void PrepareSeaPlane(BYTE* sea, const BYTE* srcTop, std::ptrdiff_t srcStep, int width, int height);

// Land plane: width x height texels of 8 bytes, low.B, high.B, low.G, high.G, low.R, high.R,
// 0, 0, from the low and high pictures at the same texel (their fourth bytes are not used).
// Requires: land holds width x 8 x height bytes; width, height >= 1. Otherwise: nothing.
void PrepareLandPlane(BYTE* land, const BYTE* lowTop, std::ptrdiff_t lowStep, const BYTE* highTop,
                      std::ptrdiff_t highStep, int width, int height);

}  // namespace Zumeld
