// The vector span kernels: one table of function pointers a variant (SSE2, AVX2), chosen by
// the instruction set that zumeld/simd/Dispatch.h reports. A null table means the span
// renderer runs its own scalar loops. Internal header: the library's kernels and the tests
// use it; hosts do not.
#pragma once

#include <cstdint>

#include "zumeld/platform/win32.h"

namespace Zumeld::Kernels {

// One clipped span of the textured path, in the form the vector loops read.
struct SpanRun {
    const short* row;     // elevations of the span's row (cells left..right are read)
    const short* below;   // the shading neighbour row (only read when shading)
    const BYTE* landRow;  // land texels of the texture row, 8 bytes a texel
    const BYTE* seaRow;   // sea texels of the texture row, 4 bytes a texel
    BYTE* dst;            // the span's first pixel
    int left, right;      // columns, left <= right
    int u;                // byte offset of the first texel in the 4-byte texel space
    int rowBytes;         // Wb: the texel column wraps to 0 here
    int lastColumn;       // the shading neighbour's column is clamped to it
    int d, g, k;          // shading distance (> 0 when shading), gain, blend factor
    int fadeLine;         // the fade line clamped to -512..32768 (same result for 0..32767)
    int tone;             // 0..4
    bool paint;           // elevation 0 drawn as land
};

using SpanFn = void (*)(const SpanRun&);
// One flat-colour span: count pixels of B, G, R from dst on (the fourth byte kept).
using FillFn = void (*)(BYTE* dst, int count, BYTE b, BYTE g, BYTE r);

struct SpanKernels {
    SpanFn plain24, shaded24, plain32, shaded32;
    FillFn fill24, fill32;
    const char* name;
};

// The span kernels in use; null when none fits the processor or scalar is forced.
const SpanKernels* ActiveSpanKernels();

// The name of the span kernels in use ("avx2", "sse2" or "scalar").
const char* ActiveKernelName();

// Tests only: run the given span kernels (one of the variants below) in place of the start-up
// choice; null restores it. Forcing scalar still wins.
void UseSpanKernelsForTesting(const SpanKernels* kernels);

// The variants, for the choice and for tests that compare them directly; null where the
// library was built without them.
const SpanKernels* SpanKernelsSse2();
const SpanKernels* SpanKernelsAvx2();

}  // namespace Zumeld::Kernels
