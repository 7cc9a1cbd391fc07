// Inputs for the drawing kernels: a texture slot with chosen texels, a display grid, and a
// bottom-up target picture with padded rows and guard bytes, so that any write outside the
// picture (padding, guards, the fourth byte of a 32-bit pixel) is seen.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "test_random.h"
#include "zumeld/render/SpanRenderer.h"
#include "zumeld/render/TextureSet.h"
#include "zumeld/util/SharedBlock.h"
#include "zumeld/util/Surface.h"

namespace render_test {

using Zumeld::tagTEXTURE_SLOT;

struct Texel {
    BYTE b, g, r;
    bool operator==(const Texel&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, Texel t) {
    return os << "(B " << int(t.b) << ", G " << int(t.g) << ", R " << int(t.r) << ")";
}

using TexelFn = std::function<Texel(int, int)>;
// Texels of one colour, or (kx * x, ky * y, r) at texel (x, y).
inline TexelFn Flat(Texel t) {
    return [t](int, int) { return t; };
}
inline TexelFn Ramp(int kx, int ky, BYTE r) {
    return [=](int x, int y) { return Texel{BYTE(kx * x), BYTE(ky * y), r}; };
}

// A slot of w x h texels whose low, high and sea texels come from the functions.
inline tagTEXTURE_SLOT MakeSlot(int w, int h, const TexelFn& low, const TexelFn& high,
                                const TexelFn& sea, int blend = 2000, int fadeTop = 2000,
                                int fadeBottom = 2000) {
    auto block = Zumeld::SharedBlock<BYTE>::AllocateZeroed(size_t(3 * 4 * w * h));
    tagTEXTURE_SLOT s{w,     h,       w * 4,     w * 4 * h, block, block.get() + 8 * w * h,
                      blend, fadeTop, fadeBottom};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Texel lo = low(x, y), hi = high(x, y), se = sea(x, y);
            const BYTE land[8] = {lo.b, hi.b, lo.g, hi.g, lo.r, hi.r, 0, 0};
            const BYTE water[4] = {se.b, se.g, se.r, 0xEE};
            std::memcpy(s.pLandPixels.get() + 2 * (y * s.nRowBytes + x * 4), land, 8);
            std::memcpy(s.pSeaPixels + y * s.nRowBytes + x * 4, water, 4);
        }
    return s;
}

inline tagTEXTURE_SLOT UniformSlot(Texel low, Texel high, Texel sea, int blend = 2000,
                                   int fadeTop = 2000, int fadeBottom = 2000) {
    return MakeSlot(4, 4, Flat(low), Flat(high), Flat(sea), blend, fadeTop, fadeBottom);
}

inline tagTEXTURE_SLOT RandomSlot(zumeld_test::TestRandom& rnd, int w, int h, int blend, int top,
                                  int bottom) {
    const TexelFn texel = [&](int, int) {
        return Texel{BYTE(rnd.Below(256)), BYTE(rnd.Below(256)), BYTE(rnd.Below(256))};
    };
    return MakeSlot(w, h, texel, texel, texel, blend, top, bottom);
}

// A display grid of width x height cells plus a margin, all cells `fill`.
struct Grid {
    std::vector<short> cells;
    Zumeld::DisplayGridView view;
    Grid(int width, int height, short fill = 0, int marginX = 1, int marginY = 1)
        : cells(size_t(width + marginX) * (height + marginY), fill),
          view{cells.data(), width + marginX, width + marginX, height + marginY, width, height} {}
    short& at(int x, int y) { return cells[size_t(y) * view.stride + x]; }
};

// A bottom-up picture (first byte = bottom-left pixel) with padded rows and guard bytes.
struct Target {
    static constexpr BYTE kSentinel = 0xA5, kFourth = 0x5C;
    static constexpr int kGuard = 64;
    int width, height, bpp, rowBytes;
    std::vector<BYTE> mem;
    Zumeld::PixelSurface surface;

    Target(int w, int h, int bytesPerPixel, BYTE fill = 0x11, int padding = 5)
        : width(w),
          height(h),
          bpp(bytesPerPixel),
          rowBytes(w * bytesPerPixel + padding),
          mem(size_t(2 * kGuard + rowBytes * h)) {
        for (size_t i = 0; i < mem.size(); ++i) mem[i] = Fixed(i) ? Fixed(i) : fill;
        surface = {mem.data() + kGuard + ptrdiff_t(h - 1) * rowBytes, -rowBytes, w, h, bpp};
    }
    // The byte every write must leave alone at mem[i] (guards, padding, fourth byte), else 0.
    BYTE Fixed(size_t i) const {
        const long at = long(i) - kGuard, col = at % rowBytes;
        if (at < 0 || at >= long(rowBytes) * height || col >= width * bpp) return kSentinel;
        return bpp == 4 && col % 4 == 3 ? kFourth : 0;
    }
    BYTE* Pixel(int x, int y) {
        return mem.data() + kGuard + ptrdiff_t(height - 1 - y) * rowBytes + x * bpp;
    }
    Texel At(int x, int y) {
        const BYTE* p = Pixel(x, y);
        return {p[0], p[1], p[2]};
    }
    // Every byte outside B, G, R of the picture still holds what it held.
    ::testing::AssertionResult OutsideUntouched() const {
        for (size_t i = 0; i < mem.size(); ++i)
            if (Fixed(i) && mem[i] != Fixed(i))
                return ::testing::AssertionFailure()
                       << "byte " << long(i) - kGuard << " changed to " << int(mem[i]);
        return ::testing::AssertionSuccess();
    }
};

}  // namespace render_test
