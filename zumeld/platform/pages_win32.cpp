// Zeroed blocks on Windows: large ones straight from VirtualAlloc (committed pages arrive
// zeroed, cost only when first touched, and go back to the system when freed), the rest from
// the heap.
#include <atomic>
#include <cstdlib>

#include "zumeld/platform/pages.h"
#include "zumeld/platform/win32.h"

namespace Zumeld::Platform {

void* AllocateZeroedBlock(std::size_t bytes, bool writtenWhole) noexcept {
    (void)writtenWhole;  // pages arrive on first touch; Windows has no cheaper way here
    if (bytes < kPageBlockBytes) return std::calloc(bytes == 0 ? 1 : bytes, 1);
    return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

namespace {

// Large pages on Windows need a privilege few processes hold: the setting is only kept.
std::atomic<bool> g_hugePages{false};

}  // namespace

void SetHugePages(bool on) noexcept {
    g_hugePages.store(on, std::memory_order_relaxed);
}

bool GetHugePages() noexcept {
    return g_hugePages.load(std::memory_order_relaxed);
}

void FreeZeroedBlock(void* p, std::size_t bytes) noexcept {
    if (p == nullptr) return;
    if (bytes >= kPageBlockBytes)
        ::VirtualFree(p, 0, MEM_RELEASE);
    else
        std::free(p);
}

}  // namespace Zumeld::Platform
