// The span kernels for SSE2, which every x86-64 processor has.
#include "zumeld/render/Kernels.h"

#if defined(__x86_64__) || defined(_M_X64)
#include "zumeld/render/SpanKernels_simd.h"

namespace Zumeld::Kernels {
const SpanKernels* SpanKernelsSse2() {
    static constexpr SpanKernels kKernels = MakeSpanKernels<V128>("sse2");
    return &kKernels;
}
}  // namespace Zumeld::Kernels
#else
namespace Zumeld::Kernels {
const SpanKernels* SpanKernelsSse2() {
    return nullptr;
}
}  // namespace Zumeld::Kernels
#endif
