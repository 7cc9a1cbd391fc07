// The finishing passes over a target picture: the sea fill (the whole display area as sea,
// tiled exactly as the span renderer tiles its sea pixels) and the half-strength blend of
// an overlay picture, plus the copy of a 32-bit packed DIB into top-first rows.
//
// Overlay pictures are 4 bytes a pixel (B, G, R, fourth byte), row 0 the top, rowBytes
// apart. Every pass writes only B, G, R of pixels inside the target and keeps no state.
#pragma once

#include <cstddef>

#include "zumeld/render/SpanRenderer.h"
#include "zumeld/util/SharedBlock.h"
#include "zumeld/util/Surface.h"

namespace Zumeld {

// Paints display rows 0 .. height - 1, columns 0 .. width - 1 (cut to the target) with the
// sea plane, texture origin `origin`.
// Requires: planes live; 1 <= width, height. Otherwise: paints nothing.
void FillSea(const TexturePlanes& planes, TextureOrigin origin, int width, int height,
             const PixelSurface& target);

// Every overlay pixel inside the target: each of B, G, R becomes (overlay + target) >> 1.
// Requires: pixels holds height rows of rowBytes. Otherwise (null, sizes < 1): nothing.
void BlendOverlayWhole(const OverlayView& overlay, const PixelSurface& target);

// The rectangle of cx x cy pixels at (x, y), cut on all four sides to the overlay and the
// target: each of B, G, R becomes (target >> 1) + (overlay >> 1).
// Requires: as above. Otherwise, or for an empty cut rectangle: nothing.
void BlendOverlayRect(const OverlayView& overlay, int x, int y, int cx, int cy,
                      const PixelSurface& target);

// A picture copied out of a packed DIB.
struct TopFirstPicture {
    SharedBlock<BYTE> pixels;  // null when the DIB could not be read
    int width = 0;
    int height = 0;
    int rowBytes = 0;
};

// Copies the pixels of a packed 32-bit BI_RGB DIB (BITMAPINFOHEADER, then rows of width x 4
// bytes) of `size` bytes so that row 0 is the top: a bottom-up DIB (positive biHeight) is
// read last row first, a top-down one (negative biHeight) in stored order.
// Requires: a 32-bit uncompressed DIB whose rows lie inside `size`.
// Otherwise: a picture with null pixels and sizes 0.
TopFirstPicture CopyDibTopFirst(const BYTE* dib, std::size_t size);

}  // namespace Zumeld
