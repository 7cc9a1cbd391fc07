// The file-transfer failure hook that ReadFully and WriteFully ask on every platform.

#include <atomic>
#include <cerrno>

#include "zumeld/platform/files_p.h"

namespace Zumeld::Platform {

namespace {
std::atomic<long> g_fileFailureCountdown{-1};
}  // namespace

void SetFileFailureCountdown(long successes) {
    g_fileFailureCountdown.store(successes < 0 ? -1 : successes);
}

bool TransferAllowed() {
    long left = g_fileFailureCountdown.load();
    while (left >= 0 && !g_fileFailureCountdown.compare_exchange_weak(left, left - 1)) {
    }
    if (left != 0) return true;
    errno = EIO;
    return false;
}

}  // namespace Zumeld::Platform
