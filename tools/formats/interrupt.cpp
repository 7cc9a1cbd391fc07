// The pending names live in a fixed table that the handlers read with plain loads (see
// interrupt_posix.cpp, interrupt_win32.cpp); a slot is claimed by compare-and-swap and published
// only once its name is complete.
#include "interrupt.h"

#include <climits>
#include <cstring>

#include <atomic>

#include "interrupt_p.h"

namespace zumeld_formats {

namespace {

enum SlotState : int { kFree, kFilling, kPending };

struct Slot {
    std::atomic<int> state{kFree};
    char name[PATH_MAX];
};

constexpr int kSlots = 8;
Slot g_slots[kSlots];  // see interrupt.h: the tool's one process-wide record
// Writers making a temporary file, and a stop signal put off until they are done (0: none).
std::atomic<int> g_making{0};
std::atomic<int> g_deferred{0};

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the states");

}  // namespace

void ForEachPendingTemporary(void (*remove)(const char* name)) {
    for (Slot& s : g_slots)
        if (s.state.load(std::memory_order_acquire) == kPending) remove(s.name);
}

PendingTemporary::PendingTemporary(const char* name) : slot_(-1) {
    const std::size_t size = std::strlen(name);
    if (size >= PATH_MAX) return;
    for (int k = 0; k < kSlots; ++k) {
        int expected = kFree;
        if (!g_slots[k].state.compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(g_slots[k].name, name, size + 1);
        g_slots[k].state.store(kPending, std::memory_order_release);
        slot_ = k;
        return;
    }
}

PendingTemporary::~PendingTemporary() {
    if (slot_ >= 0) g_slots[slot_].state.store(kFree, std::memory_order_release);
}

// The handler records the signal before it looks at g_making, the writer lowers g_making
// before it looks for a signal: one of the two sees the other (sequentially consistent), and
// the exchange gives the signal to exactly one of them.
bool DeferStop(int sig) {
    g_deferred.store(sig);
    return g_making.load() != 0 || g_deferred.exchange(0) == 0;
}

MakingTemporary::MakingTemporary() {
    g_making.fetch_add(1);
}

MakingTemporary::~MakingTemporary() {
    if (g_making.fetch_sub(1) == 1)
        if (const int sig = g_deferred.exchange(0)) Stop(sig);
}

}  // namespace zumeld_formats
