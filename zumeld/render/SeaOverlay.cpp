// The sea fill, the overlay blends and the DIB row copy.
#include "zumeld/render/SeaOverlay.h"
#include "zumeld/util/ThreadPool_p.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace Zumeld {

namespace {

bool OverlayIsUsable(const OverlayView& o) {
    return o.pixels != nullptr && o.width >= 1 && o.height >= 1 &&
           static_cast<std::int64_t>(o.rowBytes) >= static_cast<std::int64_t>(o.width) * 4;
}

// Blends the overlay rectangle [x0, x1) x [y0, y1) (already inside the overlay and the
// target) into the target, channel by channel with `mix(overlay, target)`.
template <typename Mix>
void BlendArea(const OverlayView& o, int x0, int y0, int x1, int y1, const PixelSurface& target,
               Mix mix) {
    for (int y = y0; y < y1; ++y) {
        const BYTE* src = o.pixels + static_cast<std::ptrdiff_t>(y) * o.rowBytes + x0 * 4;
        BYTE* dst = target.Pixel(x0, y);
        for (int x = x0; x < x1; ++x, src += 4, dst += target.bytesPerPixel) {
            dst[0] = static_cast<BYTE>(mix(src[0], dst[0]));
            dst[1] = static_cast<BYTE>(mix(src[1], dst[1]));
            dst[2] = static_cast<BYTE>(mix(src[2], dst[2]));
        }
    }
}

}  // namespace

void FillSea(const TexturePlanes& planes, TextureOrigin origin, int width, int height,
             const PixelSurface& target) {
    if (!planes.IsLive() || width < 1 || height < 1 || !target.IsDrawable()) return;
    const int rows = planes.planeSize / planes.rowBytes;
    if (origin.u0 < 0 || origin.u0 >= planes.rowBytes || origin.u0 % 4 != 0) return;
    const int w = std::min(width, target.width);
    const int h = std::min(height, target.height);
    // Bands of rows on the pool's threads. Texture row of display row y: (row0 + y) mod rows,
    // kept in range as the rows step down.
    const int parts = PartCount(std::int64_t{w} * h, 1 << 16);
    RunParts(parts, [&](int part) {
        const auto [y0, y1] = PartRange(h, parts, part);
        int texRow = static_cast<int>((std::int64_t{origin.row0} + y0) % rows);
        if (texRow < 0) texRow += rows;
        for (int y = static_cast<int>(y0); y < y1; ++y) {
            const BYTE* seaRow = planes.sea + static_cast<std::ptrdiff_t>(texRow) * planes.rowBytes;
            BYTE* dst = target.Row(y);
            int u = origin.u0;
            for (int x = 0; x < w; ++x, dst += target.bytesPerPixel) {
                dst[0] = seaRow[u];
                dst[1] = seaRow[u + 1];
                dst[2] = seaRow[u + 2];
                u += 4;
                if (u == planes.rowBytes) u = 0;
            }
            if (++texRow == rows) texRow = 0;
        }
    });
}

void BlendOverlayWhole(const OverlayView& o, const PixelSurface& target) {
    if (!OverlayIsUsable(o) || !target.IsDrawable()) return;
    // Rounds the sum's half down: 3 and 5 give 4.
    BlendArea(o, 0, 0, std::min(o.width, target.width), std::min(o.height, target.height), target,
              [](int a, int b) { return (a + b) >> 1; });
}

void BlendOverlayRect(const OverlayView& o, int x, int y, int cx, int cy,
                      const PixelSurface& target) {
    if (!OverlayIsUsable(o) || !target.IsDrawable() || cx < 1 || cy < 1) return;
    // Cut on all four sides, in 64 bits so x + cx cannot overflow.
    const std::int64_t x0 = std::max<std::int64_t>(x, 0);
    const std::int64_t y0 = std::max<std::int64_t>(y, 0);
    const std::int64_t x1 =
        std::min<std::int64_t>(std::int64_t{x} + cx, std::min(o.width, target.width));
    const std::int64_t y1 =
        std::min<std::int64_t>(std::int64_t{y} + cy, std::min(o.height, target.height));
    if (x0 >= x1 || y0 >= y1) return;
    // Halves each side before adding: 3 and 5 give 3.
    BlendArea(o, static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1),
              static_cast<int>(y1), target, [](int a, int b) { return (a >> 1) + (b >> 1); });
}

TopFirstPicture CopyDibTopFirst(const BYTE* dib, std::size_t size) {
    TopFirstPicture pic;
    BITMAPINFOHEADER bih;
    if (dib == nullptr || size < sizeof(bih)) return pic;
    std::memcpy(&bih, dib, sizeof(bih));
    if (bih.biSize < sizeof(bih) || bih.biBitCount != 32 || bih.biCompression != BI_RGB ||
        bih.biWidth < 1 || bih.biHeight == 0)
        return pic;
    const std::int64_t width = bih.biWidth;
    const std::int64_t height = bih.biHeight < 0 ? -std::int64_t{bih.biHeight} : bih.biHeight;
    const std::int64_t rowBytes = width * 4;
    const std::int64_t bytes = rowBytes * height;
    // The copy's sizes are ints, and the rows must lie inside the block.
    if (rowBytes > INT32_MAX || height > INT32_MAX || bytes > INT32_MAX ||
        static_cast<std::uint64_t>(bih.biSize) + static_cast<std::uint64_t>(bytes) > size)
        return pic;
    const BYTE* rows = dib + bih.biSize;
    pic.pixels = SharedBlock<BYTE>::Allocate(static_cast<std::size_t>(bytes));
    for (std::int64_t r = 0; r < height; ++r) {
        // Bottom-up: the last stored row is the top.
        const std::int64_t stored = bih.biHeight > 0 ? height - 1 - r : r;
        std::memcpy(pic.pixels.get() + r * rowBytes, rows + stored * rowBytes,
                    static_cast<std::size_t>(rowBytes));
    }
    pic.width = static_cast<int>(width);
    pic.height = static_cast<int>(height);
    pic.rowBytes = static_cast<int>(rowBytes);
    return pic;
}

}  // namespace Zumeld
