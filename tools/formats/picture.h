// Pictures in and out: a CControlBmp written as .png (through libpng) or .bmp,
// and a .png or .bmp file read into a 32-bit CControlBmp (whose handle can be given to the
// library as an HBITMAP).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zumeld/bitmap/ControlBmp.h"

namespace zumeld_formats {

// The picture as an 8-bit RGB PNG stream. Requires: a 24- or 32-bit picture.
// Throws Error otherwise or when encoding fails.
std::vector<std::uint8_t> EncodePng(const Quobel::CControlBmp& bmp);
// The picture as a 24-bit uncompressed .bmp file. Requires: a 24- or 32-bit picture.
std::vector<std::uint8_t> EncodeBmp(const Quobel::CControlBmp& bmp);
// Writes the picture to path through a temporary file: .bmp for a name ending in ".bmp"
// (any case), PNG otherwise. Throws Error on failure.
void WritePicture(const std::string& path, const Quobel::CControlBmp& bmp);

// Decodes a PNG stream or an uncompressed 8-, 24- or 32-bit .bmp file (recognised by its
// first bytes) into `out` at 32 bits. Throws Error naming `what` when the bytes are not
// such a picture or are larger than 16384 x 16384.
void DecodePicture(const std::string& what, const std::vector<std::uint8_t>& bytes,
                   Quobel::CControlBmp& out);
// Reads a picture file into `out` (see DecodePicture).
void ReadPicture(const std::string& path, Quobel::CControlBmp& out);

}  // namespace zumeld_formats
