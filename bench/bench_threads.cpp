// The kernel benchmarks measure one core: the library's thread count is set to 1 before
// any benchmark runs. path_bench.cpp sets its own count per run.
#include "zumeld/util/Threads.h"

namespace {

const bool kOneThread = [] {
    Zumeld::SetThreadCount(1);
    return true;
}();

}  // namespace
