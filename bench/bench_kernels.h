// The scalar loops as a baseline: while a ScalarKernels object lives, every kernel runs its
// scalar reference, so a benchmark can measure the vector speed-up in the same process.
#pragma once

#include "zumeld/render/Kernels.h"

namespace bench {

struct ScalarKernels {
    ScalarKernels() { Zumeld::Kernels::ForceScalarForTesting(true); }
    ~ScalarKernels() { Zumeld::Kernels::ForceScalarForTesting(false); }
    ScalarKernels(const ScalarKernels&) = delete;
    ScalarKernels& operator=(const ScalarKernels&) = delete;
};

}  // namespace bench
