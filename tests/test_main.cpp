// The unit-test binary's entry point. `--zumeld-force-scalar` (or ZUMELD_TEST_FORCE_SCALAR=1
// in the environment) runs every test on the scalar kernels instead of the vector ones the
// processor would get, so one binary checks both paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "zumeld/simd/Dispatch.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    bool scalar = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--zumeld-force-scalar") == 0) scalar = true;
    const char* env = std::getenv("ZUMELD_TEST_FORCE_SCALAR");
    if (env != nullptr && std::strcmp(env, "") != 0 && std::strcmp(env, "0") != 0) scalar = true;
    if (scalar) {
        Zumeld::Simd::ForceScalarForTesting(true);
        std::cout << "Kernels: scalar (forced)\n";
    }
    return RUN_ALL_TESTS();
}
