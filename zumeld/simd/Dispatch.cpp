// The processor's instruction set, detected once, and the tests' switch to scalar.
#include "zumeld/simd/Dispatch.h"

#include <atomic>

namespace Zumeld::Simd {

namespace {

InstructionSet Detect() {
#if (defined(__x86_64__) || defined(_M_X64)) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? InstructionSet::Avx2 : InstructionSet::Sse2;
#else
    return InstructionSet::Scalar;
#endif
}

std::atomic<bool> g_forceScalar{false};

}  // namespace

InstructionSet DetectedInstructionSet() {
    static const InstructionSet detected = Detect();
    return detected;
}

InstructionSet ActiveInstructionSet() {
    return g_forceScalar.load(std::memory_order_relaxed) ? InstructionSet::Scalar
                                                         : DetectedInstructionSet();
}

void ForceScalarForTesting(bool force) {
    g_forceScalar.store(force, std::memory_order_relaxed);
}

bool ScalarForcedForTesting() {
    return g_forceScalar.load(std::memory_order_relaxed);
}

}  // namespace Zumeld::Simd
