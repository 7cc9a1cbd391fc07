// The stop signals on Windows: Ctrl-C, Ctrl-Break and SIGTERM remove the pending temporary
// files, then end the process as the signal does. The C runtime runs these handlers on a
// thread of their own, so removing a file there is safe.
#include <io.h>

#include <csignal>

#include "interrupt.h"
#include "interrupt_p.h"

namespace zumeld_formats {

namespace {

constexpr int kSignals[] = {SIGINT, SIGBREAK, SIGTERM};

void OnSignal(int sig) {
    if (!DeferStop(sig)) Stop(sig);
}

}  // namespace

void Stop(int sig) {
    ForEachPendingTemporary([](const char* name) { ::_unlink(name); });
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void RemoveTemporariesOnSignals() {
    for (int sig : kSignals) {
        const auto old = std::signal(sig, OnSignal);
        if (old == SIG_IGN) std::signal(sig, SIG_IGN);  // an ignored signal stays ignored
    }
}

}  // namespace zumeld_formats
