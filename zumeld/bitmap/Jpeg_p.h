// JPEG coding of a picture in memory through libjpeg-turbo. Internal to the bitmap
// component. The caller owns the picture and both byte blocks; nothing is kept.
// Pixels: 1 byte (grey), 3 bytes (B, G, R) or 4 bytes (B, G, R, then a byte that decoding
// sets to 0). Rows are addressed from the top row on, `rowStep` bytes apart (negative for
// bottom-up memory). Thread-safe: no shared state.
#pragma once

#include <cstddef>

#include "zumeld/platform/win32.h"

namespace Quobel {

struct JpegPicture {
    BYTE* topRow = nullptr;      // first byte of the picture's top row
    std::ptrdiff_t rowStep = 0;  // bytes from one row to the next one down
    int width = 0;
    int height = 0;
    int bytesPerPixel = 0;  // 1, 3 or 4
};

// Codes the picture as a baseline JPEG stream into [out, out + outSize).
// Requires: a picture as above; quality is clamped to 1..100.
// Otherwise (no picture, the stream does not fit, libjpeg refuses): false, *produced untouched.
bool EncodeJpeg(const JpegPicture& pic, int quality, BYTE* out, std::size_t outSize,
                std::size_t* produced);

// Decodes a stream of `size` bytes into the picture (colour streams become grey for a
// 1-byte picture, grey streams become B = G = R for colour pictures).
// Requires: a picture as above.
// Otherwise (not JPEG, cut short or damaged (any libjpeg warning), another picture size):
// false; rows may be partly written, so callers clear the picture.
bool DecodeJpeg(const BYTE* data, std::size_t size, const JpegPicture& pic);

// The picture size a stream's header declares, read without decoding the pixels.
// Otherwise (no stream, not JPEG, header cut short): false, *width and *height untouched.
bool JpegPictureSize(const BYTE* data, std::size_t size, int* width, int* height);

}  // namespace Quobel
