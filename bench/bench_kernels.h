// The scalar loops as a baseline: while a ScalarKernels object lives, every kernel runs its
// scalar reference, so a benchmark can measure the vector speed-up in the same process.
#pragma once

#include "zumeld/simd/Dispatch.h"

namespace bench {

struct ScalarKernels {
    ScalarKernels() { Zumeld::Simd::ForceScalarForTesting(true); }
    ~ScalarKernels() { Zumeld::Simd::ForceScalarForTesting(false); }
    ScalarKernels(const ScalarKernels&) = delete;
    ScalarKernels& operator=(const ScalarKernels&) = delete;
};

}  // namespace bench
