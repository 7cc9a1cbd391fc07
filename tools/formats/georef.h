// Georeferencing: where a grid of cells or pixels lies on the earth. An affine transform
// from grid coordinates to world coordinates, plus the GeoTIFF key directory that names the
// coordinate reference system, carried from file to file as it was stored.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zumeld_formats {

// GeoTIFF keys: the raster type and its two values.
constexpr std::uint16_t kRasterTypeKey = 1025;
constexpr std::uint16_t kRasterPixelIsArea = 1;
constexpr std::uint16_t kRasterPixelIsPoint = 2;

struct GeoReference {
    // World x, y of grid coordinates (col, row), (0, 0) being the top-left corner of the
    // first cell and (1, 1) its bottom-right corner (the GDAL geotransform):
    //   x = t[0] + col * t[1] + row * t[2],  y = t[3] + col * t[4] + row * t[5].
    std::array<double, 6> transform{};
    // The GeoKeyDirectory (SHORT), GeoDoubleParams and GeoAsciiParams tags as stored; empty
    // when the file names no reference system. Its raster type key says pixel-is-area (the
    // transform above is for cell corners whatever the source said).
    std::vector<std::uint16_t> keys;
    std::vector<double> doubles;
    std::string ascii;
};

// The georeferencing of a grid drawn from `geo`'s grid: its corner (0, 0) at (left, top) of
// geo's grid, and each of its cells cellsX x cellsY of geo's cells.
GeoReference Resampled(const GeoReference& geo, double left, double top, double cellsX,
                       double cellsY);

// The value of a key held in the directory itself (tag location 0); -1 when the key is
// missing, stored elsewhere, or the directory is not well formed.
int GeoKeyValue(const std::vector<std::uint16_t>& keys, std::uint16_t id);
// The key directory with its raster type key (1025) set to pixel-is-area. A directory that
// is not well formed (short, or a key count past its end) comes back empty.
std::vector<std::uint16_t> KeysAsPixelIsArea(const std::vector<std::uint16_t>& keys);

// The world file of a picture: six lines, x and y size of a pixel with the rotation terms,
// and the world coordinates of the centre of the top-left pixel.
std::string WorldFileText(const GeoReference& geo);
// The world file's name beside a picture: "out.png" -> "out.pgw", "out.bmp" -> "out.bpw",
// "out" -> "out.wld".
std::string WorldFilePath(const std::string& picturePath);

// The georeferencing of an SRTM tile named like "N45E006.hgt" (any case, any folder): the
// cell centres on the whole-degree lines of the tile's south-west corner, side - 1 cells
// per degree, WGS 84 longitude and latitude. false when the name is not a tile name.
bool HgtGeoReference(const std::string& path, int side, GeoReference& geo);

}  // namespace zumeld_formats
