// The library's thread count: how many threads the calls that split their work use (the
// relief and polygon drawing, the resampling, the sea fill and the .elv encoder). Their
// output is the same bytes for every count. The threads come from one pool the library
// makes once, on the first call that needs them, and keeps for the life of the process.
// The map objects stay single-threaded from the caller's side: a call returns when all
// of its work is done. Thread-safe.
#pragma once

#include <type_traits>

#include "zumeld/export.h"

namespace Zumeld {

// Sets the thread count: 1 runs every call on the caller's thread alone (no thread is
// started); 0 or less means the hardware's thread count; counts above 64 act as 64.
ZUMELD_API void SetThreadCount(int nThreads);
// The thread count in force (at least 1).
ZUMELD_API int GetThreadCount();

// Runs run(context, i) for every i in 0 .. parts - 1 on the library's threads (the caller's
// among them) and returns when all have run; with a count of 1, in order on the caller's
// thread. An exception from a part is rethrown after the other parts have run. For a host's
// own work that splits the way the library's does (the tool's PNG writer uses it).
// Requires: the parts write disjoint memory. Otherwise: the caller's own data race.
ZUMELD_API void RunOnThreads(int parts, void (*run)(void* context, int part), void* context);

// RunOnThreads over a callable taking the part number.
template <class F>
void RunOnThreads(int parts, F&& part) {
    using Part = std::remove_reference_t<F>;
    RunOnThreads(
        parts, [](void* f, int i) { (*static_cast<Part*>(f))(i); },
        const_cast<void*>(static_cast<const void*>(&part)));
}

}  // namespace Zumeld
