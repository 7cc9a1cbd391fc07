// The span kernels for AVX2 processors (compiled with -mavx2: sixteen pixels a step).
#include "zumeld/render/Kernels.h"

#if defined(__x86_64__) || defined(_M_X64)
#include "zumeld/render/SpanKernels_simd.h"

namespace Zumeld::Kernels {
const SpanKernels* SpanKernelsAvx2() {
    static constexpr SpanKernels kKernels = MakeSpanKernels<V256>("avx2");
    return &kKernels;
}
}  // namespace Zumeld::Kernels
#else
namespace Zumeld::Kernels {
const SpanKernels* SpanKernelsAvx2() {
    return nullptr;
}
}  // namespace Zumeld::Kernels
#endif
