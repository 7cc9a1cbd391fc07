// The stop signals on POSIX systems: SIGINT, SIGTERM and SIGHUP remove the pending temporary
// files with unlink(), which is async-signal-safe, then end the process as the signal does.
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "interrupt.h"
#include "interrupt_p.h"

namespace zumeld_formats {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int sig) {
    const int saved = errno;
    if (!DeferStop(sig)) Stop(sig);
    errno = saved;
}

}  // namespace

void Stop(int sig) {
    ForEachPendingTemporary([](const char* name) { ::unlink(name); });
    std::signal(sig, SIG_DFL);
    std::raise(sig);  // ends the process the way the signal would have
}

void RemoveTemporariesOnSignals() {
    for (int sig : kSignals) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        for (int other : kSignals) sigaddset(&sa.sa_mask, other);  // one handler at a time
        ::sigaction(sig, &sa, nullptr);
    }
}

}  // namespace zumeld_formats
