// Bilinear rows for AVX2 processors: four cells of a run a step, bits 32..47 of four 64-bit
// accumulators gathered by one byte shuffle; for small zooms, eight cells a step, each from
// its own two columns.
#include "zumeld/transform/BilinearRow.h"

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__AVX2__)
#include <immintrin.h>

namespace Zumeld::Kernels {
namespace {

void BilinearRowAvx2Impl(const BilinearRow& r) {
    const __m256i pick =
        _mm256_setr_epi8(4, 5, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, 12, 13,
                         -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i gather = _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0);
    WalkBilinearRow(r, [&](short* dst, std::uint64_t acc, std::uint64_t step, int run, int room) {
        const int whole = (run + 3) & ~3;
        // Short runs (small zooms, as when a host pans at 1.5x) are cheaper cell by cell.
        if (run < 4 || whole > room) {
            EmitRunScalar(dst, acc, step, run);
            return;
        }
        __m256i v = _mm256_set_epi64x(
            static_cast<long long>(acc + 3 * step), static_cast<long long>(acc + 2 * step),
            static_cast<long long>(acc + step), static_cast<long long>(acc));
        const __m256i step4 = _mm256_set1_epi64x(static_cast<long long>(4 * step));
        for (int n = 0; n < whole; n += 4, v = _mm256_add_epi64(v, step4)) {
            const __m256i cells = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, pick), gather);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + n), _mm256_castsi256_si128(cells));
        }
    });
}

// Eight cells a step: the vertical blends of the row's columns first (32-bit products), then
// for each cell S = blend[col] * wLeft + blend[col + 1] * wRight in 64 bits (even and odd
// cells apart), and bits 32..47 of S * k + 2^31 as ((lo(S) * k + 2^31) >> 32) + hi(S) * k,
// whose two products are 32 x 32 bits (lo and hi: the halves of S modulo 2^64).
void BilinearCellsAvx2Impl(const BilinearRow& r, const BilinearCells& c) {
    const int columns = c.col[r.count - 1] + 2;
    const int wUpper = static_cast<int>(r.wUpper), wLower = static_cast<int>(r.wLower);
    const __m256i wu = _mm256_set1_epi32(wUpper), wl = _mm256_set1_epi32(wLower);
    int x = 0;
    for (; x + 8 <= columns; x += 8) {
        const __m256i up =
            _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r.upper + x)));
        const __m256i low =
            _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r.lower + x)));
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(c.blends + x),
            _mm256_add_epi32(_mm256_mullo_epi32(up, wu), _mm256_mullo_epi32(low, wl)));
    }
    for (; x < columns; ++x) c.blends[x] = r.upper[x] * wUpper + r.lower[x] * wLower;

    const auto cellOf = [&r](std::int64_t s) {
        return static_cast<short>(
            static_cast<std::uint16_t>((static_cast<std::uint64_t>(s) * r.k + (1ull << 31)) >> 32));
    };
    const __m256i k = _mm256_set1_epi64x(static_cast<long long>(r.k));
    const __m256i half = _mm256_set1_epi64x(1ll << 31);
    const __m256i evens = _mm256_setr_epi32(0, 2, 4, 6, 0, 0, 0, 0);
    // The low 16 bits of each 64-bit lane: bits 32..47 of s * k + 2^31.
    const auto cells = [&](__m256i s) {
        const __m256i lo = _mm256_srli_epi64(_mm256_add_epi64(_mm256_mul_epu32(s, k), half), 32);
        return _mm256_add_epi32(lo, _mm256_mul_epu32(_mm256_srli_epi64(s, 32), k));
    };
    int i = 0;
    for (; i + 8 <= r.count; i += 8) {
        // An enlargement moves at most one column a cell: the eight cells' blends lie in the
        // nine from the first cell's column on, picked by a permute (no gather).
        const int first = c.col[i];
        const __m256i at =
            _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(c.col + i)),
                             _mm256_set1_epi32(first));
        const __m256i left = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c.blends + first)), at);
        const __m256i right = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c.blends + first + 1)), at);
        const __m256i wL = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c.wLeft + i));
        const __m256i wR = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c.wRight + i));
        const __m256i even =
            _mm256_add_epi64(_mm256_mul_epi32(left, wL), _mm256_mul_epi32(right, wR));
        const __m256i odd = _mm256_add_epi64(
            _mm256_mul_epi32(_mm256_srli_epi64(left, 32), _mm256_srli_epi64(wL, 32)),
            _mm256_mul_epi32(_mm256_srli_epi64(right, 32), _mm256_srli_epi64(wR, 32)));
        // Cell 2n in word 0 of lane n, cell 2n + 1 in word 1, then the lanes' low dwords.
        const __m256i pairs =
            _mm256_blend_epi16(cells(even), _mm256_slli_epi64(cells(odd), 16), 0x22);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(r.dst + i),
                         _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(pairs, evens)));
    }
    for (; i < r.count; ++i)
        r.dst[i] = cellOf(std::int64_t{c.blends[c.col[i]]} * c.wLeft[i] +
                          std::int64_t{c.blends[c.col[i] + 1]} * c.wRight[i]);
}

}  // namespace

BilinearRowFn BilinearRowAvx2() {
    return BilinearRowAvx2Impl;
}

BilinearCellsFn BilinearCellsAvx2() {
    return BilinearCellsAvx2Impl;
}

}  // namespace Zumeld::Kernels
#else
namespace Zumeld::Kernels {
BilinearRowFn BilinearRowAvx2() {
    return nullptr;
}
BilinearCellsFn BilinearCellsAvx2() {
    return nullptr;
}
}  // namespace Zumeld::Kernels
#endif
