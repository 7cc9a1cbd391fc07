// Texture preparation kernels: row order, sea copy and the interleaved land texel.
#include "zumeld/render/TexturePrep.h"

#include <cstdint>
#include <cstring>

namespace Zumeld {

int TexturePlaneSize(int width, int height) {
    if (width < 1 || height < 1) return 0;
    constexpr std::int64_t kMaxPlane = 0x7FFFFFFF / 3;  // three planes in one block
    const std::int64_t row = static_cast<std::int64_t>(width) * 4;
    if (row > kMaxPlane) return 0;
    const std::int64_t plane = row * height;  // below 2^30 x 2^31: no overflow
    if (plane > kMaxPlane) return 0;
    return static_cast<int>(plane);
}

void PrepareSeaPlane(BYTE* sea, const BYTE* srcTop, std::ptrdiff_t srcStep, int width, int height) {
    if (width < 1 || height < 1) return;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    for (int y = 0; y < height; ++y)
        std::memcpy(sea + y * rowBytes, srcTop + y * srcStep, rowBytes);
}

void PrepareLandPlane(BYTE* land, const BYTE* lowTop, std::ptrdiff_t lowStep, const BYTE* highTop,
                      std::ptrdiff_t highStep, int width, int height) {
    if (width < 1 || height < 1) return;
    for (int y = 0; y < height; ++y) {
        const BYTE* low = lowTop + y * lowStep;
        const BYTE* high = highTop + y * highStep;
        BYTE* out = land + static_cast<std::size_t>(y) * width * 8;
        for (int x = 0; x < width; ++x, low += 4, high += 4, out += 8) {
            out[0] = low[0];
            out[1] = high[0];
            out[2] = low[1];
            out[3] = high[1];
            out[4] = low[2];
            out[5] = high[2];
            out[6] = 0;
            out[7] = 0;
        }
    }
}

}  // namespace Zumeld
