// The span renderer: turns display elevations into textured, faded, shaded and toned pixels
// of a 24- or 32-bit picture, one horizontal span at a time.
//
// Inputs are plain views: the display grid (signed 16-bit cells, row-major, top row first,
// `stride` cells a row), the texture planes of one prepared slot (byte offsets, 4 bytes a
// texel in the sea plane, 8 in the land plane), the per-call parameters made by
// MakeSpanParams, the spans, and the target surface. Nothing is owned or kept; one call
// runs on the caller's thread and writes only B, G, R of pixels inside the surface.
#pragma once

#include <cstdint>

#include "zumeld/geometry/HorzLine.h"
#include "zumeld/platform/win32.h"
#include "zumeld/render/TextureSet.h"
#include "zumeld/util/Surface.h"

namespace Zumeld {

// The display grid as the renderer reads it.
struct DisplayGridView {
    const short* cells = nullptr;  // cell (x, y) is cells[y * stride + x]
    int stride = 0;                // cells per row (the grid's buffer width)
    int bufferWidth = 0;           // columns held, margin included
    int bufferHeight = 0;          // rows held, margin included
    int width = 0;                 // display area drawn: columns 0 .. width - 1
    int height = 0;                // and rows 0 .. height - 1
};

// The two planes of one prepared texture slot.
struct TexturePlanes {
    const BYTE* land = nullptr;  // 8-byte texels lo.B, hi.B, lo.G, hi.G, lo.R, hi.R, 0, 0
    const BYTE* sea = nullptr;   // 4-byte texels B, G, R, fourth byte
    int rowBytes = 0;            // Wb: texels a row x 4 (the land plane has 2 x Wb a row)
    int planeSize = 0;           // Sb: Wb x rows (the land plane has 2 x Sb)

    // True for a slot the renderer can address: both planes, at least one texel, and the
    // sizes consistent (Wb a multiple of 4, Sb a multiple of Wb).
    bool IsLive() const;
};

// The planes of a prepared slot; not live when the slot has no pixels.
TexturePlanes PlanesOf(const tagTEXTURE_SLOT& slot);

// The slot drawn with for a set and season: slot set x 4 + (season when the set has four
// seasons, else 0). Null when the set is not held (set < 0 or set >= setCount), a four-
// season set's season is outside 0..3, or the slot has no addressable pixels.
const tagTEXTURE_SLOT* FindLiveSlot(const tagTEXTURE_SLOT* slots, const bool* fourSeasons,
                                    int setCount, int set, int season);

// Where display pixel (0, 0) falls in a texture of rowBytes x (planeSize / rowBytes):
// u0 = (trunc(left x s) x 4) mod Wb, row0 = trunc(top x s) mod rows. Display row y then
// starts at byte ((row0 + y) mod rows) x Wb of the plane, which equals the stepped
// (trunc(top x s) + y) x Wb mod Sb without its overflow. The remainders are taken toward
// minus infinity, so a negative position still lands inside the texture.
struct TextureOrigin {
    int u0 = 0;    // byte offset in a row, a multiple of 4 below Wb
    int row0 = 0;  // texture row of display row 0
};
// Requires: rowBytes >= 4, planeSize a positive multiple of rowBytes. Otherwise: {0, 0}.
TextureOrigin MakeTextureOrigin(double scale, int stretchLeft, int stretchTop, int rowBytes,
                                int planeSize);

// Everything a draw call fixes before its first pixel.
struct SpanParams {
    int shadeDistance = 0;  // d: the shading compares a cell with cell (x + d, y + d); 0 = off
    int shadeGain = 0;      // g: h = ((e' - e) x g) >> 11
    TextureOrigin origin;   // u0 and the texture row of display row 0
    int rowBytes = 0;       // Wb and Sb of the colour source (4 and 4 for a flat colour)
    int planeSize = 0;
    int blendK = 0;             // k = min(32767, 8388608 div nBlendElevation)
    std::int64_t fadeBase = 0;  // fade line at display row 0, 12 fraction bits
    std::int64_t fadeStep = 0;  // its change per display row, 12 fraction bits
    int tone = 0;               // 0..4; any other value acts as 0
    bool shade = false;
    bool texture = false;
    COLORREF color = 0;  // 0x00BBGGRR
    bool paint = false;  // elevation 0 drawn as land
    bool valid = false;  // false: the call draws nothing
};

// The map-level inputs of a draw call.
struct SpanSetup {
    double scale = 0.0;  // display pixels per map cell
    int stretchLeft = 0;
    int stretchTop = 0;
    int mapHeight = 0;    // map rows; the fade line runs from row 0 to this row
    int reliefLevel = 1;  // below 1 acts as 1
    int tone = 0;
    bool shade = false;
    bool texture = false;
    COLORREF color = 0;
    bool paint = false;
};

// Computes d, g, the texture origin, k and the fade line for one call.
// Requires: scale > 0 and finite; mapHeight >= 1; a live slot.
// Otherwise: parameters with valid = false.
SpanParams MakeSpanParams(const SpanSetup& setup, const tagTEXTURE_SLOT& slot);

// Draws the spans, in any order, each on its own row. Spans are clipped to the display area
// and to the surface (rows outside dropped, columns cut, left > right skipped). Elevations
// below 0 are drawn as 0 (sea) for the pixel and as a shading neighbour; the shading
// neighbour is read at min(x + d, bufferWidth - 1), min(y + d, bufferHeight - 1).
// Requires: grid.cells holds stride x bufferHeight cells with width <= bufferWidth <= stride
// and height <= bufferHeight; params.valid; planes live.
// Otherwise (null or empty grid, lines null or nLines <= 0, surface not drawable, planes not
// live, params not valid): draws nothing.
void RenderSpans(const DisplayGridView& grid, const TexturePlanes& planes, const SpanParams& params,
                 const tagHorzLine* lines, int nLines, const PixelSurface& target);

// The scalar reference the function above runs; faster variants are checked against it.
void RenderSpansReference(const DisplayGridView& grid, const TexturePlanes& planes,
                          const SpanParams& params, const tagHorzLine* lines, int nLines,
                          const PixelSurface& target);

// One channel through a tone: 0 as is, 1 half (rounded up), 2 three quarters, 3 one and a
// half (saturated), 4 one and a quarter (saturated); other tones as 0.
int ApplyTone(int tone, int p);

}  // namespace Zumeld
