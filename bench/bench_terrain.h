// A fast deterministic terrain for the benchmarks: value noise summed over octaves
// (periods 1024 down to 4 cells, amplitude halving), cut at sea level, about a third sea,
// coasts, plains and ridges up to a few thousand. A 4096 x 4096 grid takes about a second,
// and the same size always gives the same cells.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace bench {

inline std::uint32_t TerrainHash(std::uint32_t x, std::uint32_t y, std::uint32_t octave) {
    std::uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ octave * 0xCB1AB31Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

inline double TerrainLattice(std::uint32_t x, std::uint32_t y, std::uint32_t octave) {
    return static_cast<double>(TerrainHash(x, y, octave) & 0xFFFF) / 65535.0;
}

// width x height cells, row-major, row stride `stride` (>= width; extra cells repeat the
// row's last cell, extra rows the last row, as a map's margin does).
inline std::vector<short> Terrain(int width, int height, int stride = 0, int rows = 0) {
    stride = std::max(stride, width);
    rows = std::max(rows, height);
    std::vector<double> sum(static_cast<std::size_t>(width) * height, 0.0);
    double amplitude = 1.0, total = 0.0;
    for (int period = 1024, octave = 0; period >= 4; period /= 2, ++octave) {
        total += amplitude;
        for (int y = 0; y < height; ++y) {
            const auto gy = static_cast<std::uint32_t>(y / period);
            double fy = static_cast<double>(y % period) / period;
            fy = fy * fy * (3 - 2 * fy);
            for (int x = 0; x < width; ++x) {
                const auto gx = static_cast<std::uint32_t>(x / period);
                double fx = static_cast<double>(x % period) / period;
                fx = fx * fx * (3 - 2 * fx);
                const double top =
                    TerrainLattice(gx, gy, octave) +
                    (TerrainLattice(gx + 1, gy, octave) - TerrainLattice(gx, gy, octave)) * fx;
                const double bottom =
                    TerrainLattice(gx, gy + 1, octave) +
                    (TerrainLattice(gx + 1, gy + 1, octave) - TerrainLattice(gx, gy + 1, octave)) *
                        fx;
                sum[static_cast<std::size_t>(y) * width + x] +=
                    amplitude * (top + (bottom - top) * fy);
            }
        }
        amplitude *= 0.5;
    }
    std::vector<short> cells(static_cast<std::size_t>(stride) * rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < stride; ++x) {
            const double h = sum[static_cast<std::size_t>(std::min(y, height - 1)) * width +
                                 std::min(x, width - 1)];
            cells[static_cast<std::size_t>(y) * stride + x] =
                static_cast<short>(std::clamp((h / total - 0.45) * 9000.0, 0.0, 32767.0));
        }
    return cells;
}

}  // namespace bench
