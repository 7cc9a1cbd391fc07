// The run-time choice of instruction set for the vector kernels: made once, from the
// processor's features (AVX2 where present, SSE2 on every x86-64, none elsewhere). Each
// subsystem keeps its own kernel variants (*_sse2.cpp, *_avx2.cpp) and picks among them by
// this answer; this module knows nothing of their types. Internal header: the library's
// kernels, the tests and the benchmarks use it; hosts do not. Thread-safe.
#pragma once

namespace Zumeld::Simd {

enum class InstructionSet { Scalar, Sse2, Avx2 };

// The best set the processor runs; Scalar off x86-64 or without GCC/Clang builtins.
InstructionSet DetectedInstructionSet();

// The set the kernels use: the detected one, or Scalar while the tests force it.
InstructionSet ActiveInstructionSet();

// Tests only: true makes ActiveInstructionSet report Scalar, so every caller runs its scalar
// loop; false restores the detected set.
void ForceScalarForTesting(bool force);
bool ScalarForcedForTesting();

}  // namespace Zumeld::Simd
