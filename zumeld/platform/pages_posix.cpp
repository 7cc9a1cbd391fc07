// Zeroed blocks on POSIX: mapped pages for large ones, calloc for the rest.
#include "zumeld/platform/pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace Zumeld::Platform {

namespace {

std::atomic<bool> g_hugePages{false};

// Huge pages need 2 MiB-aligned ranges: a mapping is made this much larger and trimmed.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t n, std::size_t to) {
    return (n + to - 1) / to * to;
}

bool IsMapped(std::size_t bytes) {
    return bytes >= kPageBlockBytes;
}

std::size_t MappedBytes(std::size_t bytes) {
    return RoundUp(bytes, static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)));
}

}  // namespace

void* AllocateZeroedBlock(std::size_t bytes, bool writtenWhole) noexcept {
    if (!IsMapped(bytes)) return std::calloc(bytes == 0 ? 1 : bytes, 1);
    const std::size_t size = MappedBytes(bytes);
    if (size > SIZE_MAX - kHugePage) return nullptr;
    void* raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    // Keep the 2 MiB-aligned part and give back the rest on both sides.
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
    if (aligned > start) ::munmap(raw, aligned - start);
    const std::size_t tail = start + size + kHugePage - (aligned + size);
    if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + size), tail);
    void* p = reinterpret_cast<void*>(aligned);
    // Huge pages only when asked for (pages.h): measured on the virtual machines this
    // library is built and run on, the first touch of a fresh huge page costs five to seven
    // times that of 4 KiB pages (the host backs 2 MiB of new guest memory at once, where
    // small pages reuse memory the guest has touched before): an 8192 x 8192 render to .bmp
    // took 1.5 to 2.1 s of system time with the hint and 0.4 to 0.6 s without.
    // Huge pages fault in 2 MiB at a time, on the threads that write them; small pages of a
    // block about to be written whole are made present in one call instead of a fault per
    // 4 KiB (about a third less time on a 512 MiB block). Advice only: on failure the pages
    // still arrive on first touch.
#ifdef MADV_HUGEPAGE
    if (g_hugePages.load(std::memory_order_relaxed) && ::madvise(p, size, MADV_HUGEPAGE) == 0)
        return p;
#endif
#ifdef MADV_POPULATE_WRITE
    if (writtenWhole) ::madvise(p, size, MADV_POPULATE_WRITE);
#else
    (void)writtenWhole;
#endif
    return p;
}

void SetHugePages(bool on) noexcept {
    g_hugePages.store(on, std::memory_order_relaxed);
}

bool GetHugePages() noexcept {
    return g_hugePages.load(std::memory_order_relaxed);
}

void FreeZeroedBlock(void* p, std::size_t bytes) noexcept {
    if (p == nullptr) return;
    if (IsMapped(bytes))
        ::munmap(p, MappedBytes(bytes));
    else
        std::free(p);
}

}  // namespace Zumeld::Platform
