// libtiff over client procedures: a block of memory or a file descriptor to read from, a
// growing byte vector to write to. libtiff's errors and warnings go to handlers of the one
// handle (never to its process-wide handlers, which print), and the first error becomes the
// reason of the Error thrown.
#include "geotiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "error.h"
#include "files.h"

namespace zumeld_formats {

namespace {

// ---- libtiff plumbing ----------------------------------------------------------------------

// The client handle: reads come from `data` (memory) or `file`; writes go to `out`.
struct TiffIo {
    const std::uint8_t* data = nullptr;
    const ReadOnlyFile* file = nullptr;
    std::uint64_t size = 0;
    std::vector<std::uint8_t>* out = nullptr;
    std::uint64_t pos = 0;
};

tmsize_t IoRead(thandle_t h, void* buf, tmsize_t n) {
    auto* io = static_cast<TiffIo*>(h);
    const std::uint64_t size = io->out ? io->out->size() : io->size;
    if (n <= 0 || io->pos >= size) return 0;
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(n), size - io->pos));
    if (io->out || io->data) {
        std::memcpy(buf, (io->out ? io->out->data() : io->data) + io->pos, want);
    } else if (!io->file->ReadAt(buf, want, io->pos)) {
        return -1;
    }
    io->pos += want;
    return static_cast<tmsize_t>(want);
}

tmsize_t IoWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* io = static_cast<TiffIo*>(h);
    if (!io->out || n < 0) return -1;
    const std::size_t end = static_cast<std::size_t>(io->pos) + static_cast<std::size_t>(n);
    // This runs inside libtiff's C frames: running out of memory is a failed write, never an
    // exception through them.
    try {
        if (end > io->out->size()) io->out->resize(end);
    } catch (...) {
        return -1;
    }
    std::memcpy(io->out->data() + io->pos, buf, static_cast<std::size_t>(n));
    io->pos = end;
    return n;
}

toff_t IoSeek(thandle_t h, toff_t off, int whence) {
    auto* io = static_cast<TiffIo*>(h);
    const std::uint64_t size = io->out ? io->out->size() : io->size;
    // Offsets are unsigned; a step back from the current position or the end wraps round.
    if (whence == SEEK_SET) io->pos = off;
    if (whence == SEEK_CUR) io->pos += off;
    if (whence == SEEK_END) io->pos = size + off;
    return io->pos;
}

int IoClose(thandle_t) {
    return 0;
}

toff_t IoSize(thandle_t h) {
    auto* io = static_cast<TiffIo*>(h);
    return io->out ? io->out->size() : io->size;
}

// A block in memory is handed to libtiff as a mapped file, so strips are read in place.
int IoMap(thandle_t h, void** base, toff_t* size) {
    auto* io = static_cast<TiffIo*>(h);
    if (!io->data) return 0;
    *base = const_cast<std::uint8_t*>(io->data);
    *size = io->size;
    return 1;
}

void IoUnmap(thandle_t, void*, toff_t) {}

// The first error libtiff reports on a handle, on one line. Warnings are dropped: whatever
// they warn of either works out or ends in an error.
struct TiffMessages {
    std::string error;
};

int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* m = static_cast<TiffMessages*>(user);
    if (!m->error.empty()) return 1;
    char text[300];
    std::vsnprintf(text, sizeof text, fmt, ap);
    try {  // inside libtiff's C frames: nothing may be thrown through them
        m->error = std::string(module ? module : "libtiff") + ": " + text;
    } catch (...) {
        return 1;
    }
    for (char& c : m->error)
        if (c == '\n' || c == '\r') c = ' ';
    return 1;  // handled: not passed on to the process-wide handlers
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsFree {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

// maxAlloc bounds any one block libtiff allocates (0: libtiff's default).
TiffPtr OpenTiff(const std::string& what, const char* mode, TiffIo& io, TiffMessages& msg,
                 std::uint64_t maxAlloc) {
    std::unique_ptr<TIFFOpenOptions, OptionsFree> opts(TIFFOpenOptionsAlloc());
    if (!opts) throw Error(what, "out of memory");
    TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), OnError, &msg);
    TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), OnWarning, &msg);
    if (maxAlloc > 0)
        TIFFOpenOptionsSetMaxSingleMemAlloc(
            opts.get(), static_cast<tmsize_t>(std::min<std::uint64_t>(maxAlloc, INT64_MAX)));
    TIFF* t = TIFFClientOpenExt(what.c_str(), mode, &io, IoRead, IoWrite, IoSeek, IoClose, IoSize,
                                IoMap, IoUnmap, opts.get());
    if (!t) {
        if (io.out) throw Error(what, "cannot start the TIFF: " + msg.error);
        throw Error(what,
                    "not a readable TIFF file" + (msg.error.empty() ? "" : " (" + msg.error + ")"));
    }
    return TiffPtr(t);
}

// Throws the handle's first error, or `why` when libtiff said nothing.
[[noreturn]] void Fail(const std::string& what, const TiffMessages& msg, const std::string& why) {
    throw Error(what, msg.error.empty() ? why : why + ": " + msg.error);
}

// ---- GeoTIFF tags ------------------------------------------------------------------------

constexpr ttag_t kPixelScaleTag = 33550;
constexpr ttag_t kTiepointTag = 33922;
constexpr ttag_t kTransformationTag = 34264;
constexpr ttag_t kGeoKeyDirectoryTag = 34735;
constexpr ttag_t kGeoDoubleParamsTag = 34736;
constexpr ttag_t kGeoAsciiParamsTag = 34737;

// libtiff does not know the GeoTIFF tags; a file's are read as its anonymous fields (a count
// and a block) and are declared on each handle that writes them.
const TIFFFieldInfo kGeoFields[] = {
    {kPixelScaleTag, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("ModelPixelScale")},
    {kTiepointTag, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("ModelTiepoint")},
    {kTransformationTag, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("ModelTransformation")},
    {kGeoKeyDirectoryTag, -1, -1, TIFF_SHORT, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("GeoKeyDirectory")},
    {kGeoDoubleParamsTag, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("GeoDoubleParams")},
    {kGeoAsciiParamsTag, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0,
     const_cast<char*>("GeoAsciiParams")},
};

// The values of a tag of the given type, whichever way libtiff holds it; false when the
// file lacks it or stores it as another type.
template <class T>
bool TagValues(TIFF* tif, ttag_t tag, TIFFDataType type, std::vector<T>& out) {
    const TIFFField* f = TIFFFindField(tif, tag, TIFF_ANY);
    if (!f || TIFFFieldDataType(f) != type) return false;
    const T* data = nullptr;
    std::uint64_t n = 0;
    if (TIFFFieldPassCount(f) && TIFFFieldReadCount(f) == TIFF_VARIABLE2) {
        std::uint32_t count = 0;
        if (!TIFFGetField(tif, tag, &count, &data)) return false;
        n = count;
    } else if (TIFFFieldPassCount(f)) {
        std::uint16_t count = 0;
        if (!TIFFGetField(tif, tag, &count, &data)) return false;
        n = count;
    } else {
        return false;
    }
    if (!data) return false;
    out.assign(data, data + n);
    return true;
}

std::optional<GeoReference> ReadGeo(TIFF* tif) {
    GeoReference g;
    std::vector<double> m, tie, scale;
    if (TagValues(tif, kTransformationTag, TIFF_DOUBLE, m) && m.size() >= 16) {
        g.transform = {m[3], m[0], m[1], m[7], m[4], m[5]};
    } else if (TagValues(tif, kTiepointTag, TIFF_DOUBLE, tie) && tie.size() >= 6 &&
               TagValues(tif, kPixelScaleTag, TIFF_DOUBLE, scale) && scale.size() >= 2) {
        // The first tie point: raster (I, J) lies at world (X, Y); y grows down the raster.
        g.transform = {tie[3] - tie[0] * scale[0], scale[0], 0,
                       tie[4] + tie[1] * scale[1], 0,        -scale[1]};
    } else {
        return std::nullopt;
    }
    for (double t : g.transform)
        if (!std::isfinite(t)) return std::nullopt;
    TagValues(tif, kGeoKeyDirectoryTag, TIFF_SHORT, g.keys);
    TagValues(tif, kGeoDoubleParamsTag, TIFF_DOUBLE, g.doubles);
    std::vector<char> ascii;
    if (TagValues(tif, kGeoAsciiParamsTag, TIFF_ASCII, ascii))
        g.ascii.assign(ascii.begin(), std::find(ascii.begin(), ascii.end(), '\0'));
    // Pixel-is-point: the transform gives cell centres; moved half a cell to the corners.
    if (GeoKeyValue(g.keys, kRasterTypeKey) == kRasterPixelIsPoint) {
        auto& t = g.transform;
        t[0] -= 0.5 * t[1] + 0.5 * t[2];
        t[3] -= 0.5 * t[4] + 0.5 * t[5];
    }
    g.keys = KeysAsPixelIsArea(g.keys);
    if (g.keys.empty()) {
        g.doubles.clear();
        g.ascii.clear();
    }
    return g;
}

void WriteGeo(const std::string& what, TIFF* tif, const TiffMessages& msg, const GeoReference& g) {
    if (TIFFMergeFieldInfo(tif, kGeoFields, sizeof kGeoFields / sizeof kGeoFields[0]) != 0)
        Fail(what, msg, "cannot declare the GeoTIFF tags");
    const auto& t = g.transform;
    bool ok = true;
    if (t[2] == 0 && t[4] == 0 && t[1] > 0 && t[5] < 0) {
        const double scale[3] = {t[1], -t[5], 0};
        const double tie[6] = {0, 0, 0, t[0], t[3], 0};
        ok = TIFFSetField(tif, kPixelScaleTag, 3, scale) && TIFFSetField(tif, kTiepointTag, 6, tie);
    } else {
        const double m[16] = {t[1], t[2], 0, t[0], t[4], t[5], 0, t[3], 0, 0, 0, 0, 0, 0, 0, 1};
        ok = TIFFSetField(tif, kTransformationTag, 16, m);
    }
    if (ok && !g.keys.empty()) {
        ok = TIFFSetField(tif, kGeoKeyDirectoryTag, static_cast<int>(g.keys.size()), g.keys.data());
        if (ok && !g.doubles.empty())
            ok = TIFFSetField(tif, kGeoDoubleParamsTag, static_cast<int>(g.doubles.size()),
                              g.doubles.data());
        if (ok && !g.ascii.empty()) ok = TIFFSetField(tif, kGeoAsciiParamsTag, g.ascii.c_str());
    }
    if (!ok) Fail(what, msg, "cannot store the georeferencing");
}

// ---- Reading -------------------------------------------------------------------------------

std::string Size(std::uint64_t w, std::uint64_t h) {
    return std::to_string(w) + " x " + std::to_string(h);
}

// The sample type of a single-band raster; throws naming what the file has otherwise.
SampleType CheckLayout(const std::string& what, TIFF* tif) {
    std::uint16_t bands = 1, bits = 1, format = SAMPLEFORMAT_UINT, photometric = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &bands);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    if (bands != 1) throw Error(what, std::to_string(bands) + " bands; a heightmap has one");
    if (photometric == PHOTOMETRIC_PALETTE)
        throw Error(what, "a palette picture; a heightmap holds numbers");
    if (format == SAMPLEFORMAT_COMPLEXINT || format == SAMPLEFORMAT_COMPLEXIEEEFP)
        throw Error(what, "complex samples; a heightmap has real ones");
    const bool isFloat = format == SAMPLEFORMAT_IEEEFP;
    const bool isSigned = format == SAMPLEFORMAT_INT;
    if (isFloat && bits == 32) return SampleType::kFloat32;
    if (isFloat && bits == 64) return SampleType::kFloat64;
    if (!isFloat && bits == 8) return isSigned ? SampleType::kInt8 : SampleType::kUInt8;
    if (!isFloat && bits == 16) return isSigned ? SampleType::kInt16 : SampleType::kUInt16;
    if (!isFloat && bits == 32) return isSigned ? SampleType::kInt32 : SampleType::kUInt32;
    throw Error(what, std::to_string(bits) + "-bit " +
                          (isFloat    ? "float"
                           : isSigned ? "signed"
                                      : "unsigned") +
                          " samples; a heightmap takes 8, 16 or 32-bit integers or 32 or 64-bit "
                          "floats");
}

// The GDAL no-data tag: a number as text.
std::optional<double> NoData(TIFF* tif) {
    std::vector<char> text;
    if (!TagValues(tif, TIFFTAG_GDAL_NODATA, TIFF_ASCII, text)) return std::nullopt;
    const std::string s(text.begin(), std::find(text.begin(), text.end(), '\0'));
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str()) return std::nullopt;
    return v;
}

std::optional<GeoReference> ReadTiff(const std::string& what, TIFF* tif, const TiffIo& io,
                                     const TiffMessages& msg, const ImportOptions& o,
                                     const TargetMaker& make, const LoadProgress& progress) {
    const SampleType type = CheckLayout(what, tif);
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFIsCODECConfigured(compression))
        throw Error(what, "compression " + std::to_string(compression) +
                              " is not one this build's libtiff decodes");
    std::uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    if (w == 0 || h == 0) throw Error(what, "the raster has no cells (" + Size(w, h) + ")");
    const auto [ow, oh] = OutputSize(what, w, h, o);

    // Every strip or tile must lie inside the file before anything is made for it.
    const bool tiled = TIFFIsTiled(tif);
    const std::uint32_t pieces = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    for (std::uint32_t k = 0; k < pieces; ++k) {
        int err = 0;
        const std::uint64_t at = TIFFGetStrileOffsetWithErr(tif, k, &err);
        const std::uint64_t n = err ? 0 : TIFFGetStrileByteCountWithErr(tif, k, &err);
        if (err || n == 0 || at > io.size || n > io.size - at)
            throw Error(what, std::string("truncated: ") + (tiled ? "tile " : "strip ") +
                                  std::to_string(k) + " of " + std::to_string(pieces) +
                                  " lies past the end of the file");
    }
    const std::uint64_t sample = static_cast<std::uint64_t>(SampleBytes(type));
    const std::uint64_t rowBytes = std::uint64_t{w} * sample;
    std::uint32_t tw = 0, th = 0, rows = 0;
    if (tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        if (tw == 0 || th == 0) throw Error(what, "damaged: a tile has no cells");
        rows = th;
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
        rows = std::clamp<std::uint32_t>(rows, 1, h);
    }
    // One strip, or one row of tiles and a row assembled from them, held at once. Sized in
    // floating point first: the factors come from the file and their product can overflow.
    const std::uint64_t across = tiled ? (std::uint64_t{w} + tw - 1) / tw : 1;
    const double wanted = tiled ? static_cast<double>(across) * tw * th * sample + rowBytes
                                : static_cast<double>(rowBytes) * rows;
    if (wanted > static_cast<double>(o.maxStripBytes))
        throw Error(what, std::string(tiled ? "a row of tiles" : "a strip") + " of " +
                              Size(tiled ? across * tw : w, rows) +
                              " samples is more than this reader holds at once");
    const std::uint64_t pieceBytes = tiled ? std::uint64_t{tw} * th * sample : rowBytes * rows;
    const std::uint64_t bufferBytes = tiled ? across * pieceBytes + rowBytes : pieceBytes;
    const std::uint64_t down = (std::uint64_t{h} + rows - 1) / rows;
    if (pieces != across * down)
        throw Error(what, std::string("damaged: ") + std::to_string(pieces) +
                              (tiled ? " tiles" : " strips") + " for " + Size(w, h) + " cells");

    const std::optional<double> nodata = NoData(tif);
    std::optional<GeoReference> geo = ReadGeo(tif);
    RasterSink sink(w, h, ow, oh, type, nodata, o, make(ow, oh));
    std::vector<unsigned char> buffer(static_cast<std::size_t>(bufferBytes));
    unsigned char* row = buffer.data() + (bufferBytes - rowBytes);  // a tile row's assembled row
    const std::uint64_t total = std::uint64_t{w} * h;
    for (std::uint64_t y = 0; y < h; y += rows) {  // 64-bit: y + rows can pass 2^32
        const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(rows, h - y));
        if (tiled) {
            for (std::uint64_t c = 0; c < across; ++c) {
                const ttile_t tile = TIFFComputeTile(tif, static_cast<std::uint32_t>(c * tw),
                                                     static_cast<std::uint32_t>(y), 0, 0);
                if (TIFFReadEncodedTile(tif, tile, buffer.data() + c * pieceBytes,
                                        static_cast<tmsize_t>(pieceBytes)) !=
                    static_cast<tmsize_t>(pieceBytes))
                    Fail(what, msg, "damaged tile " + std::to_string(tile));
            }
            for (std::uint32_t r = 0; r < n; ++r) {
                for (std::uint64_t c = 0; c < across; ++c) {
                    const std::uint64_t x = c * tw, cells = std::min<std::uint64_t>(tw, w - x);
                    std::memcpy(row + x * sample, buffer.data() + c * pieceBytes + r * tw * sample,
                                static_cast<std::size_t>(cells * sample));
                }
                sink.PutRow(row);
            }
        } else {
            const tstrip_t strip = static_cast<tstrip_t>(y / rows);
            const tmsize_t want = static_cast<tmsize_t>(rowBytes * n);
            if (TIFFReadEncodedStrip(tif, strip, buffer.data(), want) != want)
                Fail(what, msg, "damaged strip " + std::to_string(strip));
            for (std::uint32_t r = 0; r < n; ++r) sink.PutRow(buffer.data() + r * rowBytes);
        }
        if (progress) progress((y + n) * w, total);
    }
    if (!geo) return std::nullopt;
    return Resampled(*geo, 0, 0, static_cast<double>(w) / static_cast<double>(ow),
                     static_cast<double>(h) / static_cast<double>(oh));
}

// ---- Writing -------------------------------------------------------------------------------

// Opens a TIFF to be written into out, with the fields every file of ours has.
TiffPtr StartTiff(const std::string& what, TiffIo& io, TiffMessages& msg, int width, int height,
                  int bands, int bits, int format, int photometric) {
    TiffPtr tif = OpenTiff(what, "w", io, msg, 0);
    const bool ok = TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, width) &&
                    TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, height) &&
                    TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, bands) &&
                    TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, bits) &&
                    TIFFSetField(tif.get(), TIFFTAG_SAMPLEFORMAT, format) &&
                    TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC, photometric) &&
                    TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                    TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
                    TIFFSetField(tif.get(), TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (!ok) Fail(what, msg, "cannot set up the TIFF");
    return tif;
}

// Writes the directory and closes the file; the bytes are in io.out after.
void FinishTiff(const std::string& what, TiffPtr& tif, const TiffMessages& msg) {
    if (!TIFFWriteDirectory(tif.get())) Fail(what, msg, "cannot finish the TIFF");
    tif.reset();
}

}  // namespace

bool IsTiffPath(const std::string& path) {
    std::string tail = path.substr(path.size() - std::min<std::size_t>(path.size(), 5));
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail.ends_with(".tif") || tail.ends_with(".tiff");
}

std::optional<GeoReference> ReadGeoTiff(const std::string& what, const std::uint8_t* data,
                                        std::size_t size, const ImportOptions& options,
                                        const TargetMaker& make, const LoadProgress& progress) {
    TiffIo io;
    io.data = data;
    io.size = size;
    TiffMessages msg;
    TiffPtr tif = OpenTiff(what, "r", io, msg, options.maxStripBytes);
    return ReadTiff(what, tif.get(), io, msg, options, make, progress);
}

std::optional<GeoReference> ReadGeoTiffFile(const std::string& path, const ImportOptions& options,
                                            const TargetMaker& make, const LoadProgress& progress) {
    const ReadOnlyFile file(path);
    TiffIo io;
    io.file = &file;
    io.size = file.Size();
    TiffMessages msg;
    TiffPtr tif = OpenTiff(path, "r", io, msg, options.maxStripBytes);
    return ReadTiff(path, tif.get(), io, msg, options, make, progress);
}

std::optional<GeoReference> ReadGeoTiffGeoReference(const std::string& path) {
    const ReadOnlyFile file(path);
    TiffIo io;
    io.file = &file;
    io.size = file.Size();
    TiffMessages msg;
    TiffPtr tif = OpenTiff(path, "r", io, msg, ImportOptions{}.maxStripBytes);
    return ReadGeo(tif.get());
}

ElevationRaster ReadGeoTiffRaster(const std::string& what, const std::vector<std::uint8_t>& bytes,
                                  const ImportOptions& options) {
    ElevationRaster r;
    r.geo = ReadGeoTiff(what, bytes.data(), bytes.size(), options, [&](int w, int h) {
        r.width = w;
        r.height = h;
        r.cells.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
        return ElevationTarget{r.cells.data(), w};
    });
    return r;
}

std::optional<GeoReference> ReadHgtFile(const std::string& path, const ImportOptions& options,
                                        const TargetMaker& make, const LoadProgress& progress) {
    const ReadOnlyFile file(path);
    int side = 0;
    for (int s : {1201, 3601})
        if (file.Size() == std::uint64_t{2} * s * s) side = s;
    if (side == 0)
        throw Error(path, "holds " + std::to_string(file.Size()) +
                              " bytes; an .hgt tile holds 2884802 (1201 x 1201) or 25934402 "
                              "(3601 x 3601)");
    const auto [ow, oh] = OutputSize(path, side, side, options);
    RasterSink sink(side, side, ow, oh, SampleType::kInt16, -32768.0, options, make(ow, oh));
    std::vector<unsigned char> bytes(static_cast<std::size_t>(side) * 2);
    std::vector<std::int16_t> row(static_cast<std::size_t>(side));
    for (int y = 0; y < side; ++y) {
        if (!file.ReadAt(bytes.data(), bytes.size(), std::uint64_t{bytes.size()} * y))
            throw Error(path, std::string("read error: ") + std::strerror(errno));
        for (int x = 0; x < side; ++x)  // big-endian
            row[x] = static_cast<std::int16_t>(bytes[2 * x] << 8 | bytes[2 * x + 1]);
        sink.PutRow(row.data());
        if (progress)
            progress(static_cast<std::uint64_t>(y + 1) * side, std::uint64_t{1} * side * side);
    }
    GeoReference geo;
    if (!HgtGeoReference(path, side, geo)) return std::nullopt;
    return Resampled(geo, 0, 0, static_cast<double>(side) / static_cast<double>(ow),
                     static_cast<double>(side) / static_cast<double>(oh));
}

std::vector<std::uint8_t> EncodeGeoTiff(const std::string& what, const ElevationView& cells,
                                        const GeoReference* geo) {
    constexpr int kTile = 256;
    std::vector<std::uint8_t> out;
    TiffIo io;
    io.out = &out;
    TiffMessages msg;
    TiffPtr tif = StartTiff(what, io, msg, cells.width, cells.height, 1, 16, SAMPLEFORMAT_INT,
                            PHOTOMETRIC_MINISBLACK);
    if (!TIFFSetField(tif.get(), TIFFTAG_TILEWIDTH, kTile) ||
        !TIFFSetField(tif.get(), TIFFTAG_TILELENGTH, kTile))
        Fail(what, msg, "cannot set up the tiles");
    if (geo) WriteGeo(what, tif.get(), msg, *geo);
    std::vector<std::int16_t> tile(kTile * kTile);
    for (int ty = 0; ty < cells.height; ty += kTile) {
        for (int tx = 0; tx < cells.width; tx += kTile) {
            // Cells past the raster's right and bottom edges are written as 0.
            std::fill(tile.begin(), tile.end(), 0);
            const int n = std::min(kTile, cells.width - tx);
            for (int r = 0; r < std::min(kTile, cells.height - ty); ++r)
                std::copy_n(cells.cells + (ty + r) * cells.stride + tx, n, tile.data() + r * kTile);
            if (TIFFWriteEncodedTile(tif.get(), TIFFComputeTile(tif.get(), tx, ty, 0, 0),
                                     tile.data(), static_cast<tmsize_t>(tile.size() * 2)) < 0)
                Fail(what, msg, "cannot write a tile");
        }
    }
    FinishTiff(what, tif, msg);
    return out;
}

std::vector<std::uint8_t> EncodeGeoTiffPicture(const std::string& what,
                                               const Quobel::CControlBmp& bmp,
                                               const GeoReference* geo) {
    const int w = bmp.GetWidth(), h = bmp.GetHeight(), p = bmp.GetBitCount() / 8;
    if (bmp.GetBufferPtr() == nullptr || w <= 0 || h <= 0 || (p != 3 && p != 4))
        throw Error(what, "no 24- or 32-bit picture to write");
    std::vector<std::uint8_t> out;
    TiffIo io;
    io.out = &out;
    TiffMessages msg;
    TiffPtr tif = StartTiff(what, io, msg, w, h, 3, 8, SAMPLEFORMAT_UINT, PHOTOMETRIC_RGB);
    if (!TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif.get(), 0)))
        Fail(what, msg, "cannot set up the strips");
    if (geo) WriteGeo(what, tif.get(), msg, *geo);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
    for (int y = 0; y < h; ++y) {
        // Rows are bottom-up in the buffer, pixels B, G, R.
        const BYTE* src =
            bmp.GetBufferPtr() + static_cast<std::ptrdiff_t>(h - 1 - y) * bmp.GetWidthBytes();
        for (int x = 0; x < w; ++x) {
            row[3 * x] = src[x * p + 2];
            row[3 * x + 1] = src[x * p + 1];
            row[3 * x + 2] = src[x * p];
        }
        if (TIFFWriteScanline(tif.get(), row.data(), static_cast<std::uint32_t>(y), 0) < 0)
            Fail(what, msg, "cannot write a row");
    }
    FinishTiff(what, tif, msg);
    return out;
}

}  // namespace zumeld_formats
