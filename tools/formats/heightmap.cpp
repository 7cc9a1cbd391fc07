#include "heightmap.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "elv.h"
#include "error.h"
#include "files.h"
#include "geotiff.h"
#include "png_io_p.h"
#include "raster.h"
#include "heightmap_read_p.h"
#include "zumeld/zumeld.h"

namespace zumeld_formats {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool EndsWith(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// ---- PNG ---------------------------------------------------------------------------------

bool WritePngRows(png_structp png, png_infop info, std::vector<std::uint8_t>* sink, png_uint_32 w,
                  png_uint_32 h, int bits, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, sink, PngWrite, PngFlush);
    png_set_IHDR(png, info, w, h, bits, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

}  // namespace

HeightFormat HeightFormatOfPath(const std::string& what, const std::string& path) {
    const std::string p = Lower(path);
    if (EndsWith(p, ".png")) return HeightFormat::kPng;
    if (EndsWith(p, ".pgm")) return HeightFormat::kPgm;
    if (EndsWith(p, ".raw")) return HeightFormat::kRaw;
    if (EndsWith(p, ".asc")) return HeightFormat::kAsc;
    if (EndsWith(p, ".elv")) return HeightFormat::kElv;
    if (EndsWith(p, ".tif") || EndsWith(p, ".tiff")) return HeightFormat::kTiff;
    if (EndsWith(p, ".hgt")) return HeightFormat::kHgt;
    throw UsageError(what,
                     "unknown format (the name must end in .png, .pgm, .raw, .asc, .tif, .hgt or "
                     ".elv)");
}

std::vector<std::uint8_t> WritePngGrey(const std::string& what,
                                       const std::vector<std::int32_t>& samples, int width,
                                       int height, int bits) {
    const std::size_t sampleBytes = bits == 16 ? 2 : 1;
    std::vector<png_byte> pixels(samples.size() * sampleBytes);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (sampleBytes == 2) {
            pixels[2 * i] = static_cast<png_byte>(samples[i] >> 8);  // PNG is big-endian
            pixels[2 * i + 1] = static_cast<png_byte>(samples[i]);
        } else {
            pixels[i] = static_cast<png_byte>(samples[i]);
        }
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[y] = pixels.data() + static_cast<std::size_t>(y) * width * sampleBytes;
    PngWriteHandle handle;
    std::vector<std::uint8_t> out;
    const bool ok =
        handle.info && WritePngRows(handle.png, handle.info, &out, static_cast<png_uint_32>(width),
                                    static_cast<png_uint_32>(height), bits, rows.data());
    if (!ok) throw Error(what, std::string("cannot encode the PNG: ") + handle.err.text);
    return out;
}

std::vector<std::uint8_t> WritePgm(const std::vector<std::int32_t>& samples, int width, int height,
                                   int bits) {
    const int maxval = bits == 16 ? 65535 : 255;
    const std::string header = "P5\n" + std::to_string(width) + " " + std::to_string(height) +
                               "\n" + std::to_string(maxval) + "\n";
    std::vector<std::uint8_t> out(header.begin(), header.end());
    out.reserve(out.size() + samples.size() * (bits == 16 ? 2 : 1));
    for (std::int32_t s : samples) {
        if (bits == 16) out.push_back(static_cast<std::uint8_t>(s >> 8));
        out.push_back(static_cast<std::uint8_t>(s));
    }
    return out;
}

std::vector<std::uint8_t> WriteRawInt16(const std::vector<std::int32_t>& samples) {
    std::vector<std::uint8_t> out;
    out.reserve(samples.size() * 2);
    for (std::int32_t s : samples) {
        out.push_back(static_cast<std::uint8_t>(s));
        out.push_back(static_cast<std::uint8_t>(s >> 8));
    }
    return out;
}

std::vector<std::uint8_t> WriteAsciiGrid(const std::vector<std::int32_t>& samples, int width,
                                         int height) {
    std::string s = "ncols " + std::to_string(width) + "\nnrows " + std::to_string(height) +
                    "\nxllcorner 0\nyllcorner 0\ncellsize 1\n";
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (x) s += ' ';
            s += std::to_string(samples[static_cast<std::size_t>(y) * width + x]);
        }
        s += '\n';
    }
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

namespace {
std::string Shown(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", v);
    return text;
}
}  // namespace

std::int32_t ElevationToSample(const std::string& what, int elevation, double scale, double offset,
                               std::int64_t lo, std::int64_t hi) {
    const double v = std::round(elevation * scale + offset);
    if (!(v >= static_cast<double>(lo) && v <= static_cast<double>(hi)))
        throw Error(what, "elevation " + std::to_string(elevation) + " maps to " + Shown(v) +
                              ", outside this format's " + std::to_string(lo) + ".." +
                              std::to_string(hi) +
                              " (see --scale and --offset, e.g. --offset 32768 for negative "
                              "elevations in 16-bit files)");
    return static_cast<std::int32_t>(v);
}

namespace {

// A target in the map's own grid, made at the size the reader asks for.
TargetMaker MapTarget(const std::string& path, Zumeld::CCtrlElvMap& map) {
    return [&path, &map](int w, int h) {
        map.CreateNewMap(w, h);
        if (map.m_nWidth != w || map.m_nHeight != h || !map.m_pElevation)
            throw Error(path, "out of memory for " + std::to_string(w) + " x " + std::to_string(h) +
                                  " cells");
        return ElevationTarget{map.m_pElevation.get(), map.m_nBufferWidth};
    };
}

// The rows of a map as a source raster of int16 samples.
void ReadMapRows(const Zumeld::CCtrlElvMap& source, const std::string& path, const ImportOptions& o,
                 const TargetMaker& make, const LoadProgress& progress) {
    const int w = source.m_nWidth, h = source.m_nHeight;
    const auto [ow, oh] = OutputSize(path, w, h, o);
    RasterSink sink(w, h, ow, oh, SampleType::kInt16, std::nullopt, o, make(ow, oh));
    for (int y = 0; y < h; ++y) {
        sink.PutRow(source.m_pElevation.get() +
                    static_cast<std::ptrdiff_t>(y) * source.m_nBufferWidth);
        if (progress)
            progress(static_cast<std::uint64_t>(y + 1) * w, static_cast<std::uint64_t>(w) * h);
    }
}

// Reads the raster of a file (or of the map `elv` loaded from it) into the target.
std::optional<GeoReference> ReadRaster(HeightFormat format, const std::string& path,
                                       const Zumeld::CCtrlElvMap& elv, const ImportOptions& o,
                                       const TargetMaker& make, const LoadProgress& progress) {
    switch (format) {
        case HeightFormat::kTiff:
            return ReadGeoTiffFile(path, o, make, progress);
        case HeightFormat::kHgt:
            return ReadHgtFile(path, o, make, progress);
        case HeightFormat::kElv:
            ReadMapRows(elv, path, o, make, progress);
            break;
        case HeightFormat::kPng:
            ReadPngHeightmap(path, o, make, progress);
            break;
        case HeightFormat::kPgm:
            ReadPgmHeightmap(path, o, make, progress);
            break;
        case HeightFormat::kRaw:
            ReadRawHeightmap(path, o, make, progress);
            break;
        case HeightFormat::kAsc:
            ReadAsciiGridHeightmap(path, o, make, progress);
            break;
    }
    return std::nullopt;
}

// --fit-range: a first reading for the range of the values (into one scratch row, under the
// identity mapping) gives the scale the second one maps by. Each reading shows half the
// progress.
ImportOptions WithFittingScale(HeightFormat format, const std::string& path,
                               const Zumeld::CCtrlElvMap& elv, const ImportOptions& o,
                               const LoadProgress& progress) {
    ImportOptions probe = o;
    probe.scale = 1.0;
    probe.offset = 0.0;
    probe.hasSeaLevel = false;
    MappingReport range;
    probe.report = &range;
    std::vector<short> scratch;
    const TargetMaker oneRow = [&](int w, int) {
        scratch.assign(static_cast<std::size_t>(w), 0);
        return ElevationTarget{scratch.data(), 0};  // every row written over the one before
    };
    const LoadProgress half = [&](std::uint64_t done, std::uint64_t total) {
        if (progress) progress(done / 2, total);
    };
    ReadRaster(format, path, elv, probe, oneRow, half);
    ImportOptions fitted = o;
    fitted.scale = FittingScale(range.lowest, range.highest, 0.0);
    return fitted;
}

}  // namespace

std::optional<GeoReference> LoadAnyMap(const std::string& path, const ImportOptions& o,
                                       Zumeld::CCtrlElvMap& map, const LoadProgress& progress) {
    const HeightFormat format = HeightFormatOfPath(path, path);
    if (o.fitRange && (o.scale != 1.0 || o.offset != 0.0))
        throw UsageError("--fit-range",
                         "chooses the scale itself; give it without --scale and "
                         "--offset");
    if (format == HeightFormat::kRaw && o.rawWidth == 0)
        throw UsageError(path, "a .raw file needs its grid size (--raw-size WxH)");
    // An .elv file is loaded as it is; its cells are the source of any mapping or --fit.
    Zumeld::CCtrlElvMap elv;
    if (format == HeightFormat::kElv) {
        LoadMap(path, map);
        if (map.m_nWidth < 1 || map.m_nHeight < 1 || !map.m_pElevation) return std::nullopt;
        const bool identity = o.scale == 1.0 && o.offset == 0.0 && !o.hasSeaLevel && !o.fitRange;
        const auto fitted = FitSize(map.m_nWidth, map.m_nHeight, o.fitWidth, o.fitHeight);
        if (identity && fitted.first == map.m_nWidth && fitted.second == map.m_nHeight)
            return std::nullopt;
        elv = map;  // shares the grid, which stays when map gets a new one
    }
    const ImportOptions options = o.fitRange ? WithFittingScale(format, path, elv, o, progress) : o;
    const LoadProgress rest = [&](std::uint64_t done, std::uint64_t total) {
        if (progress) progress(o.fitRange ? (total + done) / 2 : done, total);
    };
    bool made = false;  // the map is replaced only once the file's header checked out
    const TargetMaker make = [&](int w, int h) {
        made = true;
        return MapTarget(path, map)(w, h);
    };
    try {
        const std::optional<GeoReference> geo = ReadRaster(format, path, elv, options, make, rest);
        map.FillGapOfElevationData();
        return geo;
    } catch (...) {
        if (made) map.ClearElevationData();  // damaged part way: sea, not part of the file
        throw;
    }
}

}  // namespace zumeld_formats
