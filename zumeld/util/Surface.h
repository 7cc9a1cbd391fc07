// PixelSurface: a plain view of a 24- or 32-bit target picture for the drawing kernels;
// OverlayView: a plain view of a 32-bit overlay picture.
// Row y of the picture (0 = top) starts at topRow + y * rowStep; rowStep is negative for the
// bottom-up buffers of CControlBmp. Pixels are bytesPerPixel (3 or 4) bytes: B, G, R and,
// at 32 bits, a fourth byte that drawing never writes. The surface does not own the pixels.
#pragma once

#include <cstddef>

#include "zumeld/bitmap/ControlBmp.h"

namespace Zumeld {

struct PixelSurface {
    BYTE* topRow = nullptr;
    std::ptrdiff_t rowStep = 0;
    int width = 0;
    int height = 0;
    int bytesPerPixel = 0;

    // True when there is something to draw on: pixel memory, a size, 3 or 4 bytes a pixel.
    bool IsDrawable() const {
        return topRow != nullptr && width > 0 && height > 0 &&
               (bytesPerPixel == 3 || bytesPerPixel == 4);
    }
    BYTE* Row(int y) const { return topRow + static_cast<std::ptrdiff_t>(y) * rowStep; }
    BYTE* Pixel(int x, int y) const {
        return Row(y) + static_cast<std::ptrdiff_t>(x) * bytesPerPixel;
    }
};

// A read-only picture of 4 bytes a pixel (B, G, R, fourth byte), row 0 at the top, rowBytes
// apart (at least width x 4): how the overlay kernels of resampling and blending read it.
struct OverlayView {
    const BYTE* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t rowBytes = 0;
};

// The surface of a CControlBmp; an empty (not drawable) surface for a null buffer, a
// buffer without pixel memory, or one of fewer than 24 bits.
inline PixelSurface SurfaceOf(const Quobel::CControlBmp* bmp) {
    PixelSurface s;
    if (bmp == nullptr || bmp->GetBufferPtr() == nullptr || bmp->GetWidth() <= 0 ||
        bmp->GetHeight() <= 0 || (bmp->GetBitCount() != 24 && bmp->GetBitCount() != 32))
        return s;
    s.topRow = bmp->GetBufferTopLeftPtr();
    s.rowStep = -static_cast<std::ptrdiff_t>(bmp->GetWidthBytes());
    s.width = bmp->GetWidth();
    s.height = bmp->GetHeight();
    s.bytesPerPixel = bmp->GetBitCount() / 8;
    return s;
}

}  // namespace Zumeld
