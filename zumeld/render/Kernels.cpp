// The choice of the vector span kernels, by the instruction set in use.
#include "zumeld/render/Kernels.h"

#include <atomic>

#include "zumeld/simd/Dispatch.h"

namespace Zumeld::Kernels {

namespace {

std::atomic<const SpanKernels*> g_spanOverride{nullptr};

}  // namespace

const SpanKernels* ActiveSpanKernels() {
    const Simd::InstructionSet set = Simd::ActiveInstructionSet();
    if (set == Simd::InstructionSet::Scalar) return nullptr;
    if (const SpanKernels* chosen = g_spanOverride.load(std::memory_order_relaxed)) return chosen;
    return set == Simd::InstructionSet::Avx2 ? SpanKernelsAvx2() : SpanKernelsSse2();
}

const char* ActiveKernelName() {
    const SpanKernels* k = ActiveSpanKernels();
    return k != nullptr ? k->name : "scalar";
}

void UseSpanKernelsForTesting(const SpanKernels* kernels) {
    g_spanOverride.store(kernels, std::memory_order_relaxed);
}

}  // namespace Zumeld::Kernels
