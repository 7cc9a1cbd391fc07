// One row of the general rotation, shared by the scalar loop (Rotate.cpp) and the vector
// variant (Rotate_avx2.cpp), which runs the same double operations in the same order on four
// cells at once and hands the cells at the old map's border back to RotateCell.
//
// Cell i of the row reads the old map at sx = (i - cxN) * cs - A + cxO and
// sy = cyO - ((i - cxN) * sn + B), takes the four neighbours around (floor sx, floor sy)
// (cells off the map are sea), weights each by the lens kernel at its scaled squared
// distance, and stores the weighted mean rounded half away from zero.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zumeld/transform/Transforms.h"

namespace Zumeld {

struct RotateRow {
    const short* cells;  // the old grid
    std::ptrdiff_t stride;
    int width, height;
    const double* kernel;  // kRotateKernelEntries entries
    double cs, sn;         // cosine and sine of the turn
    double A, B;           // the row's yy * sn and yy * cs
    double cxN, cxO, cyO;  // centres of the new row and the old grid
    short* dst;
    int count;  // cells of the row, >= 0
};

constexpr int kRotateKernelEntries = 256;
// Neighbour distances are scaled by this before the kernel lookup.
constexpr double kRotateDistanceScale = 1.8;
// Kernel entries per unit of scaled squared distance.
constexpr double kRotateEntriesPerUnit = 32.0;

// Internal linkage: each file that includes this compiles its own copy for its own
// instruction set (the *_avx2.cpp files with AVX2), so the linker can never hand the
// baseline code an AVX2 copy.
namespace {

// Floor of a double as a 64-bit integer, exact for every |x| < 2^63.
inline std::int64_t FloorToInt64(double x) {
    std::int64_t t = static_cast<std::int64_t>(x);  // toward zero
    return static_cast<double>(t) > x ? t - 1 : t;
}

inline short RotateCell(const RotateRow& r, int i) {
    const double xx = static_cast<double>(i) - r.cxN;
    const double sx = xx * r.cs - r.A + r.cxO;
    const double sy = r.cyO - (xx * r.sn + r.B);
    const std::int64_t ix = FloorToInt64(sx);
    const std::int64_t iy = FloorToInt64(sy);
    // The four neighbours in the order (ix, iy), (ix + 1, iy), (ix, iy + 1),
    // (ix + 1, iy + 1); cells off the old map are sea with their full weight.
    double v[4] = {0, 0, 0, 0};
    if (ix >= 0 && ix + 1 < r.width && iy >= 0 && iy + 1 < r.height) {
        const short* p = r.cells + iy * r.stride + ix;
        v[0] = p[0];
        v[1] = p[1];
        v[2] = p[r.stride];
        v[3] = p[r.stride + 1];
    } else {
        for (int n = 0; n < 4; ++n) {
            const std::int64_t py = iy + (n >> 1);
            const std::int64_t px = ix + (n & 1);
            if (px >= 0 && px < r.width && py >= 0 && py < r.height)
                v[n] = r.cells[py * r.stride + px];
        }
    }
    // Scaled offsets to the neighbours, each formed once: ((p - s) * 1.8) squared.
    const double dx0 = (static_cast<double>(ix) - sx) * kRotateDistanceScale;
    const double dx1 = (static_cast<double>(ix + 1) - sx) * kRotateDistanceScale;
    const double dy0 = (static_cast<double>(iy) - sy) * kRotateDistanceScale;
    const double dy1 = (static_cast<double>(iy + 1) - sy) * kRotateDistanceScale;
    const double qx[2] = {dx0 * dx0, dx1 * dx1};
    const double qy[2] = {dy0 * dy0, dy1 * dy1};
    double valueSum = 0.0;
    double weightSum = 0.0;
    for (int n = 0; n < 4; ++n) {
        // With an exact floor q <= 6.48, so the index stays below 208; the bound guards the
        // table against any position all the same.
        const double index = (qx[n & 1] + qy[n >> 1]) * kRotateEntriesPerUnit;
        const double weight =
            index < kRotateKernelEntries ? r.kernel[static_cast<int>(index)] : 0.0;
        valueSum += v[n] * weight;
        weightSum += weight;
    }
    // Rounded half away from zero.
    const double q = valueSum / weightSum;
    return TruncToElevation(q >= 0 ? q + 0.5 : q - 0.5);
}

inline void RotateCells(const RotateRow& r, int from, int to) {
    for (int i = from; i < to; ++i) r.dst[i] = RotateCell(r, i);
}

}  // namespace
}  // namespace Zumeld

namespace Zumeld::Kernels {

// One row of the rotation on a vector kernel.
using RotateRowFn = void (*)(const RotateRow&);

// The row kernel for the instruction set in use (zumeld/simd/Dispatch.h); null when the
// scalar loop above is to run.
RotateRowFn ActiveRotateRow();

// The AVX2 variant, for the choice and for tests; null where the library was built without it.
RotateRowFn RotateRowAvx2();

}  // namespace Zumeld::Kernels
