// PNG, PGM, raw and ASCII-grid heightmaps read front to back through a small buffer, row by
// row into a RasterSink, so that a file as large as a map holds (or larger, with --fit)
// needs the map and one row besides.
#include "heightmap_read_p.h"

#include <png.h>

#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "error.h"
#include "files.h"
#include "map_limits.h"
#include "png_io_p.h"

namespace zumeld_formats {

namespace {

// A regular file read front to back through a buffer. Reads never throw (libpng calls them
// from its C frames): a failed read ends the data early, and the reader reports truncation.
class InFile {
  public:
    explicit InFile(const std::string& path) : file_(path), left_(file_.Size()) {}
    InFile(const InFile&) = delete;
    InFile& operator=(const InFile&) = delete;

    // The bytes not yet read, by the file's length when it was opened.
    std::uint64_t Left() const { return left_; }
    // The next byte without taking it, or -1 at the end.
    int Peek() { return at_ < end_ || Fill() ? buf_[at_] : -1; }
    int Get() {
        const int c = Peek();
        if (c >= 0) ++at_, --left_;
        return c;
    }
    // Reads up to n bytes; fewer only at the end of the data.
    std::size_t Read(void* out, std::size_t n) {
        auto* p = static_cast<unsigned char*>(out);
        std::size_t done = 0;
        while (done < n && (at_ < end_ || Fill())) {
            const std::size_t k = std::min(n - done, end_ - at_);
            std::memcpy(p + done, buf_.data() + at_, k);
            at_ += k, done += k;
        }
        left_ -= std::min<std::uint64_t>(left_, done);
        return done;
    }

  private:
    bool Fill() {
        at_ = end_ = 0;
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(buf_.size(), file_.Size() - pos_));
        if (n == 0 || !file_.ReadAt(buf_.data(), n, pos_)) return false;
        pos_ += n;
        end_ = n;
        return true;
    }

    ReadOnlyFile file_;
    std::uint64_t pos_ = 0;  // where the next Fill reads
    std::uint64_t left_ = 0;
    std::vector<unsigned char> buf_ = std::vector<unsigned char>(65536);
    std::size_t at_ = 0, end_ = 0;
};

std::string Size(std::int64_t w, std::int64_t h) {
    return std::to_string(w) + " x " + std::to_string(h);
}

void ShowProgress(const LoadProgress& progress, std::int64_t rows, std::int64_t width,
                  std::int64_t height) {
    if (progress)
        progress(static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(width),
                 static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height));
}

// ---- Text tokens (PGM header, ASCII grid) ------------------------------------------------

bool IsSpace(int c) {
    return c >= 0 && std::isspace(c);
}

// The next whitespace-separated token, at most 63 characters; empty at the end. With
// comments, '#' to the end of the line is skipped between tokens. The whitespace after the
// token is left unread.
std::string NextToken(InFile& f, const std::string& what, bool comments) {
    for (;;) {
        while (IsSpace(f.Peek())) f.Get();
        if (!comments || f.Peek() != '#') break;
        while (f.Peek() >= 0 && f.Peek() != '\n') f.Get();
    }
    std::string t;
    while (f.Peek() >= 0 && !IsSpace(f.Peek())) {
        if (t.size() == 63) throw Error(what, "damaged: a field is too long");
        t += static_cast<char>(f.Get());
    }
    return t;
}

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

long long HeaderInteger(const std::string& what, InFile& f, const char* field, long long lo,
                        long long hi) {
    const std::string t = NextToken(f, what, true);
    long long v = 0;
    if (t.empty()) throw Error(what, std::string("truncated: the header ends before ") + field);
    if (!ToInteger(t, &v)) throw Error(what, std::string("damaged: ") + field + " '" + t + "'");
    if (v < lo || v > hi)
        throw Error(what, std::string(field) + " " + t + " is outside " + std::to_string(lo) +
                              ".." + std::to_string(hi));
    return v;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// ---- PNG -----------------------------------------------------------------------------------

// An interlaced PNG is decoded whole before its rows can be had: at most this many bytes.
constexpr std::uint64_t kMaxInterlacedBytes = std::uint64_t{1} << 28;

// libpng reports errors by longjmp (png_io_p.h); the functions that call it keep only plain
// data in scope of their setjmp. InFile::Read throws nothing.
void PngReadFile(png_structp png, png_bytep out, png_size_t n) {
    if (static_cast<InFile*>(png_get_io_ptr(png))->Read(out, n) != n)
        png_error(png, "the file ends early");
}

struct PngLayout {
    png_uint_32 width = 0, height = 0;
    int channels = 0, depth = 0;  // after the transformations: 1 to 4, 8 or 16
    bool interlaced = false;
};

// Reads the header and sets up decoding to 8 or 16-bit samples (16 in host order), palettes
// expanded to RGB; false on a libpng error.
bool ReadPngHeader(png_structp png, png_infop info, InFile* file, PngLayout* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, file, PngReadFile);
    png_set_user_limits(png, kMaxSourceSide, kMaxSourceSide);
    png_read_info(png, info);
    const int type = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (depth == 16) png_set_swap(png);
    out->interlaced = png_set_interlace_handling(png) > 1;
    png_read_update_info(png, info);
    out->width = png_get_image_width(png, info);
    out->height = png_get_image_height(png, info);
    out->channels = png_get_channels(png, info);
    out->depth = png_get_bit_depth(png, info);
    return true;
}

bool ReadPngRow(png_structp png, png_bytep row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_row(png, row, nullptr);
    return true;
}

bool ReadPngImage(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

bool ReadPngEnd(png_structp png) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_end(png, nullptr);
    return true;
}

// Turns a row of `channels` samples a pixel into one grey sample a pixel, in place: the grey
// of grey + alpha, or of RGB(A) whose R, G and B agree. Returns the first pixel with colour,
// or -1.
template <class T>
long long GreyRow(T* row, std::int64_t width, int channels) {
    for (std::int64_t x = 0; x < width; ++x) {
        const T* p = row + x * channels;
        if (channels >= 3 && (p[1] != p[0] || p[2] != p[0])) return x;
        row[x] = p[0];
    }
    return -1;
}

}  // namespace

void ReadPngHeightmap(const std::string& path, const ImportOptions& o, const TargetMaker& make,
                      const LoadProgress& progress) {
    InFile file(path);
    png_byte signature[8];
    if (file.Read(signature, 8) != 8 || png_sig_cmp(signature, 0, 8) != 0)
        throw Error(path, "not a PNG file");
    PngReadHandle handle;
    if (!handle.info) throw Error(path, "out of memory");
    png_structp png = handle.png;
    png_infop info = handle.info;
    const PngError& err = handle.err;
    png_set_sig_bytes(png, 8);

    PngLayout l;
    if (!ReadPngHeader(png, info, &file, &l))
        throw Error(path, std::string("damaged PNG: ") + err.text);
    const std::size_t sample = l.depth == 16 ? 2 : 1;
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (l.width == 0 || l.height == 0 || (l.depth != 8 && l.depth != 16) ||
        rowBytes != std::size_t{l.width} * l.channels * sample)
        throw Error(path, "damaged PNG: unexpected row layout");
    if (l.interlaced && std::uint64_t{rowBytes} * l.height > kMaxInterlacedBytes)
        throw Error(path, "an interlaced PNG is decoded whole, and one of " +
                              Size(l.width, l.height) +
                              " is more than this reader holds at once; save it without "
                              "interlacing");
    const auto [ow, oh] = OutputSize(path, l.width, l.height, o);
    RasterSink sink(l.width, l.height, ow, oh,
                    sample == 2 ? SampleType::kUInt16 : SampleType::kUInt8, std::nullopt, o,
                    make(ow, oh));

    // Non-interlaced: one row at a time; interlaced: the whole image, then its rows. Held as
    // 16-bit words (rows are whole words at 16 bits), which libpng fills as bytes.
    const std::size_t rowWords = (rowBytes + 1) / 2;
    std::vector<std::uint16_t> pixels(l.interlaced ? rowWords * l.height : rowWords);
    const auto rowAt = [&](png_uint_32 y) {
        return pixels.data() + (l.interlaced ? rowWords * y : 0);
    };
    if (l.interlaced) {
        std::vector<png_bytep> rows(l.height);
        for (png_uint_32 y = 0; y < l.height; ++y) rows[y] = reinterpret_cast<png_bytep>(rowAt(y));
        if (!ReadPngImage(png, rows.data()))
            throw Error(path, std::string("damaged PNG: ") + err.text);
    }
    for (png_uint_32 y = 0; y < l.height; ++y) {
        std::uint16_t* row = rowAt(y);
        if (!l.interlaced && !ReadPngRow(png, reinterpret_cast<png_bytep>(row)))
            throw Error(path, std::string("damaged PNG: ") + err.text);
        const long long colour =
            sample == 2 ? GreyRow(row, l.width, l.channels)
                        : GreyRow(reinterpret_cast<png_bytep>(row), l.width, l.channels);
        if (colour >= 0)
            throw Error(path, "a colour picture (pixel " + std::to_string(colour) + ", " +
                                  std::to_string(y) +
                                  " is not grey); a heightmap is grey, every pixel R = G = B");
        sink.PutRow(row);
        ShowProgress(progress, y + 1, l.width, l.height);
    }
    if (!ReadPngEnd(png)) throw Error(path, std::string("damaged PNG: ") + err.text);
}

void ReadPgmHeightmap(const std::string& path, const ImportOptions& o, const TargetMaker& make,
                      const LoadProgress& progress) {
    InFile file(path);
    if (file.Get() != 'P' || file.Get() != '5') throw Error(path, "not a binary PGM file (P5)");
    const long long w = HeaderInteger(path, file, "width", 1, kMaxSourceSide);
    const long long h = HeaderInteger(path, file, "height", 1, kMaxSourceSide);
    const long long maxval = HeaderInteger(path, file, "maxval", 1, 65535);
    // Exactly one whitespace byte ends the header.
    if (!IsSpace(file.Get())) throw Error(path, "truncated: the file ends in the header");
    const std::size_t sample = maxval > 255 ? 2 : 1;
    const std::uint64_t need =
        static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) * sample;
    if (file.Left() < need)
        throw Error(path, "truncated: the samples need " + std::to_string(need) +
                              " bytes, the file has " + std::to_string(file.Left()));
    const auto [ow, oh] = OutputSize(path, w, h, o);
    RasterSink sink(w, h, ow, oh, sample == 2 ? SampleType::kUInt16 : SampleType::kUInt8,
                    std::nullopt, o, make(ow, oh));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * sample);
    std::vector<std::uint16_t> wide(sample == 2 ? static_cast<std::size_t>(w) : 0);
    for (long long y = 0; y < h; ++y) {
        if (file.Read(bytes.data(), bytes.size()) != bytes.size())
            throw Error(path, "truncated: the file ends in row " + std::to_string(y));
        for (long long x = 0; x < w; ++x) {
            const std::uint8_t* p = bytes.data() + x * sample;
            const long long v = sample == 2 ? (p[0] << 8) | p[1] : p[0];
            if (v > maxval)
                throw Error(path, "damaged: sample " + std::to_string(v) + " is above maxval " +
                                      std::to_string(maxval));
            if (sample == 2) wide[x] = static_cast<std::uint16_t>(v);
        }
        sink.PutRow(sample == 2 ? static_cast<const void*>(wide.data()) : bytes.data());
        ShowProgress(progress, y + 1, w, h);
    }
}

void ReadRawHeightmap(const std::string& path, const ImportOptions& o, const TargetMaker& make,
                      const LoadProgress& progress) {
    InFile file(path);
    const std::int64_t w = o.rawWidth, h = o.rawHeight;
    const std::uint64_t need = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) * 2;
    if (w < 1 || h < 1 || file.Left() != need)
        throw Error(path, "holds " + std::to_string(file.Left()) + " bytes; " + Size(w, h) +
                              " int16 samples need " + std::to_string(need));
    const auto [ow, oh] = OutputSize(path, w, h, o);
    RasterSink sink(w, h, ow, oh, SampleType::kInt16, std::nullopt, o, make(ow, oh));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * 2);
    std::vector<std::int16_t> row(static_cast<std::size_t>(w));
    for (std::int64_t y = 0; y < h; ++y) {
        if (file.Read(bytes.data(), bytes.size()) != bytes.size())
            throw Error(path, "truncated: the file ends in row " + std::to_string(y));
        for (std::int64_t x = 0; x < w; ++x)  // little-endian
            row[x] = static_cast<std::int16_t>(bytes[2 * x] | bytes[2 * x + 1] << 8);
        sink.PutRow(row.data());
        ShowProgress(progress, y + 1, w, h);
    }
}

void ReadAsciiGridHeightmap(const std::string& path, const ImportOptions& o,
                            const TargetMaker& make, const LoadProgress& progress) {
    InFile file(path);
    long long w = -1, h = -1;
    bool hasNodata = false;
    double nodata = 0;
    std::string t = NextToken(file, path, false);
    // The header: keyword and value pairs, in any order, until the first number.
    for (int fields = 0;; ++fields) {
        if (t.empty()) throw Error(path, "truncated: the file ends in the header");
        double probe = 0;
        if (ToNumber(t, &probe)) break;
        if (fields == 8) throw Error(path, "not an ASCII grid: too many header fields");
        const std::string key = Lower(t);
        const std::string value = NextToken(file, path, false);
        if (key == "ncols" || key == "nrows") {
            long long v = 0;
            if (!ToInteger(value, &v) || v < 1 || v > kMaxSourceSide)
                throw Error(path,
                            key + " '" + value + "' is not 1.." + std::to_string(kMaxSourceSide));
            (key == "ncols" ? w : h) = v;
        } else if (key == "nodata_value") {
            if (!ToNumber(value, &nodata))
                throw Error(path, "damaged: NODATA_value '" + value + "'");
            hasNodata = true;
        } else if (key == "xllcorner" || key == "yllcorner" || key == "xllcenter" ||
                   key == "yllcenter" || key == "cellsize" || key == "dx" || key == "dy") {
            double v = 0;
            if (!ToNumber(value, &v)) throw Error(path, "damaged: " + key + " '" + value + "'");
        } else {
            throw Error(path, "not an ASCII grid: unknown header field '" + t + "'");
        }
        t = NextToken(file, path, false);
    }
    if (w < 0 || h < 0) throw Error(path, "not an ASCII grid: ncols and nrows are required");
    // Each value takes at least one character and one separator (the last none); the first
    // value has been read already.
    const std::uint64_t cells = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h);
    if (file.Left() + t.size() + 1 < 2 * cells)
        throw Error(path, "truncated: too short for " + std::to_string(cells) + " values");
    const auto [ow, oh] = OutputSize(path, w, h, o);
    RasterSink sink(w, h, ow, oh, SampleType::kFloat64, std::nullopt, o, make(ow, oh));
    std::vector<double> row(static_cast<std::size_t>(w));
    for (long long y = 0; y < h; ++y) {
        for (long long x = 0; x < w; ++x) {
            if (y > 0 || x > 0) t = NextToken(file, path, false);
            if (t.empty())
                throw Error(path, "truncated: " + std::to_string(y * w + x) + " of " +
                                      std::to_string(cells) + " values");
            if (!ToNumber(t, &row[x])) throw Error(path, "damaged: value '" + t + "'");
            if (hasNodata && row[x] == nodata)  // NODATA cells as NaN: sea
                row[x] = std::numeric_limits<double>::quiet_NaN();
        }
        sink.PutRow(row.data());
        ShowProgress(progress, y + 1, w, h);
    }
    if (!NextToken(file, path, false).empty())
        throw Error(path, "damaged: more values than ncols x nrows");
}

}  // namespace zumeld_formats
