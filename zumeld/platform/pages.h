// Zeroed blocks for large arrays (grids, pictures, global memory). A block of 2 MiB or more
// is mapped straight from the system's pages, 2 MiB-aligned: it arrives zeroed without being
// written, costs only the pages touched, and goes back to the system when freed. Smaller
// blocks come from the heap. Thread-safe.
#pragma once

#include <cstddef>

#include "zumeld/export.h"

namespace Zumeld::Platform {

// Blocks at least this large are mapped pages.
inline constexpr std::size_t kPageBlockBytes = std::size_t{2} << 20;

// A block of max(bytes, 1) bytes, every byte 0; null when the system has no memory for it.
// writtenWhole: the caller will write every byte (a grid, a picture), so mapped pages are
// made present at once, which costs less than faulting them in one by one.
ZUMELD_API void* AllocateZeroedBlock(std::size_t bytes, bool writtenWhole = false) noexcept;
// Releases a block from AllocateZeroedBlock; `bytes` is the size it was asked for.
// Requires: p from AllocateZeroedBlock(bytes), not yet released. Null: nothing.
ZUMELD_API void FreeZeroedBlock(void* p, std::size_t bytes) noexcept;

// Whether large blocks are offered to the system as huge pages (Linux's transparent huge
// pages): a 2 MiB page is one fault instead of 512, and its zeroing falls to the thread that
// first writes it, so a picture drawn on several threads is zeroed on them all. Off by
// default: on the virtual machines this library is measured on, the first touch of memory
// the guest has never used costs five to seven times more in huge pages (docs/PERFORMANCE.md),
// while a process that draws again and again reuses its memory and gains. Process-wide,
// thread-safe; blocks already made keep their pages. Windows: recorded, changes nothing.
ZUMELD_API void SetHugePages(bool on) noexcept;
ZUMELD_API bool GetHugePages() noexcept;

// Deleter for owners of such blocks (std::unique_ptr, std::shared_ptr).
struct ZeroedBlockDeleter {
    std::size_t bytes = 0;
    void operator()(void* p) const noexcept { FreeZeroedBlock(p, bytes); }
};

}  // namespace Zumeld::Platform
