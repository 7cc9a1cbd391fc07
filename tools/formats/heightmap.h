// Heightmap interchange: greyscale PNG (8 or 16 bit), PGM (P5), raw
// little-endian int16 and the ESRI ASCII grid, read from and written to byte buffers, and
// LoadAnyMap, which also reads GeoTIFF and .hgt files (geotiff.h).
// Readers check every size and field before they use it and throw Error naming `what`
// with the reason; writers take integer samples already checked against the format's range.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "georef.h"

namespace zumeld_formats {

enum class HeightFormat { kPng, kPgm, kRaw, kAsc, kElv, kTiff, kHgt };

// The format a file name asks for, by its extension (any case). Throws UsageError naming
// `what` for any other extension.
HeightFormat HeightFormatOfPath(const std::string& what, const std::string& path);

// The largest grid read or written: an .elv file holds at most 32767 cells across and
// down, and a grid is held at 8 bytes a cell while it is mapped to elevations.
constexpr int kMaxGridSide = 32767;
constexpr std::uint64_t kMaxGridCells = std::uint64_t{1} << 26;

// Source values, row by row from the top; `nodata` marks the cells an ASCII grid gives as
// its NODATA value (empty when there are none). Held at 8 bytes a cell: the TIFF and .hgt
// readers stream instead (raster.h).
struct SampleGrid {
    int width = 0;
    int height = 0;
    std::vector<double> values;
    std::vector<std::uint8_t> nodata;
};

// Readers. Requires: nothing. Otherwise: throw Error(what, reason).
// A PNG must be greyscale (with or without alpha, which is ignored), 1 to 16 bits.
SampleGrid ReadPngGrey(const std::string& what, const std::vector<std::uint8_t>& bytes);
// P5 with maxval 1..65535 (two bytes a sample, big-endian, above 255); a sample above maxval
// is damage.
SampleGrid ReadPgm(const std::string& what, const std::vector<std::uint8_t>& bytes);
// Exactly width * height little-endian signed 16-bit samples.
SampleGrid ReadRawInt16(const std::string& what, const std::vector<std::uint8_t>& bytes, int width,
                        int height);
// ncols, nrows, x/yllcorner (or center), cellsize and an optional NODATA_value, then
// nrows * ncols numbers.
SampleGrid ReadAsciiGrid(const std::string& what, const std::vector<std::uint8_t>& bytes);

// Writers over samples row by row from the top.
// Requires: 1 <= width, height; samples.size() == width * height; every sample in 0..255
// (bits 8) or 0..65535 (bits 16) for PNG and PGM, in -32768..32767 for raw.
std::vector<std::uint8_t> WritePngGrey(const std::string& what,
                                       const std::vector<std::int32_t>& samples, int width,
                                       int height, int bits);
std::vector<std::uint8_t> WritePgm(const std::vector<std::int32_t>& samples, int width, int height,
                                   int bits);
std::vector<std::uint8_t> WriteRawInt16(const std::vector<std::int32_t>& samples);
std::vector<std::uint8_t> WriteAsciiGrid(const std::vector<std::int32_t>& samples, int width,
                                         int height);

// How source values become elevations on import (see ElevationOf); rawWidth and rawHeight
// are the --size of a raw file (0 when not given), fitWidth and fitHeight the --fit limit
// (0: none; a raster larger than a map holds is then refused).
struct ImportOptions {
    double scale = 1.0;
    double offset = 0.0;
    bool hasSeaLevel = false;
    double seaLevel = 0.0;
    int rawWidth = 0;
    int rawHeight = 0;
    int fitWidth = 0;
    int fitHeight = 0;
    // The most bytes of one TIFF strip or tile row decoded at once.
    std::uint64_t maxStripBytes = std::uint64_t{1} << 30;
};

// The elevation of one source value, the rule every reader maps by: value * scale + offset
// rounded to the nearest whole number (halves away from zero) and clamped to -32768..32767;
// NaN becomes 0 (sea), and with hasSeaLevel every result at or below seaLevel becomes 0.
short ElevationOf(double value, const ImportOptions& options);

// The integer nearest value * scale + offset (halves away from zero); values outside
// lo..hi are refused with Error(what, ...).
std::int32_t ElevationToSample(const std::string& what, int elevation, double scale, double offset,
                               std::int64_t lo, std::int64_t hi);

}  // namespace zumeld_formats

namespace Zumeld {
class CCtrlElvMap;
}

namespace zumeld_formats {

// Called now and then while a long load works, with the cells done and the cells in all.
using LoadProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Loads any map file into map, by its extension: an .elv file as it is (through `options`
// when they are not the identity), the heightmap formats through `options` (resampled to
// fit fitWidth x fitHeight when given). Returns the georeferencing of the map's cells when
// the file has one (GeoTIFF, .hgt). Throws Error (a bad file) or a usage Error (an unknown
// extension, a raw file without its size); the map is unchanged when the file is refused
// before its cells are read, and all sea when a GeoTIFF or .hgt file fails part way.
std::optional<GeoReference> LoadAnyMap(const std::string& path, const ImportOptions& options,
                                       Zumeld::CCtrlElvMap& map, const LoadProgress& progress = {});

}  // namespace zumeld_formats
