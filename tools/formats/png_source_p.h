// libpng reading from a block of memory, shared by the picture and heightmap readers.
#pragma once

#include <png.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

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

}  // namespace zumeld_formats
