// One display row of the bilinear enlargement, shared by the scalar loop (Resample.cpp) and
// the vector variants (Resample_*.cpp), which differ only in how they write a run of cells.
//
// For a row with vertical weights wUpper, wLower, each source column c has its vertical
// blend V(c) = E[upper][c] * wUpper + E[lower][c] * wLower. Display cells between columns c
// and c + 1 at fraction fx are S = V(c) * (dw - fx) + V(c + 1) * fx, stored as the low 16
// bits of (S * k + 2^31) >> 32; along one source column S * k grows by (V(c + 1) - V(c)) *
// sw * k per display cell, so a run of cells is one addition each. Every product is taken
// modulo 2^64, which keeps the low 16 bits of the result exact for any inputs.
#pragma once

#include <algorithm>
#include <cstdint>

namespace Zumeld {

struct BilinearRow {
    const short* upper;
    const short* lower;
    std::uint64_t wUpper, wLower;
    std::uint64_t dw, sw, k;
    short* dst;
    int count;  // display cells of the row, >= 1
};

// Internal linkage: each file that includes this compiles its own copy for its own
// instruction set (the *_avx2.cpp files with AVX2), so the linker can never hand the
// baseline code an AVX2 copy.
namespace {

// Calls emit(dst, acc, step, run, room) once per source column: run cells from dst on take
// bits 32..47 of acc, acc + step, ...; room (>= run) cells from dst on may be written.
// Requires dw > sw >= 1 (an enlargement).
template <class Emit>
inline void WalkBilinearRow(const BilinearRow& r, Emit emit) {
    constexpr std::uint64_t kHalf = std::uint64_t{1} << 31;
    const auto cell = [](short e) {
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(e));
    };
    const std::uint64_t stepFactor = r.sw * r.k;
    const std::uint64_t runWhole = r.dw / r.sw, runPart = r.dw % r.sw;
    std::int64_t cx = 0;
    std::uint64_t fx = 0;
    std::uint64_t right = cell(r.upper[0]) * r.wUpper + cell(r.lower[0]) * r.wLower;
    for (int i = 0; i < r.count; ++cx) {
        const std::uint64_t left = right;  // the previous column's right side
        right = cell(r.upper[cx + 1]) * r.wUpper + cell(r.lower[cx + 1]) * r.wLower;
        const std::uint64_t acc = (left * (r.dw - fx) + right * fx) * r.k + kHalf;
        const std::uint64_t step = (right - left) * stepFactor;
        // Display cells until fx reaches dw: the first n with fx + n * sw >= dw. A run
        // starts with fx < sw, so n = dw div sw, plus one when fx < dw mod sw.
        const int room = r.count - i;
        const int run = static_cast<int>(std::min<std::uint64_t>(runWhole + (fx < runPart ? 1 : 0),
                                                                 static_cast<std::uint64_t>(room)));
        emit(r.dst + i, acc, step, run, room);
        i += run;
        fx = fx + static_cast<std::uint64_t>(run) * r.sw - r.dw;
    }
}

// The plain run: one addition and one store a cell.
inline void EmitRunScalar(short* dst, std::uint64_t acc, std::uint64_t step, int run) {
    for (int n = 0; n < run; ++n, acc += step)
        dst[n] = static_cast<short>(static_cast<std::uint16_t>(acc >> 32));
}

}  // namespace
}  // namespace Zumeld

namespace Zumeld {

// The row cell by cell, for small zooms, where a source column feeds one or two display
// cells and the runs above cost more than they save. Cell i blends source columns col[i]
// and col[i] + 1 of the area (i * sw div dw) with weights wLeft[i] = dw - fx and
// wRight[i] = fx (fx = i * sw mod dw): the same S, and so the same cells, as the runs give.
// With dw, dh <= 32768 every vertical blend fits 32 bits and every S 64.
struct BilinearCells {
    const std::int32_t* col;
    const std::int32_t* wLeft;
    const std::int32_t* wRight;
    std::int32_t* blends;  // room for col[count - 1] + 2 vertical blends and 8 more
};

}  // namespace Zumeld

namespace Zumeld::Kernels {

// One display row on a vector kernel.
using BilinearRowFn = void (*)(const BilinearRow&);
// One display row cell by cell on a vector kernel. Requires sw < dw <= 32768, dh <= 32768.
using BilinearCellsFn = void (*)(const BilinearRow&, const BilinearCells&);

// The row kernel for the instruction set in use (zumeld/simd/Dispatch.h); null when the
// scalar loop above is to run.
BilinearRowFn ActiveBilinearRow();

// The AVX2 variant, for the choice and for tests; null where the library was built without it.
BilinearRowFn BilinearRowAvx2();

// The cell-by-cell kernel for the instruction set in use; null when there is none.
BilinearCellsFn ActiveBilinearCells();
BilinearCellsFn BilinearCellsAvx2();

}  // namespace Zumeld::Kernels
