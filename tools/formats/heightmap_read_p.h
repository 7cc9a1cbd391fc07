// The streamed readers of the PNG, PGM, raw and ASCII-grid heightmaps, for LoadAnyMap. Each
// opens the file, checks its header and its length against the grid it declares, asks
// `make` for the target at the size OutputSize gives (raster.h) and puts the rows through one
// RasterSink: one source row is held at a time, never the whole grid (an interlaced PNG
// excepted). They throw Error(path, reason); the target may be part written then.
#pragma once

#include <string>

#include "heightmap.h"
#include "raster.h"

namespace zumeld_formats {

// A greyscale PNG (1 to 16 bits, alpha ignored), or a colour one whose every pixel is grey
// (R = G = B: palette, RGB or RGBA, alpha ignored); a pixel with colour is refused.
void ReadPngHeightmap(const std::string& path, const ImportOptions& options,
                      const TargetMaker& make, const LoadProgress& progress);
// P5 with maxval 1..65535 (two bytes a sample, big-endian, above 255); a sample above maxval
// is damage.
void ReadPgmHeightmap(const std::string& path, const ImportOptions& options,
                      const TargetMaker& make, const LoadProgress& progress);
// Exactly rawWidth * rawHeight little-endian signed 16-bit samples.
void ReadRawHeightmap(const std::string& path, const ImportOptions& options,
                      const TargetMaker& make, const LoadProgress& progress);
// ncols, nrows, x/yllcorner (or center), cellsize and an optional NODATA_value, then
// nrows * ncols numbers; NODATA cells are sea.
void ReadAsciiGridHeightmap(const std::string& path, const ImportOptions& options,
                            const TargetMaker& make, const LoadProgress& progress);

}  // namespace zumeld_formats
