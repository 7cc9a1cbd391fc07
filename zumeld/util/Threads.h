// The library's thread count: how many threads the calls that split their work use (the
// relief and polygon drawing, the resampling, the sea fill and the .elv encoder). Their
// output is the same bytes for every count. The threads come from one pool the library
// makes once, on the first call that needs them, and keeps for the life of the process.
// The map objects stay single-threaded from the caller's side: a call returns when all
// of its work is done. Thread-safe.
#pragma once

#include "zumeld/export.h"

namespace Zumeld {

// Sets the thread count: 1 runs every call on the caller's thread alone (no thread is
// started); 0 or less means the hardware's thread count; counts above 64 act as 64.
ZUMELD_API void SetThreadCount(int nThreads);
// The thread count in force (at least 1).
ZUMELD_API int GetThreadCount();

}  // namespace Zumeld
