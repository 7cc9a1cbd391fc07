// Sinking an area: lowers the land inside a rectangle of the map.
#include <algorithm>

#include "zumeld/elevation/Grid.h"
#include "zumeld/transform/Transforms.h"

namespace Zumeld {

namespace {

// The lowered value of one cell of the rectangle. depth16 is the depth as a signed 16-bit
// amount; land minus it is formed in int, where a raise past 32767 saturates instead of
// wrapping (a 16-bit subtraction would wrap land into the negative and so into sea).
inline short SinkCell(short cell, int depth16, bool keepLand) {
    int v = cell;
    if (v >= 1) {
        v -= depth16;
        if (v > 32767) v = 32767;
        if (keepLand && v < 1) v = 1;
    }
    if (v < 0) v = 0;
    return static_cast<short>(v);
}

}  // namespace

TransformedGrid SinkArea(const GridView& src, int depth, int left, int top, int areaWidth,
                         int areaHeight, bool keepLand) {
    if (!IsUsableGrid(src)) return {};
    TransformedGrid g = AllocateTransformGrid(src.width, src.height);
    if (!g) return g;
    const std::ptrdiff_t dstStride = static_cast<std::ptrdiff_t>(g.width) + 1;
    CopyGridBlock(g.cells.get(), dstStride, src.cells, src.stride, src.width, src.height);

    // Clip the rectangle to the used grid, in 64 bits so no sum can overflow.
    const std::int64_t x0 = std::max<std::int64_t>(left, 0);
    const std::int64_t y0 = std::max<std::int64_t>(top, 0);
    const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{left} + areaWidth, src.width);
    const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{top} + areaHeight, src.height);
    const int depth16 = static_cast<short>(static_cast<unsigned short>(depth));
    for (std::int64_t r = y0; r < y1; ++r) {
        short* row = g.cells.get() + r * dstStride;
        for (std::int64_t c = x0; c < x1; ++c) row[c] = SinkCell(row[c], depth16, keepLand);
    }
    return g;
}

}  // namespace Zumeld
