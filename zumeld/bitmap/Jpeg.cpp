// libjpeg-turbo calls for the bitmap component. libjpeg reports errors by longjmp, so the
// two coding functions below hold only trivially destructible locals (C structs, scalars):
// a jump out of libjpeg never skips a C++ destructor.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "zumeld/bitmap/Jpeg_p.h"

namespace Quobel {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings are counted by libjpeg (num_warnings); nothing is printed.
void OnJpegMessage(j_common_ptr) {}

void InitErrors(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = OnJpegError;
    err.pub.output_message = OnJpegMessage;
}

// A destination that writes into the caller's block. Once the block is full, further bytes
// go to a scratch area (libjpeg asks for room as soon as the block is full, even when no
// byte follows); any byte landing there means the stream did not fit, and coding finishes
// to report failure.
struct BlockDestination {
    jpeg_destination_mgr pub;
    JOCTET* begin;
    std::size_t size;
    bool inScratch;
    bool overflow;
    JOCTET scratch[4096];
};

void InitDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<BlockDestination*>(cinfo->dest);
    d->pub.next_output_byte = d->begin;
    d->pub.free_in_buffer = d->size;
}

boolean EmptyDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<BlockDestination*>(cinfo->dest);
    d->overflow = d->inScratch;
    d->inScratch = true;
    d->pub.next_output_byte = d->scratch;
    d->pub.free_in_buffer = sizeof d->scratch;
    return TRUE;
}

void TermDestination(j_compress_ptr) {}

bool IsValidPicture(const JpegPicture& pic) {
    return pic.topRow != nullptr && pic.width > 0 && pic.height > 0 &&
           (pic.bytesPerPixel == 1 || pic.bytesPerPixel == 3 || pic.bytesPerPixel == 4);
}

J_COLOR_SPACE ColourSpaceOf(int bytesPerPixel) {
    return bytesPerPixel == 1 ? JCS_GRAYSCALE : bytesPerPixel == 3 ? JCS_EXT_BGR : JCS_EXT_BGRX;
}

JSAMPROW RowOf(const JpegPicture& pic, JDIMENSION y) {
    return pic.topRow + static_cast<std::ptrdiff_t>(y) * pic.rowStep;
}

}  // namespace

bool EncodeJpeg(const JpegPicture& pic, int quality, BYTE* out, std::size_t outSize,
                std::size_t* produced) {
    if (!IsValidPicture(pic) || out == nullptr || outSize == 0) return false;
    jpeg_compress_struct cinfo;
    ErrorManager err;
    BlockDestination dest;
    InitErrors(err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    dest.pub.init_destination = InitDestination;
    dest.pub.empty_output_buffer = EmptyDestination;
    dest.pub.term_destination = TermDestination;
    dest.begin = out;
    dest.size = outSize;
    dest.inScratch = false;
    dest.overflow = false;
    cinfo.dest = &dest.pub;
    cinfo.image_width = static_cast<JDIMENSION>(pic.width);
    cinfo.image_height = static_cast<JDIMENSION>(pic.height);
    cinfo.input_components = pic.bytesPerPixel;
    cinfo.in_color_space = ColourSpaceOf(pic.bytesPerPixel);
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality < 1 ? 1 : quality > 100 ? 100 : quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = RowOf(pic, cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    const bool ok =
        !dest.overflow && (!dest.inScratch || dest.pub.free_in_buffer == sizeof dest.scratch);
    const std::size_t length = dest.inScratch ? outSize : outSize - dest.pub.free_in_buffer;
    jpeg_destroy_compress(&cinfo);
    if (ok && produced != nullptr) *produced = length;
    return ok;
}

bool DecodeJpeg(const BYTE* data, std::size_t size, const JpegPicture& pic) {
    if (!IsValidPicture(pic) || data == nullptr || size == 0) return false;
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    InitErrors(err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK ||
        cinfo.image_width != static_cast<JDIMENSION>(pic.width) ||
        cinfo.image_height != static_cast<JDIMENSION>(pic.height)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = ColourSpaceOf(pic.bytesPerPixel);
    jpeg_start_decompress(&cinfo);
    bool ok = cinfo.output_components == pic.bytesPerPixel &&
              cinfo.output_width == static_cast<JDIMENSION>(pic.width);
    while (ok && cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = RowOf(pic, cinfo.output_scanline);
        ok = jpeg_read_scanlines(&cinfo, &row, 1) == 1;
    }
    if (ok) jpeg_finish_decompress(&cinfo);
    // A stream cut short decodes with a warning (libjpeg pads it with grey): refused.
    ok = ok && err.pub.num_warnings == 0;
    jpeg_destroy_decompress(&cinfo);
    if (ok && pic.bytesPerPixel == 4) {
        for (int y = 0; y < pic.height; ++y) {
            BYTE* p = RowOf(pic, static_cast<JDIMENSION>(y));
            for (int x = 0; x < pic.width; ++x) p[x * 4 + 3] = 0;
        }
    }
    return ok;
}

bool JpegPictureSize(const BYTE* data, std::size_t size, int* width, int* height) {
    if (data == nullptr || size == 0 || width == nullptr || height == nullptr) return false;
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    InitErrors(err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    const bool ok = jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK;
    if (ok) {
        // libjpeg caps both sides at 65500, so they fit an int.
        *width = static_cast<int>(cinfo.image_width);
        *height = static_cast<int>(cinfo.image_height);
    }
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

}  // namespace Quobel
