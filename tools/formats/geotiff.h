// Elevation rasters in and out of GeoTIFF through libtiff, SRTM .hgt tiles in, and pictures
// out as RGB GeoTIFF. Readers stream strip by strip or tile row by tile row into a target
// the caller makes once the size is known (raster.h), mapping values by ElevationOf and
// reducing by area average to --fit; they check every size against the file before the
// target is made and throw Error naming `what` with a one-line reason (libtiff's own
// messages included, never printed). Writers build the file in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "georef.h"
#include "heightmap.h"
#include "raster.h"
#include "zumeld/bitmap/ControlBmp.h"

namespace zumeld_formats {

// Whether a file name ends in .tif or .tiff (any case).
bool IsTiffPath(const std::string& path);

// Readers. A GeoTIFF must have one band of int8/uint8, int16/uint16, int32/uint32, float32 or
// float64 samples, stripped or tiled, in any compression libtiff decodes; cells equal to the
// GDAL no-data tag and NaN cells are sea. Returns the georeferencing of the output grid when
// the file has one. Requires: nothing. Otherwise: throw Error(what, reason).
std::optional<GeoReference> ReadGeoTiff(const std::string& what, const std::uint8_t* data,
                                        std::size_t size, const ImportOptions& options,
                                        const TargetMaker& make, const LoadProgress& progress = {});
// The same from a file, read piece by piece.
std::optional<GeoReference> ReadGeoTiffFile(const std::string& path, const ImportOptions& options,
                                            const TargetMaker& make,
                                            const LoadProgress& progress = {});
// Only the georeferencing of a TIFF file (nullopt when it has none).
std::optional<GeoReference> ReadGeoTiffGeoReference(const std::string& path);
// An SRTM tile: 1201 x 1201 or 3601 x 3601 big-endian int16 samples, told apart by the file's
// length; -32768 (void) is sea. Georeferenced when named like N45E006.hgt.
std::optional<GeoReference> ReadHgtFile(const std::string& path, const ImportOptions& options,
                                        const TargetMaker& make, const LoadProgress& progress = {});

// A plain raster of elevations, rows top first, and where it lies when known.
struct ElevationRaster {
    int width = 0;
    int height = 0;
    std::vector<short> cells;
    std::optional<GeoReference> geo;
};
// ReadGeoTiff into a new raster.
ElevationRaster ReadGeoTiffRaster(const std::string& what, const std::vector<std::uint8_t>& bytes,
                                  const ImportOptions& options);

// Elevations to write: cell (x, y) at cells[y * stride + x].
struct ElevationView {
    const short* cells = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
};

// Writers. geo may be null (no georeferencing). Throw Error naming `what` when libtiff fails.
// A single-band int16 GeoTIFF, Deflate with horizontal differencing, 256 x 256 tiles.
// Requires: 1 <= width, height; stride >= width.
std::vector<std::uint8_t> EncodeGeoTiff(const std::string& what, const ElevationView& cells,
                                        const GeoReference* geo);
// An 8-bit RGB GeoTIFF of the picture, Deflate with horizontal differencing, in strips.
// Requires: a 24- or 32-bit picture.
std::vector<std::uint8_t> EncodeGeoTiffPicture(const std::string& what,
                                               const Quobel::CControlBmp& bmp,
                                               const GeoReference* geo);

}  // namespace zumeld_formats
