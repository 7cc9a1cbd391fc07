// A whole tile pyramid made in parallel: every tile of a range of zooms that shows the map,
// drawn by RenderTile and encoded as PNG (the bytes zumeld serve answers with) on worker
// threads, each with its own map copy sharing the grid, and handed to one writer on the
// calling thread in pyramid order (zoom by zoom, row by row, left to right), whatever the
// thread count. At most a few tiles a thread wait between the workers and the writer.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "style.h"

namespace zumeld_tiles {

// The tiles of one zoom that show the map: tile (x, y) for 0 <= x < columns and
// 0 <= y < rows (a tile shows the map when PlanTile gives kInside or kEdge, and which
// do depends on x alone and on y alone, so they make a rectangle).
struct PyramidLevel {
    int z = 0;
    std::int64_t columns = 0, rows = 0;
};

// The levels of zooms minZoom..maxZoom of a map of width x height cells.
// Requires: 1 <= width, height; 0 <= minZoom <= maxZoom <= BaseZoom + kMagnifyLevels.
std::vector<PyramidLevel> PyramidLevels(int width, int height, int minZoom, int maxZoom);
// The number of tiles of the levels.
std::uint64_t PyramidTileCount(const std::vector<PyramidLevel>& levels);

// Receives tile (z, x, y) as its PNG stream; what it throws ends the pyramid.
using TileWriter =
    std::function<void(int z, std::int64_t x, std::int64_t y, const std::vector<std::uint8_t>&)>;

// Draws, encodes and writes every tile of the levels on `threads` threads (the library's
// own thread count should be 1 meanwhile: a tile is the unit of parallel work). stop is
// asked before each tile is written; when it answers true nothing more is written and
// MakePyramid returns false. An exception from drawing, encoding or the writer is rethrown
// once the threads have stopped. Requires: a map with cells; threads >= 1; the levels of
// this map.
bool MakePyramid(const Zumeld::CCtrlElvMap& map, const ReliefStyle& style,
                 const std::vector<PyramidLevel>& levels, int threads, const TileWriter& write,
                 const std::function<bool()>& stop);

}  // namespace zumeld_tiles
