// Rotation: exact quarter turns, and a general rotation that resamples the old map onto
// the bounding box of the turned one with a radial lens kernel looked up by squared
// distance (no square root or trigonometry per cell).
#include <cmath>
#include <cstdint>

#include "zumeld/transform/RotateRow.h"
#include "zumeld/transform/Transforms.h"

namespace Zumeld {

namespace {

// Degrees to radians, with pi taken as 3.141592654.
constexpr double kRadiansPerDegree = 0.017453292522222223;

// The quarter turns, exactly: G[k][i] from the old grid E.
TransformedGrid QuarterTurn(const GridView& src, int angle) {
    const int W = src.width;
    const int H = src.height;
    const bool swap = angle == 90 || angle == 270;
    TransformedGrid g = AllocateTransformGrid(swap ? H : W, swap ? W : H);
    if (!g) return g;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(g.width) + 1;
    auto E = [&](std::ptrdiff_t row, std::ptrdiff_t col) {
        return src.cells[row * src.stride + col];
    };
    for (int k = 0; k < g.height; ++k) {
        short* out = g.cells.get() + k * stride;
        for (int i = 0; i < g.width; ++i) {
            switch (angle) {
                case 0:
                    out[i] = E(k, i);
                    break;
                case 90:
                    out[i] = E(i, W - 1 - k);
                    break;
                case 180:
                    out[i] = E(H - 1 - k, W - 1 - i);
                    break;
                default:
                    out[i] = E(H - 1 - i, k);
                    break;
            }
        }
    }
    return g;
}

// Size of one side of the turned map's bounding box: the next whole number at or above v.
inline std::int64_t BoxSide(double v) {
    const double t = std::trunc(v);
    return static_cast<std::int64_t>(t) + (v != t ? 1 : 0);
}

}  // namespace

std::array<double, 256> MakeLensKernelTable() {
    std::array<double, 256> table{};
    for (int i = 0; i < kRotateKernelEntries; ++i) {
        const double d = std::sqrt((i / 256.0) * 8.0);
        if (d < 2) {
            const double h = std::sqrt(1 - d * d / 4);
            const double s = std::sqrt(1 - h * h);
            table[i] = (std::asin(h) - h * s) * 2;
        } else {
            table[i] = 0;
        }
    }
    return table;
}

TransformedGrid RotateGrid(const GridView& src, int angleDegrees) {
    if (!IsUsableGrid(src)) return {};
    // Negative angles come into 0 .. 359; 360 and above are kept (they take the general path).
    int angle = angleDegrees;
    if (angle < 0) angle = (angle % 360 + 360) % 360;
    if (angle == 0 || angle == 90 || angle == 180 || angle == 270) return QuarterTurn(src, angle);

    const std::array<double, 256> kernel = MakeLensKernelTable();
    const double theta = -static_cast<double>(angle) * kRadiansPerDegree;
    const double sn = std::sin(theta);
    const double cs = std::cos(theta);
    const int W = src.width;
    const int H = src.height;
    const double dW = W;
    const double dH = H;
    TransformedGrid g = AllocateTransformGrid(BoxSide(std::fabs(dW * cs) + std::fabs(dH * sn)),
                                              BoxSide(std::fabs(dW * sn) + std::fabs(dH * cs)));
    if (!g) return g;
    const int w = g.width;
    const int h = g.height;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(w) + 1;
    RotateRow row{};
    row.cells = src.cells;
    row.stride = src.stride;
    row.width = W;
    row.height = H;
    row.kernel = kernel.data();
    row.cs = cs;
    row.sn = sn;
    // Centres of the new and the old grid (double divisions).
    row.cxN = (w - 1) / 2.0;
    row.cxO = (W - 1) / 2.0;
    row.cyO = (H - 1) / 2.0;
    row.count = w;
    const double cyN = (h - 1) / 2.0;
    const Kernels::RotateRowFn vectorRow = Kernels::ActiveRotateRow();
    for (int k = 0; k < h; ++k) {
        const double yy = static_cast<double>(h - 1 - k) - cyN;  // upward positive
        row.A = yy * sn;
        row.B = yy * cs;
        row.dst = g.cells.get() + k * stride;
        if (vectorRow != nullptr)
            vectorRow(row);
        else
            RotateCells(row, 0, w);
    }
    return g;
}

}  // namespace Zumeld
