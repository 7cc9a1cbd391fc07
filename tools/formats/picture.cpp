// PNG read through libpng, written from zlib on the library's threads; .bmp by hand with
// bounded reads.
#include "picture.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "error.h"
#include "files.h"
#include "map_limits.h"
#include "png_io_p.h"
#include "zumeld/util/Threads.h"

namespace zumeld_formats {

namespace {

using Quobel::CControlBmp;

void CheckDrawable(const CControlBmp& bmp) {
    if (bmp.GetBufferPtr() == nullptr || bmp.GetWidth() <= 0 || bmp.GetHeight() <= 0 ||
        (bmp.GetBitCount() != 24 && bmp.GetBitCount() != 32))
        throw Error("picture", "no 24- or 32-bit picture to write");
}

// Row y of the picture (0 = top) of a bottom-up buffer.
const BYTE* TopRow(const CControlBmp& bmp, int y) {
    return bmp.GetBufferPtr() +
           static_cast<std::ptrdiff_t>(bmp.GetHeight() - 1 - y) * bmp.GetWidthBytes();
}

// ---- PNG out
// -------------------------------------------------------------------------------------------
// libpng compresses on one thread, so the writer makes the stream itself from zlib: the
// picture is cut into strips of whole rows (about 1 MiB of filtered bytes each, the same
// strips for every thread count), each strip is filtered and deflated on its own, primed
// with the 32 KiB of filtered bytes before it as dictionary and ended with a sync flush,
// and the strips follow one another as one zlib stream in IDAT chunks. The bytes are the
// same for every thread count; any PNG reader reads them.

constexpr std::size_t kStripBytes = std::size_t{1} << 20;
constexpr std::size_t kWindow = 32768;

// Row filters. Levels 1..5 filter every row with Up (the byte above subtracted): the
// cheapest filter and, on rendered relief, within a few per cent of the best at those
// levels. Levels 6..9 choose each row's filter from all five, the one whose bytes read as
// signed have the smallest sum of magnitudes (the usual heuristic). Level 0: None.
enum PngFilter { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

int PaethPredictor(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// R, G, B of picture row y (0 = top).
void RgbRow(const CControlBmp& bmp, int y, std::uint8_t* out) {
    const int w = bmp.GetWidth(), p = bmp.GetBitCount() / 8;
    const BYTE* src = TopRow(bmp, y);
    for (int x = 0; x < w; ++x, src += p, out += 3) {
        out[0] = src[2];
        out[1] = src[1];
        out[2] = src[0];
    }
}

// One row through filter F: the filter byte, then the filtered bytes (3 bytes a pixel).
template <int F>
void ApplyFilter(const std::uint8_t* cur, const std::uint8_t* up, std::size_t n,
                 std::uint8_t* out) {
    *out++ = static_cast<std::uint8_t>(F);
    for (std::size_t i = 0; i < n; ++i) {
        const int a = i >= 3 ? cur[i - 3] : 0, b = up[i], c = i >= 3 ? up[i - 3] : 0;
        int predicted = 0;
        if constexpr (F == kSub) predicted = a;
        if constexpr (F == kUp) predicted = b;
        if constexpr (F == kAverage) predicted = (a + b) / 2;
        if constexpr (F == kPaeth) predicted = PaethPredictor(a, b, c);
        out[i] = static_cast<std::uint8_t>(cur[i] - predicted);
    }
}

void ApplyFilter(int filter, const std::uint8_t* cur, const std::uint8_t* up, std::size_t n,
                 std::uint8_t* out) {
    switch (filter) {
        case kSub:
            return ApplyFilter<kSub>(cur, up, n, out);
        case kUp:
            return ApplyFilter<kUp>(cur, up, n, out);
        case kAverage:
            return ApplyFilter<kAverage>(cur, up, n, out);
        case kPaeth:
            return ApplyFilter<kPaeth>(cur, up, n, out);
        default:
            return ApplyFilter<kNone>(cur, up, n, out);
    }
}

// Filtered rows [y0, y1) into out, rowBytes (3 x width + 1) each.
void FilterRows(const CControlBmp& bmp, int level, int y0, int y1, std::uint8_t* out) {
    const std::size_t n = static_cast<std::size_t>(bmp.GetWidth()) * 3;
    std::vector<std::uint8_t> cur(n), up(n, 0), trial(n + 1);
    if (y0 > 0) RgbRow(bmp, y0 - 1, up.data());
    for (int y = y0; y < y1; ++y, out += n + 1) {
        RgbRow(bmp, y, cur.data());
        if (level < 6) {
            ApplyFilter(level == 0 ? kNone : kUp, cur.data(), up.data(), n, out);
        } else {
            std::uint64_t best = UINT64_MAX;
            for (int f = kNone; f <= kPaeth; ++f) {
                ApplyFilter(f, cur.data(), up.data(), n, trial.data());
                std::uint64_t sum = 0;
                for (std::size_t i = 1; i <= n; ++i)
                    sum += static_cast<std::uint64_t>(std::abs(static_cast<std::int8_t>(trial[i])));
                if (sum < best) {
                    best = sum;
                    std::memcpy(out, trial.data(), n + 1);
                }
            }
        }
        cur.swap(up);
    }
}

struct PngStrip {
    std::vector<std::uint8_t> filtered;
    std::vector<std::uint8_t> dictionary;
    std::vector<std::uint8_t> out;  // raw deflate data
    uLong adler = 1;
    bool ok = false;
};

// Filters and deflates rows [y0, y1): a sync flush ends every strip but the last.
void DeflateStrip(const CControlBmp& bmp, int level, int y0, int y1, bool last, PngStrip& s) {
    const std::size_t rowBytes = static_cast<std::size_t>(bmp.GetWidth()) * 3 + 1;
    s.filtered.resize(rowBytes * static_cast<std::size_t>(y1 - y0));
    FilterRows(bmp, level, y0, y1, s.filtered.data());
    // The last 32 KiB of filtered bytes before the strip, as the one-stream encoder sees them.
    const int before = static_cast<int>(
        std::min<std::size_t>(static_cast<std::size_t>(y0), (kWindow + rowBytes - 1) / rowBytes));
    s.dictionary.resize(rowBytes * static_cast<std::size_t>(before));
    FilterRows(bmp, level, y0 - before, y0, s.dictionary.data());

    // The deflate state, ended on every way out (a buffer below can throw bad_alloc).
    struct Deflater {
        z_stream z{};
        bool live = false;
        ~Deflater() {
            if (live) deflateEnd(&z);
        }
    } d;
    z_stream& z = d.z;
    // Levels 6..9 use zlib's strategy for filtered data, as libpng does.
    const int strategy = level >= 6 ? Z_FILTERED : Z_DEFAULT_STRATEGY;
    s.ok = d.live = deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) == Z_OK;
    if (!s.ok) return;
    const std::size_t dictBytes = std::min(s.dictionary.size(), kWindow);
    if (dictBytes > 0)
        deflateSetDictionary(&z, s.dictionary.data() + s.dictionary.size() - dictBytes,
                             static_cast<uInt>(dictBytes));
    s.out.resize(deflateBound(&z, static_cast<uLong>(s.filtered.size())) + 64);
    z.next_in = s.filtered.data();
    z.avail_in = static_cast<uInt>(s.filtered.size());
    int rc;
    do {
        if (z.total_out == s.out.size()) s.out.resize(s.out.size() * 2);
        z.next_out = s.out.data() + z.total_out;
        z.avail_out = static_cast<uInt>(s.out.size() - z.total_out);
        rc = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    } while (rc == Z_OK && (last || z.avail_out == 0));
    s.ok = rc == (last ? Z_STREAM_END : Z_OK);
    s.out.resize(z.total_out);
    s.adler = adler32(1, s.filtered.data(), static_cast<uInt>(s.filtered.size()));
}

void Put32Be(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

// One chunk: length, type, the data (given in up to three pieces), CRC of type and data.
void PutChunk(const ByteSink& sink, const char* type,
              std::initializer_list<std::pair<const std::uint8_t*, std::size_t>> pieces) {
    std::size_t length = 0;
    for (const auto& [data, n] : pieces) length += n;
    std::uint8_t head[8];
    Put32Be(head, static_cast<std::uint32_t>(length));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    sink(head, 8);
    for (const auto& [data, n] : pieces) {
        if (n == 0) continue;
        crc = crc32(crc, data, static_cast<uInt>(n));
        sink(data, n);
    }
    std::uint8_t tail[4];
    Put32Be(tail, static_cast<std::uint32_t>(crc));
    sink(tail, 4);
}

// Reads the header and sets up decoding to 8-bit RGBA; false on a libpng error.
bool ReadPngHeader(png_structp png, png_infop info, PngSource* src, std::uint32_t* width,
                   std::uint32_t* height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, src, PngRead);
    png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
    png_read_info(png, info);
    const int type = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (depth == 16) png_set_strip_16(png);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (trns) png_set_tRNS_to_alpha(png);
    if (!(type & PNG_COLOR_MASK_ALPHA) && !trns) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(*width) * 4) return false;
    return true;
}

// Decodes every row into the given row pointers; false on a libpng error.
bool ReadPngImage(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

// Puts RGBA rows (top first) into a new 32-bit picture.
void FillFromRgba(const std::string& what, const std::vector<png_byte>& rgba, int w, int h,
                  CControlBmp& out) {
    if (!out.CreateBitmap(w, h, 32, 0, nullptr))
        throw Error(what, "cannot make a picture of that size");
    for (int y = 0; y < h; ++y) {
        BYTE* dst =
            out.GetBufferPtr() + static_cast<std::ptrdiff_t>(h - 1 - y) * out.GetWidthBytes();
        const png_byte* src = rgba.data() + static_cast<std::size_t>(y) * w * 4;
        for (int x = 0; x < w; ++x) {
            dst[4 * x] = src[4 * x + 2];
            dst[4 * x + 1] = src[4 * x + 1];
            dst[4 * x + 2] = src[4 * x];
            dst[4 * x + 3] = 0;
        }
    }
}

void DecodePng(const std::string& what, const std::vector<std::uint8_t>& bytes, CControlBmp& out) {
    std::vector<png_byte> rgba;
    std::uint32_t w = 0, h = 0;
    {
        PngReadHandle handle;
        if (!handle.info) throw Error(what, "out of memory");
        PngSource src{bytes.data(), bytes.size()};
        std::vector<png_bytep> rows;
        bool ok = ReadPngHeader(handle.png, handle.info, &src, &w, &h) && w > 0 && h > 0;
        if (ok) {
            rgba.resize(static_cast<std::size_t>(w) * h * 4);
            for (std::uint32_t y = 0; y < h; ++y)
                rows.push_back(rgba.data() + static_cast<std::size_t>(y) * w * 4);
            ok = ReadPngImage(handle.png, rows.data());
        }
        if (!ok) throw Error(what, "not a readable PNG picture");
    }
    FillFromRgba(what, rgba, static_cast<int>(w), static_cast<int>(h), out);
}

// ---- BMP
// ------------------------------------------------------------------------------------------

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}
void Put16(std::vector<std::uint8_t>& v, std::uint16_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}

void DecodeBmp(const std::string& what, const std::vector<std::uint8_t>& b, CControlBmp& out) {
    auto bad = [&](const char* why) {
        return Error(what, std::string("not a readable .bmp: ") + why);
    };
    if (b.size() < 14 + 40) throw bad("too short");
    const std::uint32_t offBits = Le32(&b[10]);
    const std::uint32_t headerSize = Le32(&b[14]);
    if (headerSize < 40 || headerSize > b.size() - 14) throw bad("header");
    const auto width = static_cast<std::int32_t>(Le32(&b[18]));
    const auto rawHeight = static_cast<std::int32_t>(Le32(&b[22]));
    const int bits = Le16(&b[28]);
    const std::uint32_t compression = Le32(&b[30]);
    std::uint32_t colors = Le32(&b[46]);
    if (compression != 0) throw bad("compressed");
    if (bits != 8 && bits != 24 && bits != 32) throw bad("only 8, 24 and 32 bits are read");
    if (width < 1 || width > kMaxPictureSide || rawHeight == 0 || rawHeight < -kMaxPictureSide ||
        rawHeight > kMaxPictureSide)
        throw bad("size");
    const int height = rawHeight < 0 ? -rawHeight : rawHeight;
    if (bits == 8 && (colors == 0 || colors > 256)) colors = 256;
    const std::size_t paletteAt = 14 + static_cast<std::size_t>(headerSize);
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    if (offBits < paletteAt || offBits > b.size() ||
        static_cast<std::size_t>(height) * rowBytes > b.size() - offBits)
        throw bad("file ends early");
    if (bits == 8 && colors * 4 > offBits - paletteAt) throw bad("colour table");

    std::vector<png_byte> rgba(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        const std::size_t stored = rawHeight > 0 ? static_cast<std::size_t>(height - 1 - y) : y;
        const std::uint8_t* src = &b[offBits + stored * rowBytes];
        png_byte* dst = &rgba[static_cast<std::size_t>(y) * width * 4];
        for (int x = 0; x < width; ++x, dst += 4) {
            const std::uint8_t* px;
            if (bits == 8) {
                const std::uint32_t i = std::min<std::uint32_t>(src[x], colors - 1);
                px = &b[paletteAt + 4 * i];
            } else {
                px = src + static_cast<std::size_t>(x) * (bits / 8);
            }
            dst[0] = px[2];
            dst[1] = px[1];
            dst[2] = px[0];
            dst[3] = 0xFF;
        }
    }
    FillFromRgba(what, rgba, width, height, out);
}

}  // namespace

void EncodePng(const CControlBmp& bmp, int level, const ByteSink& sink) {
    CheckDrawable(bmp);
    if (level < 0 || level > 9) throw UsageError("png", "compression level must be 0..9");
    const int w = bmp.GetWidth(), h = bmp.GetHeight();
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    sink(kSignature, 8);
    std::uint8_t ihdr[13] = {};
    Put32Be(ihdr, static_cast<std::uint32_t>(w));
    Put32Be(ihdr + 4, static_cast<std::uint32_t>(h));
    ihdr[8] = 8;  // bits a sample
    ihdr[9] = 2;  // RGB; compression, filter method and interlace 0
    PutChunk(sink, "IHDR", {{ihdr, sizeof ihdr}});

    // The zlib header as zlib writes it: 32 KiB window, the level's class, no dictionary.
    const unsigned levelClass = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = (0x78u << 8) | (levelClass << 6);
    header += 31 - header % 31;
    const std::uint8_t zlibHeader[2] = {static_cast<std::uint8_t>(header >> 8),
                                        static_cast<std::uint8_t>(header)};

    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3 + 1;
    const int stripRows = static_cast<int>(std::max<std::size_t>(1, kStripBytes / rowBytes));
    const int strips = (h + stripRows - 1) / stripRows;
    // Strips are made a batch at a time on the library's threads and written in order, so
    // the memory held stays a few strips whatever the picture's size.
    std::vector<PngStrip> batch(
        static_cast<std::size_t>(std::max(1, Zumeld::GetThreadCount() * 2)));
    uLong adler = 1;
    for (int first = 0; first < strips; first += static_cast<int>(batch.size())) {
        const int n = std::min(static_cast<int>(batch.size()), strips - first);
        Zumeld::RunOnThreads(n, [&](int i) {
            const int k = first + i;
            DeflateStrip(bmp, level, k * stripRows, std::min(h, (k + 1) * stripRows),
                         k == strips - 1, batch[static_cast<std::size_t>(i)]);
        });
        for (int i = 0; i < n; ++i) {
            const PngStrip& s = batch[static_cast<std::size_t>(i)];
            const int k = first + i;
            if (!s.ok) throw Error("png", "encoding failed");
            const std::size_t filtered =
                rowBytes *
                static_cast<std::size_t>(std::min(h, (k + 1) * stripRows) - k * stripRows);
            adler = adler32_combine(adler, s.adler, static_cast<z_off_t>(filtered));
            std::uint8_t check[4];
            Put32Be(check, static_cast<std::uint32_t>(adler));
            PutChunk(sink, "IDAT",
                     {{zlibHeader, k == 0 ? 2u : 0u},
                      {s.out.data(), s.out.size()},
                      {check, k == strips - 1 ? 4u : 0u}});
        }
    }
    PutChunk(sink, "IEND", {});
}

std::vector<std::uint8_t> EncodePng(const CControlBmp& bmp, int level) {
    std::vector<std::uint8_t> out;
    EncodePng(bmp, level,
              [&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
    return out;
}

void EncodeBmp(const CControlBmp& bmp, const ByteSink& sink) {
    CheckDrawable(bmp);
    const int w = bmp.GetWidth(), h = bmp.GetHeight(), p = bmp.GetBitCount() / 8;
    const std::size_t rowBytes = (static_cast<std::size_t>(w) * 3 + 3) / 4 * 4;
    const std::size_t image = rowBytes * static_cast<std::size_t>(h);
    if (image > 0x7FFFFFFF - 54) throw Error("bmp", "picture too large for a .bmp file");
    std::vector<std::uint8_t> out;
    Put16(out, 0x4D42);  // "BM"
    Put32(out, static_cast<std::uint32_t>(54 + image));
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(w));
    Put32(out, static_cast<std::uint32_t>(h));  // positive: bottom-up rows
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, static_cast<std::uint32_t>(image));
    Put32(out, 3780);
    Put32(out, 3780);
    Put32(out, 0);
    Put32(out, 0);
    sink(out.data(), out.size());
    // A 24-bit picture whose rows need no padding is already the file's pixel array.
    if (p == 3 && rowBytes == static_cast<std::size_t>(w) * 3 &&
        static_cast<std::size_t>(bmp.GetWidthBytes()) == rowBytes) {
        sink(bmp.GetBufferPtr(), image);
        return;
    }
    std::vector<std::uint8_t> row(rowBytes, 0);
    for (int y = h - 1; y >= 0; --y) {  // the bottom row first
        const BYTE* src = TopRow(bmp, y);
        for (int x = 0; x < w; ++x)
            std::memcpy(&row[3 * static_cast<std::size_t>(x)], src + x * p, 3);
        sink(row.data(), row.size());
    }
}

std::vector<std::uint8_t> EncodeBmp(const CControlBmp& bmp) {
    std::vector<std::uint8_t> out;
    EncodeBmp(bmp, [&](const std::uint8_t* b, std::size_t n) { out.insert(out.end(), b, b + n); });
    return out;
}

PictureFormat PictureFormatOfPath(const std::string& path) {
    if (IsStream(path)) return PictureFormat::kPng;
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.ends_with(".png")) return PictureFormat::kPng;
    if (lower.ends_with(".bmp")) return PictureFormat::kBmp;
    if (lower.ends_with(".tif") || lower.ends_with(".tiff")) return PictureFormat::kTiff;
    throw UsageError(path,
                     "unknown picture format: the name must end in .png, .bmp or .tif (.tiff)");
}

void WritePicture(const std::string& path, const CControlBmp& bmp, int pngLevel) {
    const PictureFormat format = PictureFormatOfPath(path);
    if (format == PictureFormat::kTiff)
        throw UsageError(path, "a GeoTIFF picture is written by EncodeGeoTiffPicture");
    CheckDrawable(bmp);
    // Streamed to the temporary file: the encoded picture is never held whole in memory.
    AtomicFile file(path);
    const ByteSink sink = [&](const std::uint8_t* b, std::size_t n) { file.Write(b, n); };
    if (format == PictureFormat::kBmp)
        EncodeBmp(bmp, sink);
    else
        EncodePng(bmp, pngLevel, sink);
    file.Commit();
}

void DecodePicture(const std::string& what, const std::vector<std::uint8_t>& bytes,
                   CControlBmp& out) {
    static const std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0)
        DecodePng(what, bytes, out);
    else if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
        DecodeBmp(what, bytes, out);
    else
        throw Error(what, "not a .png or .bmp picture");
}

void ReadPicture(const std::string& path, CControlBmp& out) {
    DecodePicture(path, ReadWholeFile(path), out);
}

}  // namespace zumeld_formats
