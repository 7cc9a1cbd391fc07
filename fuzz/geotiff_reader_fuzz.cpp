// GeoTIFF reading over any bytes: ReadGeoTiff with --fit 64x64 and a 1 MB budget for a strip
// or row of tiles, so a header naming a huge raster costs little while every decoding path
// (strips and tiles, each sample type, every codec libtiff has, the area average) still runs.
// The first byte picks the value mapping, so the lookup tables and the per-value rule both run.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "error.h"
#include "geotiff.h"

using namespace zumeld_formats;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    ImportOptions o;
    o.fitWidth = o.fitHeight = 64;
    o.maxStripBytes = std::uint64_t{1} << 20;
    o.scale = data[0] & 1 ? -0.25 : 1.0;
    o.hasSeaLevel = data[0] & 2;
    std::vector<short> cells;
    try {
        ReadGeoTiff("fuzz", data + 1, size - 1, o, [&](int w, int h) {
            cells.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
            return ElevationTarget{cells.data(), w};
        });
    } catch (const Error&) {
    }
    return 0;
}
