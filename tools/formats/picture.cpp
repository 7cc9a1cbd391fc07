// PNG through libpng over memory buffers; .bmp by hand with bounded reads.
#include "picture.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstring>

#include "error.h"
#include "files.h"
#include "png_source_p.h"

namespace zumeld_formats {

namespace {

using Quobel::CControlBmp;

constexpr int kMaxPictureSide = 16384;

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

// ---- PNG
// ------------------------------------------------------------------------------------------

struct PngSink {
    std::vector<std::uint8_t>* out;
};

void PngWrite(png_structp png, png_bytep data, png_size_t n) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    sink->out->insert(sink->out->end(), data, data + n);
}
void PngFlush(png_structp) {}

// Runs the libpng calls with only plain data in scope of the setjmp, so a longjmp from
// libpng skips no destructor. Returns false when libpng reported an error.
bool WritePngRows(png_structp png, png_infop info, PngSink* sink, const CControlBmp& bmp,
                  png_bytep row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, sink, PngWrite, PngFlush);
    const int w = bmp.GetWidth(), h = bmp.GetHeight(), p = bmp.GetBitCount() / 8;
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) {
        const BYTE* src = TopRow(bmp, y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = src[x * p + 2];
            row[3 * x + 1] = src[x * p + 1];
            row[3 * x + 2] = src[x * p];
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
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
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw Error(what, "out of memory");
    }
    PngSource src{bytes.data(), bytes.size()};
    std::uint32_t w = 0, h = 0;
    std::vector<png_byte> rgba;
    std::vector<png_bytep> rows;
    bool ok = ReadPngHeader(png, info, &src, &w, &h) && w > 0 && h > 0;
    if (ok) {
        rgba.resize(static_cast<std::size_t>(w) * h * 4);
        for (std::uint32_t y = 0; y < h; ++y)
            rows.push_back(rgba.data() + static_cast<std::size_t>(y) * w * 4);
        ok = ReadPngImage(png, rows.data());
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) throw Error(what, "not a readable PNG picture");
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

std::vector<std::uint8_t> EncodePng(const CControlBmp& bmp) {
    CheckDrawable(bmp);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        throw Error("png", "out of memory");
    }
    std::vector<std::uint8_t> out;
    std::vector<png_byte> row(static_cast<std::size_t>(bmp.GetWidth()) * 3);
    PngSink sink{&out};
    const bool ok = WritePngRows(png, info, &sink, bmp, row.data());
    png_destroy_write_struct(&png, &info);
    if (!ok) throw Error("png", "encoding failed");
    return out;
}

std::vector<std::uint8_t> EncodeBmp(const CControlBmp& bmp) {
    CheckDrawable(bmp);
    const int w = bmp.GetWidth(), h = bmp.GetHeight(), p = bmp.GetBitCount() / 8;
    const std::size_t rowBytes = (static_cast<std::size_t>(w) * 3 + 3) / 4 * 4;
    const std::size_t image = rowBytes * static_cast<std::size_t>(h);
    if (image > 0x7FFFFFFF - 54) throw Error("bmp", "picture too large for a .bmp file");
    std::vector<std::uint8_t> out;
    out.reserve(54 + image);
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
    for (int y = h - 1; y >= 0; --y) {  // the bottom row first
        const BYTE* src = TopRow(bmp, y);
        for (int x = 0; x < w; ++x) out.insert(out.end(), src + x * p, src + x * p + 3);
        out.resize(out.size() + (rowBytes - static_cast<std::size_t>(w) * 3), 0);
    }
    return out;
}

void WritePicture(const std::string& path, const CControlBmp& bmp) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool bmpFile = lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".bmp") == 0;
    WriteFileAtomically(path, bmpFile ? EncodeBmp(bmp) : EncodePng(bmp));
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
