// The tile pyramid of a map and the tile renderer that the server and the tile writer share.
// Tiles are 256 x 256 pixels, x to the right and y down, for a plain (non-geographic)
// pyramid. Z, the base zoom, is the smallest z >= 0 at which 256 x 2^z pixels cover the
// map's longer side; at zoom z <= Z a tile side covers C = 256 x 2^(Z - z) cells, and the
// zooms Z + 1 .. Z + kMagnifyLevels magnify (C = 256 / 2^(z - Z)). Tile (x, y) covers the
// cells x C .. x C + C - 1 across and y C .. y C + C - 1 down.
// Pure functions; RenderTile draws on the map it is given (one thread at a time).
#pragma once

#include <cstdint>

#include "style.h"

namespace zumeld_tiles {

constexpr int kTileSize = 256;
constexpr int kMagnifyLevels = 3;

// Z for a map of width x height cells. Requires: 0 <= width, height.
int BaseZoom(int width, int height);
// C: the cells one tile side covers at zoom z. Requires: 0 <= z <= baseZoom + kMagnifyLevels.
std::int64_t TileCells(int baseZoom, int z);

enum class TileFit {
    kInside,   // every cell on the map: the picture of the area, as `zumeld render` draws it
    kEdge,     // across the map's right or bottom edge: the part on the map, sea beside it
    kOutside,  // not one whole pixel on the map
    kNoZoom,   // z below 0 or above Z + kMagnifyLevels
};

struct TilePlan {
    TileFit fit = TileFit::kNoZoom;
    CellArea area;         // the tile's cells (C x C from its top-left cell)
    int pixelsOnMapX = 0;  // the tile's left columns and top rows that show the map
    int pixelsOnMapY = 0;
};

// Where tile (z, x, y) of a map of width x height cells lies. Any arguments.
TilePlan PlanTile(int mapWidth, int mapHeight, int z, std::int64_t x, std::int64_t y);

// What a page shows of a map, and the base zoom of its pyramid.
struct MapFacts {
    int width = 0, height = 0;
    int minElevation = 0, maxElevation = 0;
    double seaShare = 0;  // the share of cells at elevation 0 (0 for a map without cells)
    int baseZoom = 0;     // Z
};
// The facts of a map. Any map.
MapFacts FactsOf(const Zumeld::CCtrlElvMap& map);

// Draws tile (z, x, y) of map in the style on the map's own picture buffer and returns that
// picture (24 bits, 256 x 256). map is a copy private to the caller's thread; its display
// grid and picture change, its grid does not.
// Requires: PlanTile gives kInside or kEdge for the map. Otherwise: throws
// zumeld_formats::Error.
Quobel::CControlBmp RenderTile(Zumeld::CCtrlElvMap& map, const ReliefStyle& style, int z,
                               std::int64_t x, std::int64_t y);

}  // namespace zumeld_tiles
