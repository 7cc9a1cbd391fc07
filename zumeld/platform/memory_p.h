// Test hooks of the global and local memory handle table. Internal to the platform layer
// and the tests; not installed.
#pragma once

#include <cstddef>

namespace Zumeld::Platform {

// After `successes` more allocations succeed, the next one fails (GlobalAlloc, LocalAlloc
// and every GlobalReAlloc of a live block without GMEM_MODIFY each count as one); the
// allocations after it succeed again. A negative value turns the injection off.
void SetAllocationFailureCountdown(long successes);

// The number of blocks allocated and not yet freed, for leak checks in tests.
std::size_t LiveBlockCount();

// The largest block the table hands out, in bytes: sizes are 32-bit ints in this library,
// and a request above this (a negative size converted, an overflowed product) fails.
constexpr std::size_t kMaxBlockBytes = 0x7FFFFFFF;

}  // namespace Zumeld::Platform
