// Pictures in and out: a CControlBmp written as .png (through libpng) or .bmp,
// and a .png or .bmp file read into a 32-bit CControlBmp (whose handle can be given to the
// library as an HBITMAP).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zumeld/bitmap/ControlBmp.h"

namespace zumeld_formats {

enum class PictureFormat { kPng, kBmp, kTiff };
// The picture format a file name asks for: .png, .bmp, .tif or .tiff (any case); PNG for
// "-" (standard output) and for a FIFO or device named without an extension (IsStream).
// Throws a usage Error naming the path for any other name.
PictureFormat PictureFormatOfPath(const std::string& path);

// Receives an encoded picture piece by piece, in order.
using ByteSink = std::function<void(const std::uint8_t* bytes, std::size_t n)>;

// The PNG compression level a picture is written with unless asked otherwise: the speed
// and size of each level are measured in docs/PERFORMANCE.md.
constexpr int kDefaultPngLevel = 1;

// The picture as an 8-bit RGB PNG stream at zlib level 0..9, made on the library's threads
// (Zumeld::SetThreadCount); the bytes are the same for every thread count.
// Requires: a 24- or 32-bit picture; 0 <= level <= 9. Otherwise: throws Error.
void EncodePng(const Quobel::CControlBmp& bmp, int level, const ByteSink& sink);
std::vector<std::uint8_t> EncodePng(const Quobel::CControlBmp& bmp, int level = kDefaultPngLevel);
// The picture as a 24-bit uncompressed .bmp file. Requires: a 24- or 32-bit picture.
void EncodeBmp(const Quobel::CControlBmp& bmp, const ByteSink& sink);
std::vector<std::uint8_t> EncodeBmp(const Quobel::CControlBmp& bmp);
// Writes the picture to path through a temporary file, as .bmp or as PNG at pngLevel by the
// name (PictureFormatOfPath; a .tif name is refused here: geotiff.h writes those). Throws
// Error on failure.
void WritePicture(const std::string& path, const Quobel::CControlBmp& bmp,
                  int pngLevel = kDefaultPngLevel);

// Decodes a PNG stream or an uncompressed 8-, 24- or 32-bit .bmp file (recognised by its
// first bytes) into `out` at 32 bits. Throws Error naming `what` when the bytes are not
// such a picture or are larger than 16384 x 16384.
void DecodePicture(const std::string& what, const std::vector<std::uint8_t>& bytes,
                   Quobel::CControlBmp& out);
// Reads a picture file into `out` (see DecodePicture).
void ReadPicture(const std::string& path, Quobel::CControlBmp& out);

}  // namespace zumeld_formats
