// Heightmap interchange: greyscale PNG (8 or 16 bit), PGM (P5), raw little-endian int16 and
// the ESRI ASCII grid written to byte buffers, and LoadAnyMap, which reads them and GeoTIFF,
// .hgt and .elv files row by row into a map (heightmap_read_p.h, geotiff.h). Readers check
// every size and field before they use it and throw Error naming the file with the reason;
// writers take integer samples already checked against the format's range.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "georef.h"
#include "map_limits.h"

namespace zumeld_formats {

enum class HeightFormat { kPng, kPgm, kRaw, kAsc, kElv, kTiff, kHgt };

// The format a file name asks for, by its extension (any case). Throws UsageError naming
// `what` for any other extension.
HeightFormat HeightFormatOfPath(const std::string& what, const std::string& path);

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

// What the value mapping met while a raster was read: how many cells it clamped and the
// range of the values it mapped (before scale and offset; no-data left out).
struct MappingReport {
    std::uint64_t clamped = 0;  // cells whose value * scale + offset fell outside -32768..32767
    std::uint64_t mapped = 0;   // cells with a value
    double lowest = 0;          // the smallest and largest value mapped (0 when none)
    double highest = 0;
};

// How source values become elevations on import (see ElevationOf); rawWidth and rawHeight
// are the --raw-size of a raw file (0 when not given), fitWidth and fitHeight the --fit limit
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
    // --fit-range: LoadAnyMap reads the file twice, first for its range, then with the scale
    // FittingScale gives it (scale and offset must be left at 1 and 0).
    bool fitRange = false;
    // When set, a reader that completes stores what the mapping met here.
    MappingReport* report = nullptr;
};

// The largest scale s for which every value in lowest..highest maps, as round(v * s +
// offset), into -32768..32767 without clamping; 1 when no value bounds it (all values 0),
// 0 when offset alone falls outside.
double FittingScale(double lowest, double highest, double offset);

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
