// The start-up choice of the vector kernels.
#include "zumeld/render/Kernels.h"

#include <atomic>

namespace Zumeld::Kernels {

namespace {

const SpanKernels* ChooseSpanKernels() {
#if (defined(__x86_64__) || defined(_M_X64)) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return SpanKernelsAvx2();
    return SpanKernelsSse2();
#else
    return nullptr;
#endif
}

const SpanKernels* ChosenSpanKernels() {
    static const SpanKernels* const chosen = ChooseSpanKernels();
    return chosen;
}

BilinearRowFn ChooseBilinearRow() {
#if (defined(__x86_64__) || defined(_M_X64)) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return BilinearRowAvx2();
#endif
    return nullptr;  // the scalar row loop is as fast as a 128-bit one
}

RotateRowFn ChooseRotateRow() {
#if (defined(__x86_64__) || defined(_M_X64)) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return RotateRowAvx2();
#endif
    return nullptr;  // two doubles a register buy too little over the scalar loop
}

std::atomic<bool> g_forceScalar{false};
std::atomic<const SpanKernels*> g_spanOverride{nullptr};

}  // namespace

const SpanKernels* ActiveSpanKernels() {
    if (g_forceScalar.load(std::memory_order_relaxed)) return nullptr;
    const SpanKernels* chosen = g_spanOverride.load(std::memory_order_relaxed);
    return chosen != nullptr ? chosen : ChosenSpanKernels();
}

BilinearRowFn ActiveBilinearRow() {
    static const BilinearRowFn chosen = ChooseBilinearRow();
    return g_forceScalar.load(std::memory_order_relaxed) ? nullptr : chosen;
}

RotateRowFn ActiveRotateRow() {
    static const RotateRowFn chosen = ChooseRotateRow();
    return g_forceScalar.load(std::memory_order_relaxed) ? nullptr : chosen;
}

const char* ActiveKernelName() {
    const SpanKernels* k = ActiveSpanKernels();
    return k != nullptr ? k->name : "scalar";
}

void ForceScalarForTesting(bool force) {
    g_forceScalar.store(force, std::memory_order_relaxed);
}

bool ScalarForcedForTesting() {
    return g_forceScalar.load(std::memory_order_relaxed);
}

void UseSpanKernelsForTesting(const SpanKernels* kernels) {
    g_spanOverride.store(kernels, std::memory_order_relaxed);
}

}  // namespace Zumeld::Kernels
