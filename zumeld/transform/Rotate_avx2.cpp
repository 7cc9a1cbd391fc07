// Rotation rows for AVX2 processors: four cells a step, each lane running the scalar cell's
// double operations in the same order (no fused multiply-add), so every cell comes out the
// same. Groups that lie wholly on the old map gather their neighbours; groups wholly off it
// are sea; groups across its border go through the scalar cell.
#include "zumeld/transform/RotateRow.h"

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__AVX2__)
#include <immintrin.h>

#include <climits>
#include <cstring>

namespace Zumeld::Kernels {
namespace {

// Sign-extended low and high 16-bit halves of four 32-bit lanes, as doubles.
inline __m256d LowHalves(__m128i pairs) {
    return _mm256_cvtepi32_pd(_mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16));
}
inline __m256d HighHalves(__m128i pairs) {
    return _mm256_cvtepi32_pd(_mm_srai_epi32(pairs, 16));
}

void RotateRowAvx2Impl(const RotateRow& r) {
    // The vector indices are 32-bit; a grid too large for them takes the scalar loop.
    if (r.stride > INT_MAX / 2 ||
        static_cast<std::int64_t>(r.height) * r.stride > std::int64_t{INT_MAX}) {
        RotateCells(r, 0, r.count);
        return;
    }
    const __m256d cs = _mm256_set1_pd(r.cs), sn = _mm256_set1_pd(r.sn);
    const __m256d A = _mm256_set1_pd(r.A), B = _mm256_set1_pd(r.B);
    const __m256d cxN = _mm256_set1_pd(r.cxN), cxO = _mm256_set1_pd(r.cxO);
    const __m256d cyO = _mm256_set1_pd(r.cyO);
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d scale = _mm256_set1_pd(kRotateDistanceScale);
    const __m256d perUnit = _mm256_set1_pd(kRotateEntriesPerUnit);
    const __m256d entries = _mm256_set1_pd(kRotateKernelEntries);
    const __m256d lastX = _mm256_set1_pd(r.width - 1.0), lastY = _mm256_set1_pd(r.height - 1.0);
    const __m256d hi = _mm256_set1_pd(32767.0), lo = _mm256_set1_pd(-32768.0);
    const __m128i stride = _mm_set1_epi32(static_cast<int>(r.stride));
    const int* top = reinterpret_cast<const int*>(r.cells);
    const int* bottom = reinterpret_cast<const int*>(r.cells + r.stride);

    __m256d column = _mm256_setr_pd(0, 1, 2, 3);
    const __m256d four = _mm256_set1_pd(4);
    int i = 0;
    for (; i + 4 <= r.count; i += 4, column = _mm256_add_pd(column, four)) {
        const __m256d xx = _mm256_sub_pd(column, cxN);
        const __m256d sx = _mm256_add_pd(_mm256_sub_pd(_mm256_mul_pd(xx, cs), A), cxO);
        const __m256d sy = _mm256_sub_pd(cyO, _mm256_add_pd(_mm256_mul_pd(xx, sn), B));
        const __m256d fx = _mm256_floor_pd(sx), fy = _mm256_floor_pd(sy);
        const __m256d fx1 = _mm256_add_pd(fx, one), fy1 = _mm256_add_pd(fy, one);

        // All four neighbours on the map: 0 <= fx, fx + 1 <= W - 1, likewise for y.
        const __m256d onMap = _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(fx, zero, _CMP_GE_OQ),
                                                          _mm256_cmp_pd(fx1, lastX, _CMP_LE_OQ)),
                                            _mm256_and_pd(_mm256_cmp_pd(fy, zero, _CMP_GE_OQ),
                                                          _mm256_cmp_pd(fy1, lastY, _CMP_LE_OQ)));
        if (_mm256_movemask_pd(onMap) != 0xF) {
            // No neighbour on the map: fx + 1 < 0, fx > W - 1, fy + 1 < 0 or fy > H - 1. Every
            // value is 0, so the mean is 0 (or 0 / 0, which stores 0 as well).
            const __m256d offMap = _mm256_or_pd(_mm256_or_pd(_mm256_cmp_pd(fx1, zero, _CMP_LT_OQ),
                                                             _mm256_cmp_pd(fx, lastX, _CMP_GT_OQ)),
                                                _mm256_or_pd(_mm256_cmp_pd(fy1, zero, _CMP_LT_OQ),
                                                             _mm256_cmp_pd(fy, lastY, _CMP_GT_OQ)));
            if (_mm256_movemask_pd(offMap) == 0xF)
                std::memset(r.dst + i, 0, 4 * sizeof(short));
            else
                RotateCells(r, i, i + 4);
            continue;
        }

        // Each 32-bit gather brings a cell and its right neighbour.
        const __m128i at = _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(fy), stride),
                                         _mm256_cvttpd_epi32(fx));
        const __m128i upper = _mm_i32gather_epi32(top, at, 2);
        const __m128i lower = _mm_i32gather_epi32(bottom, at, 2);
        const __m256d v[4] = {LowHalves(upper), HighHalves(upper), LowHalves(lower),
                              HighHalves(lower)};

        const __m256d dx0 = _mm256_mul_pd(_mm256_sub_pd(fx, sx), scale);
        const __m256d dx1 = _mm256_mul_pd(_mm256_sub_pd(fx1, sx), scale);
        const __m256d dy0 = _mm256_mul_pd(_mm256_sub_pd(fy, sy), scale);
        const __m256d dy1 = _mm256_mul_pd(_mm256_sub_pd(fy1, sy), scale);
        const __m256d qx[2] = {_mm256_mul_pd(dx0, dx0), _mm256_mul_pd(dx1, dx1)};
        const __m256d qy[2] = {_mm256_mul_pd(dy0, dy0), _mm256_mul_pd(dy1, dy1)};
        __m256d valueSum = zero, weightSum = zero;
        for (int n = 0; n < 4; ++n) {
            const __m256d index = _mm256_mul_pd(_mm256_add_pd(qx[n & 1], qy[n >> 1]), perUnit);
            const __m256d inTable = _mm256_cmp_pd(index, entries, _CMP_LT_OQ);
            // Lanes past the table take weight 0 and read nothing.
            const __m128i entry = _mm256_cvttpd_epi32(_mm256_and_pd(index, inTable));
            const __m256d weight = _mm256_mask_i32gather_pd(zero, r.kernel, entry, inTable, 8);
            valueSum = _mm256_add_pd(valueSum, _mm256_mul_pd(v[n], weight));
            weightSum = _mm256_add_pd(weightSum, weight);
        }
        const __m256d q = _mm256_div_pd(valueSum, weightSum);
        const __m256d rounded = _mm256_blendv_pd(_mm256_sub_pd(q, half), _mm256_add_pd(q, half),
                                                 _mm256_cmp_pd(q, zero, _CMP_GE_OQ));
        // TruncToElevation: NaN gives 0, then clamp and truncate.
        const __m256d clamped = _mm256_max_pd(
            _mm256_min_pd(_mm256_and_pd(rounded, _mm256_cmp_pd(rounded, rounded, _CMP_ORD_Q)), hi),
            lo);
        const __m128i cells = _mm_packs_epi32(_mm256_cvttpd_epi32(clamped), _mm_setzero_si128());
        _mm_storel_epi64(reinterpret_cast<__m128i*>(r.dst + i), cells);
    }
    RotateCells(r, i, r.count);
}

}  // namespace

RotateRowFn RotateRowAvx2() {
    return RotateRowAvx2Impl;
}

}  // namespace Zumeld::Kernels
#else
namespace Zumeld::Kernels {
RotateRowFn RotateRowAvx2() {
    return nullptr;
}
}  // namespace Zumeld::Kernels
#endif
