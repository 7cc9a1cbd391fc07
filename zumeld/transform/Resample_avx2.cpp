// Bilinear rows for AVX2 processors: four cells of a run a step, bits 32..47 of four 64-bit
// accumulators gathered by one byte shuffle.
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

}  // namespace

BilinearRowFn BilinearRowAvx2() {
    return BilinearRowAvx2Impl;
}

}  // namespace Zumeld::Kernels
#else
namespace Zumeld::Kernels {
BilinearRowFn BilinearRowAvx2() {
    return nullptr;
}
}  // namespace Zumeld::Kernels
#endif
