// Rotation: exact quarter turns, and a general rotation that resamples the old map onto
// the bounding box of the turned one with a radial lens kernel looked up by squared
// distance (no square root or trigonometry per cell).
#include <cmath>
#include <cstdint>

#include "zumeld/transform/Transforms.h"

namespace Zumeld {

namespace {

// Degrees to radians, with pi taken as 3.141592654.
constexpr double kRadiansPerDegree = 0.017453292522222223;
// Neighbour distances are scaled by this before the kernel lookup.
constexpr double kKernelDistanceScale = 1.8;
// Kernel entries per unit of scaled squared distance.
constexpr double kKernelEntriesPerUnit = 32.0;
constexpr int kKernelEntries = 256;

// Floor of a double as a 64-bit integer, exact for every |x| < 2^63.
inline std::int64_t FloorToInt64(double x) {
    std::int64_t t = static_cast<std::int64_t>(x);  // toward zero
    return static_cast<double>(t) > x ? t - 1 : t;
}

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
    for (int i = 0; i < kKernelEntries; ++i) {
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
    // Centres of the new and the old grid (double divisions).
    const double cxN = (w - 1) / 2.0;
    const double cyN = (h - 1) / 2.0;
    const double cxO = (W - 1) / 2.0;
    const double cyO = (H - 1) / 2.0;

    for (int k = 0; k < h; ++k) {
        const double yy = static_cast<double>(h - 1 - k) - cyN;  // upward positive
        const double A = yy * sn;
        const double B = yy * cs;
        short* out = g.cells.get() + k * stride;
        for (int i = 0; i < w; ++i) {
            const double xx = static_cast<double>(i) - cxN;
            const double sx = xx * cs - A + cxO;
            const double sy = cyO - (xx * sn + B);
            const std::int64_t ix = FloorToInt64(sx);
            const std::int64_t iy = FloorToInt64(sy);
            // The four neighbours in the order (ix, iy), (ix + 1, iy), (ix, iy + 1),
            // (ix + 1, iy + 1); cells off the old map are sea with their full weight.
            double v[4] = {0, 0, 0, 0};
            if (ix >= 0 && ix + 1 < W && iy >= 0 && iy + 1 < H) {
                const short* p = src.cells + iy * src.stride + ix;
                v[0] = p[0];
                v[1] = p[1];
                v[2] = p[src.stride];
                v[3] = p[src.stride + 1];
            } else {
                for (int n = 0; n < 4; ++n) {
                    const std::int64_t py = iy + (n >> 1);
                    const std::int64_t px = ix + (n & 1);
                    if (px >= 0 && px < W && py >= 0 && py < H)
                        v[n] = src.cells[py * src.stride + px];
                }
            }
            // Scaled offsets to the neighbours, each formed once: ((p - s) * 1.8) squared.
            const double dx0 = (static_cast<double>(ix) - sx) * kKernelDistanceScale;
            const double dx1 = (static_cast<double>(ix + 1) - sx) * kKernelDistanceScale;
            const double dy0 = (static_cast<double>(iy) - sy) * kKernelDistanceScale;
            const double dy1 = (static_cast<double>(iy + 1) - sy) * kKernelDistanceScale;
            const double qx[2] = {dx0 * dx0, dx1 * dx1};
            const double qy[2] = {dy0 * dy0, dy1 * dy1};
            double valueSum = 0.0;
            double weightSum = 0.0;
            for (int n = 0; n < 4; ++n) {
                // With an exact floor q <= 6.48, so the index stays below 208; the bound
                // guards the table against any position all the same.
                const double index = (qx[n & 1] + qy[n >> 1]) * kKernelEntriesPerUnit;
                const double weight =
                    index < kKernelEntries ? kernel[static_cast<int>(index)] : 0.0;
                valueSum += v[n] * weight;
                weightSum += weight;
            }
            // Rounded half away from zero.
            const double r = valueSum / weightSum;
            out[i] = TruncToElevation(r >= 0 ? r + 0.5 : r - 0.5);
        }
    }
    return g;
}

}  // namespace Zumeld
