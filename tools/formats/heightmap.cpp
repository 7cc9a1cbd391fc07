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

// Checks a grid's sides against the caps; throws Error naming what otherwise.
void CheckGridSize(const std::string& what, long long width, long long height) {
    if (width < 1 || height < 1)
        throw Error(what, "the grid has no cells (" + std::to_string(width) + " x " +
                              std::to_string(height) + ")");
    if (width > kMaxGridSide || height > kMaxGridSide ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxGridCells)
        throw Error(what, std::to_string(width) + " x " + std::to_string(height) +
                              " is too large (at most " + std::to_string(kMaxGridSide) +
                              " cells a side and " + std::to_string(kMaxGridCells) + " cells)");
}

// A grid of checked size with its value block. Readers check that the file holds the
// grid's data before they make it, so a short file never costs a large allocation.
SampleGrid MakeGrid(const std::string& what, long long width, long long height) {
    CheckGridSize(what, width, height);
    SampleGrid g;
    g.width = static_cast<int>(width);
    g.height = static_cast<int>(height);
    g.values.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    return g;
}

// ---- PNG ---------------------------------------------------------------------------------

// libpng reports errors by longjmp (png_io_p.h); the functions that call it keep only plain
// data in scope.
bool ReadPngHeader(png_structp png, png_infop info, PngSource* src, png_uint_32* w, png_uint_32* h,
                   int* depth, int* type) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, src, PngRead);
    png_set_user_limits(png, kMaxGridSide, kMaxGridSide);
    png_read_info(png, info);
    *w = png_get_image_width(png, info);
    *h = png_get_image_height(png, info);
    *depth = png_get_bit_depth(png, info);
    *type = png_get_color_type(png, info);
    if (*type != PNG_COLOR_TYPE_GRAY && *type != PNG_COLOR_TYPE_GRAY_ALPHA) return true;
    if (*depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (*type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_strip_alpha(png);
    if (*depth == 16) png_set_swap(png);  // host-order (little-endian) samples
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool ReadPngRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

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

// ---- Text tokens (PGM header, ASCII grid) ------------------------------------------------

class Tokens {
  public:
    Tokens(const std::vector<std::uint8_t>& b, std::size_t at, bool pgmComments)
        : b_(b), at_(at), comments_(pgmComments) {}
    // The next whitespace-separated token, at most 63 characters; empty at the end.
    std::string Next(const std::string& what) {
        for (;;) {
            while (at_ < b_.size() && std::isspace(b_[at_])) ++at_;
            if (comments_ && at_ < b_.size() && b_[at_] == '#') {
                while (at_ < b_.size() && b_[at_] != '\n') ++at_;
                continue;
            }
            break;
        }
        std::string t;
        while (at_ < b_.size() && !std::isspace(b_[at_])) {
            if (t.size() == 63) throw Error(what, "damaged: a field is too long");
            t += static_cast<char>(b_[at_++]);
        }
        return t;
    }
    std::size_t Position() const { return at_; }

  private:
    const std::vector<std::uint8_t>& b_;
    std::size_t at_;
    bool comments_;
};

bool ToInteger(const std::string& t, long long* v) {
    if (t.empty() || t.size() > 18) return false;
    char* end = nullptr;
    *v = std::strtoll(t.c_str(), &end, 10);
    return *end == '\0';
}

bool ToNumber(const std::string& t, double* v) {
    if (t.empty()) return false;
    char* end = nullptr;
    *v = std::strtod(t.c_str(), &end);
    return *end == '\0' && std::isfinite(*v);
}

long long HeaderInteger(const std::string& what, Tokens& tok, const char* field, long long lo,
                        long long hi) {
    const std::string t = tok.Next(what);
    long long v = 0;
    if (t.empty()) throw Error(what, std::string("truncated: the header ends before ") + field);
    if (!ToInteger(t, &v)) throw Error(what, std::string("damaged: ") + field + " '" + t + "'");
    if (v < lo || v > hi)
        throw Error(what, std::string(field) + " " + t + " is outside " + std::to_string(lo) +
                              ".." + std::to_string(hi));
    return v;
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

SampleGrid ReadPngGrey(const std::string& what, const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0)
        throw Error(what, "not a PNG file");
    PngReadHandle handle;
    if (!handle.info) throw Error(what, "out of memory");
    png_structp png = handle.png;
    png_infop info = handle.info;

    PngSource src{bytes.data(), bytes.size()};
    png_uint_32 w = 0, h = 0;
    int depth = 0, type = 0;
    if (!ReadPngHeader(png, info, &src, &w, &h, &depth, &type))
        throw Error(what, std::string("damaged PNG: ") + handle.err.text);
    if (type != PNG_COLOR_TYPE_GRAY && type != PNG_COLOR_TYPE_GRAY_ALPHA)
        throw Error(what, "not a greyscale PNG (a heightmap has one grey channel)");
    SampleGrid g = MakeGrid(what, w, h);
    const std::size_t sampleBytes = depth == 16 ? 2 : 1;
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (rowBytes != static_cast<std::size_t>(w) * sampleBytes)
        throw Error(what, "damaged PNG: unexpected row size");
    std::vector<png_byte> pixels(rowBytes * h);
    std::vector<png_bytep> rows(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = pixels.data() + rowBytes * y;
    if (!ReadPngRows(png, rows.data()))
        throw Error(what, std::string("damaged PNG: ") + handle.err.text);
    for (std::size_t i = 0; i < g.values.size(); ++i)
        g.values[i] = sampleBytes == 2 ? pixels[2 * i] | (pixels[2 * i + 1] << 8) : pixels[i];
    return g;
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

SampleGrid ReadPgm(const std::string& what, const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '5')
        throw Error(what, "not a binary PGM file (P5)");
    Tokens tok(bytes, 2, true);
    const long long w = HeaderInteger(what, tok, "width", 1, kMaxGridSide);
    const long long h = HeaderInteger(what, tok, "height", 1, kMaxGridSide);
    const long long maxval = HeaderInteger(what, tok, "maxval", 1, 65535);
    // Exactly one whitespace byte ends the header.
    std::size_t at = tok.Position();
    if (at >= bytes.size() || !std::isspace(bytes[at]))
        throw Error(what, "truncated: the file ends in the header");
    ++at;
    CheckGridSize(what, w, h);
    const std::size_t sampleBytes = maxval > 255 ? 2 : 1;
    const std::uint64_t need =
        static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) * sampleBytes;
    if (bytes.size() - at < need)
        throw Error(what, "truncated: the samples need " + std::to_string(need) +
                              " bytes, the file has " + std::to_string(bytes.size() - at));
    SampleGrid g = MakeGrid(what, w, h);
    for (std::size_t i = 0; i < g.values.size(); ++i) {
        const std::uint8_t* p = bytes.data() + at + i * sampleBytes;
        const long long v = sampleBytes == 2 ? (p[0] << 8) | p[1] : p[0];
        if (v > maxval)
            throw Error(what, "damaged: sample " + std::to_string(v) + " is above maxval " +
                                  std::to_string(maxval));
        g.values[i] = static_cast<double>(v);
    }
    return g;
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

SampleGrid ReadRawInt16(const std::string& what, const std::vector<std::uint8_t>& bytes, int width,
                        int height) {
    CheckGridSize(what, width, height);
    const std::uint64_t need =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 2;
    if (bytes.size() != need)
        throw Error(what, "holds " + std::to_string(bytes.size()) + " bytes; " +
                              std::to_string(width) + " x " + std::to_string(height) +
                              " int16 samples need " + std::to_string(need));
    SampleGrid g = MakeGrid(what, width, height);
    for (std::size_t i = 0; i < g.values.size(); ++i)
        g.values[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return g;
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

SampleGrid ReadAsciiGrid(const std::string& what, const std::vector<std::uint8_t>& bytes) {
    Tokens tok(bytes, 0, false);
    long long w = -1, h = -1;
    bool hasNodata = false;
    double nodata = 0;
    std::string t = tok.Next(what);
    // The header: keyword and value pairs, in any order, until the first number.
    for (int fields = 0;; ++fields) {
        if (t.empty()) throw Error(what, "truncated: the file ends in the header");
        double probe = 0;
        if (ToNumber(t, &probe)) break;
        if (fields == 8) throw Error(what, "not an ASCII grid: too many header fields");
        const std::string key = Lower(t);
        const std::string value = tok.Next(what);
        if (key == "ncols" || key == "nrows") {
            long long v = 0;
            if (!ToInteger(value, &v) || v < 1 || v > kMaxGridSide)
                throw Error(what,
                            key + " '" + value + "' is not 1.." + std::to_string(kMaxGridSide));
            (key == "ncols" ? w : h) = v;
        } else if (key == "nodata_value") {
            if (!ToNumber(value, &nodata))
                throw Error(what, "damaged: NODATA_value '" + value + "'");
            hasNodata = true;
        } else if (key == "xllcorner" || key == "yllcorner" || key == "xllcenter" ||
                   key == "yllcenter" || key == "cellsize" || key == "dx" || key == "dy") {
            double v = 0;
            if (!ToNumber(value, &v)) throw Error(what, "damaged: " + key + " '" + value + "'");
        } else {
            throw Error(what, "not an ASCII grid: unknown header field '" + t + "'");
        }
        t = tok.Next(what);
    }
    if (w < 0 || h < 0) throw Error(what, "not an ASCII grid: ncols and nrows are required");
    CheckGridSize(what, w, h);
    // Each value takes at least one character and one separator (the last none); the first
    // value has been read already.
    const std::uint64_t cells = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h);
    if (bytes.size() - tok.Position() + t.size() + 1 < 2 * cells)
        throw Error(what, "truncated: too short for " + std::to_string(cells) + " values");
    SampleGrid g = MakeGrid(what, w, h);
    if (hasNodata) g.nodata.assign(g.values.size(), 0);
    for (std::size_t i = 0; i < g.values.size(); ++i) {
        if (i > 0) t = tok.Next(what);
        if (t.empty())
            throw Error(what, "truncated: " + std::to_string(i) + " of " +
                                  std::to_string(g.values.size()) + " values");
        if (!ToNumber(t, &g.values[i])) throw Error(what, "damaged: value '" + t + "'");
        if (hasNodata && g.values[i] == nodata) g.nodata[i] = 1;
    }
    if (!tok.Next(what).empty()) throw Error(what, "damaged: more values than ncols x nrows");
    return g;
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

// Maps the grid's values to elevations (resampled to --fit) and gives them to the map.
void InstallElevations(const std::string& path, const SampleGrid& grid, const ImportOptions& o,
                       Zumeld::CCtrlElvMap& map, const LoadProgress& progress) {
    const auto [ow, oh] = FitSize(grid.width, grid.height, o.fitWidth, o.fitHeight);
    RasterSink sink(grid.width, grid.height, static_cast<int>(ow), static_cast<int>(oh),
                    SampleType::kFloat64, std::nullopt, o,
                    MapTarget(path, map)(static_cast<int>(ow), static_cast<int>(oh)));
    const std::size_t w = static_cast<std::size_t>(grid.width);
    std::vector<double> row(w);
    for (std::size_t y = 0; y < static_cast<std::size_t>(grid.height); ++y) {
        for (std::size_t x = 0; x < w; ++x)  // NODATA cells as NaN: sea
            row[x] = !grid.nodata.empty() && grid.nodata[y * w + x]
                         ? std::numeric_limits<double>::quiet_NaN()
                         : grid.values[y * w + x];
        sink.PutRow(row.data());
        if (progress) progress((y + 1) * w, grid.values.size());
    }
    map.FillGapOfElevationData();
}

}  // namespace

std::optional<GeoReference> LoadAnyMap(const std::string& path, const ImportOptions& o,
                                       Zumeld::CCtrlElvMap& map, const LoadProgress& progress) {
    const HeightFormat format = HeightFormatOfPath(path, path);
    if (format == HeightFormat::kTiff || format == HeightFormat::kHgt) {
        bool made = false;  // the map is replaced only once the file's header checked out
        const TargetMaker make = [&](int w, int h) {
            made = true;
            return MapTarget(path, map)(w, h);
        };
        try {
            const std::optional<GeoReference> geo = format == HeightFormat::kTiff
                                                        ? ReadGeoTiffFile(path, o, make, progress)
                                                        : ReadHgtFile(path, o, make, progress);
            map.FillGapOfElevationData();
            return geo;
        } catch (...) {
            if (made) map.ClearElevationData();  // damaged part way: sea, not part of the file
            throw;
        }
    }
    if (format == HeightFormat::kElv) {
        LoadMap(path, map);
        if (map.m_nWidth < 1 || map.m_nHeight < 1 || !map.m_pElevation) return std::nullopt;
        const bool identity = o.scale == 1.0 && o.offset == 0.0 && !o.hasSeaLevel;
        const auto fitted = FitSize(map.m_nWidth, map.m_nHeight, o.fitWidth, o.fitHeight);
        if (identity && fitted.first == map.m_nWidth && fitted.second == map.m_nHeight)
            return std::nullopt;
        // The map's own cells are the source values.
        SampleGrid cells;
        cells.width = map.m_nWidth;
        cells.height = map.m_nHeight;
        cells.values.reserve(static_cast<std::size_t>(cells.width) * cells.height);
        for (int y = 0; y < cells.height; ++y) {
            const short* row =
                map.m_pElevation.get() + static_cast<std::ptrdiff_t>(y) * map.m_nBufferWidth;
            cells.values.insert(cells.values.end(), row, row + cells.width);
        }
        InstallElevations(path, cells, o, map, progress);
        return std::nullopt;
    }
    if (format == HeightFormat::kRaw && o.rawWidth == 0)
        throw UsageError(path,
                         "a .raw file needs its grid size (import --size WxH, render "
                         "--raw-size WxH)");
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    SampleGrid grid;
    switch (format) {
        case HeightFormat::kPng:
            grid = ReadPngGrey(path, bytes);
            break;
        case HeightFormat::kPgm:
            grid = ReadPgm(path, bytes);
            break;
        case HeightFormat::kRaw:
            grid = ReadRawInt16(path, bytes, o.rawWidth, o.rawHeight);
            break;
        default:
            grid = ReadAsciiGrid(path, bytes);
            break;
    }
    InstallElevations(path, grid, o, map, progress);
    return std::nullopt;
}

}  // namespace zumeld_formats
