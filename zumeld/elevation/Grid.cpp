// Elevation grid kernels: block copies, the margin rule and land flattening.
#include "zumeld/elevation/Grid.h"

#include <cstring>

namespace Zumeld {

std::size_t GridCellCount(int width, int height) {
    if (width < 0 || height < 0) return 0;
    const std::int64_t cells =
        (static_cast<std::int64_t>(width) + 1) * (static_cast<std::int64_t>(height) + 1);
    // Both factors are at most 2^31, so the product cannot overflow 64 bits.
    if (cells > kMaxGridBytes / static_cast<std::int64_t>(sizeof(short))) return 0;
    return static_cast<std::size_t>(cells);
}

void CopyGridBlock(short* dst, std::ptrdiff_t dstStride, const short* src, std::ptrdiff_t srcStride,
                   int cols, int rows) {
    if (cols <= 0 || rows <= 0) return;
    const std::size_t rowBytes = static_cast<std::size_t>(cols) * sizeof(short);
    for (int r = 0; r < rows; ++r) std::memcpy(dst + r * dstStride, src + r * srcStride, rowBytes);
}

void FillGridMargin(short* grid, int width, int height) {
    if (width < 1 || height < 1) return;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(width) + 1;
    for (int r = 0; r < height; ++r) {
        short* row = grid + r * stride;
        row[width] = row[width - 1];
    }
    // The margin row is the last map row, margin cell included.
    std::memcpy(grid + height * stride, grid + (height - 1) * stride,
                static_cast<std::size_t>(stride) * sizeof(short));
}

void EraseLandCells(short* cells, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) cells[i] = static_cast<short>(cells[i] != 0);
}

}  // namespace Zumeld
