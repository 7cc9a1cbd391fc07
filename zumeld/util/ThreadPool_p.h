// The library's one thread pool, for kernels that split their work into parts. A part runs
// on a pool thread or on the caller's thread; the caller takes parts itself while it waits,
// so a call never waits on an idle pool. Calls from several threads at once share the
// pool; a call made from inside a part runs its parts inline.
#pragma once

#include <cstdint>
#include <utility>

#include "zumeld/util/Threads.h"

namespace Zumeld {

// Runs part(i) for every i in 0 .. parts - 1, spread over the thread count in force, and
// returns when all have run (RunOnThreads of Threads.h).
template <class F>
void RunParts(int parts, F&& part) {
    RunOnThreads(parts, std::forward<F>(part));
}

// How many parts to split `work` units into: the thread count, times four for balance,
// but no part smaller than minPerPart units; at least 1.
int PartCount(std::int64_t work, std::int64_t minPerPart);

// The range [begin, end) of part i of n over `count` items: an even split, the parts' sizes
// differing by at most one.
inline std::pair<std::int64_t, std::int64_t> PartRange(std::int64_t count, int n, int i) {
    return {count * i / n, count * (i + 1) / n};
}

}  // namespace Zumeld
