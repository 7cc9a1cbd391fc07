// libpng over blocks of memory, shared by the picture and heightmap readers and writers.
// libpng reports errors by longjmp, and its callbacks run inside its C frames: nothing may
// be thrown through them, so the callbacks below catch what C++ throws and report it through
// libpng's error path, and the functions that call libpng keep only plain data in scope of
// their setjmp.
#pragma once

#include <png.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zumeld_formats {

// The bytes not yet handed to libpng.
struct PngSource {
    const std::uint8_t* data;
    std::size_t left;
};

// libpng read callback over a PngSource; a read past the end is a libpng error.
inline void PngRead(png_structp png, png_bytep out, png_size_t n) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > src->left) png_error(png, "the file ends early");
    std::memcpy(out, src->data, n);
    src->data += n;
    src->left -= n;
}

// libpng write callback appending to the std::vector<std::uint8_t> of the io pointer.
// Running out of memory is a libpng error.
inline void PngWrite(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bool failed = false;
    try {
        out->insert(out->end(), data, data + n);
    } catch (...) {
        failed = true;  // the longjmp of png_error must not leave a catch handler
    }
    if (failed) png_error(png, "out of memory");
}
inline void PngFlush(png_structp) {}

// The error handlers of every libpng struct made here: nothing is printed; the message of
// an error is copied into the PngError given as the error pointer, for the Error thrown
// once libpng has jumped back.
struct PngError {
    char text[200] = "damaged PNG data";
};
inline void PngOnError(png_structp png, png_const_charp msg) {
    auto* err = static_cast<PngError*>(png_get_error_ptr(png));
    std::snprintf(err->text, sizeof err->text, "%s", msg);
    png_longjmp(png, 1);
}
inline void PngOnWarning(png_structp, png_const_charp) {}

// A libpng read or write struct with its info struct and the error record its handlers
// fill, released on every path out of the function that holds it. Null members when
// libpng could not make them.
template <bool kWrite>
struct PngHandle {
    PngError err;
    png_structp png =
        kWrite ? png_create_write_struct(PNG_LIBPNG_VER_STRING, &err, PngOnError, PngOnWarning)
               : png_create_read_struct(PNG_LIBPNG_VER_STRING, &err, PngOnError, PngOnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;

    PngHandle() = default;
    ~PngHandle() {
        if constexpr (kWrite)
            png_destroy_write_struct(&png, &info);
        else
            png_destroy_read_struct(&png, &info, nullptr);
    }
    PngHandle(const PngHandle&) = delete;
    PngHandle& operator=(const PngHandle&) = delete;
};
using PngWriteHandle = PngHandle<true>;
using PngReadHandle = PngHandle<false>;

}  // namespace zumeld_formats
