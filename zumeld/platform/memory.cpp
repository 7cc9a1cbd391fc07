// Global and local memory over one handle table. A handle is an opaque value naming a slot
// and the slot's generation, never the block's address, so a null, freed, stale or made-up
// handle is recognised and refused. Thread-safe: one mutex guards the table.
//
// Every byte of a block that the caller has not written reads as 0, whether or not
// GMEM_ZEROINIT was asked for, so no stale heap content ever reaches a file (WriteDIB
// writes all GlobalSize bytes of a block).

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "zumeld/platform/memory_p.h"
#include "zumeld/platform/pages.h"
#include "zumeld/platform/win32.h"

namespace {

using Zumeld::Platform::kMaxBlockBytes;

// Handle layout: slot index + 1 in the low bits, the slot's generation above them.
constexpr unsigned kSlotBits = sizeof(std::uintptr_t) >= 8 ? 32 : 20;
constexpr std::uintptr_t kSlotMask = (std::uintptr_t{1} << kSlotBits) - 1;
constexpr std::uintptr_t kGenerationMask = (~std::uintptr_t{0} >> 1) >> kSlotBits;

// Storage is zeroed pages (platform/pages.h): a large block arrives untouched, so a big
// block that the caller fills only in part costs only what it touches.
using Storage = std::unique_ptr<BYTE[], Zumeld::Platform::ZeroedBlockDeleter>;

struct Block {
    Storage data;
    std::size_t size = 0;      // as asked for; GlobalSize reports it
    std::size_t capacity = 0;  // bytes behind data (at least 1, so a lock is never null)
    UINT flags = 0;
    UINT locks = 0;
    std::uintptr_t generation = 1;
    bool live = false;
};

struct HandleTable {
    std::mutex mutex;
    std::vector<Block> blocks;
    std::vector<std::size_t> freeSlots;
    std::size_t liveCount = 0;
    long failureCountdown = -1;

    // True when the allocation about to be made may go ahead (the test hook can refuse it).
    bool AllocationAllowed() {
        if (failureCountdown < 0) return true;
        return failureCountdown-- != 0;
    }

    Block* Find(HANDLE h) {
        const auto v = reinterpret_cast<std::uintptr_t>(h);
        const std::uintptr_t slot = v & kSlotMask;
        if (slot == 0 || slot > blocks.size()) return nullptr;
        Block& b = blocks[slot - 1];
        if (!b.live || (v >> kSlotBits) != b.generation) return nullptr;
        return &b;
    }

    HANDLE Add(Storage data, std::size_t size, std::size_t capacity, UINT flags) {
        std::size_t slot;
        if (!freeSlots.empty()) {
            slot = freeSlots.back();
            freeSlots.pop_back();
        } else {
            if (blocks.size() >= kSlotMask) return nullptr;
            blocks.emplace_back();
            slot = blocks.size() - 1;
        }
        Block& b = blocks[slot];
        b.data = std::move(data);
        b.size = size;
        b.capacity = capacity;
        b.flags = flags;
        b.locks = 0;
        b.live = true;
        ++liveCount;
        return reinterpret_cast<HANDLE>((b.generation << kSlotBits) | (slot + 1));
    }

    // Takes the block out of the table and hands over its storage.
    Storage Remove(Block& b) {
        Storage data = std::move(b.data);
        b.live = false;
        // The next block in this slot gets a new generation: old handles stay refused.
        b.generation = (b.generation & kGenerationMask) == kGenerationMask ? 1 : b.generation + 1;
        freeSlots.push_back(static_cast<std::size_t>(&b - blocks.data()));
        --liveCount;
        return data;
    }
};

// Never destroyed: a host's static objects may free blocks while the process exits.
HandleTable& Table() {
    static HandleTable& table = *new HandleTable;
    return table;
}

// A zeroed block of at least one byte, or null when the system has no memory for it.
Storage NewStorage(std::size_t bytes) {
    const std::size_t size = std::max<std::size_t>(bytes, 1);
    return Storage(static_cast<BYTE*>(Zumeld::Platform::AllocateZeroedBlock(size)),
                   Zumeld::Platform::ZeroedBlockDeleter{size});
}

HANDLE Allocate(UINT flags, std::size_t bytes) {
    if (bytes > kMaxBlockBytes) return nullptr;
    HandleTable& t = Table();
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        if (!t.AllocationAllowed()) return nullptr;
    }
    // The pages are mapped without the lock held; only the table update needs it.
    Storage data = NewStorage(bytes);
    if (!data) return nullptr;
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.Add(std::move(data), bytes, std::max<std::size_t>(bytes, 1), flags);
}

// Returns null on success and the handle itself when it names no block.
HANDLE Free(HANDLE h) {
    if (h == nullptr) return nullptr;
    HandleTable& t = Table();
    Storage gone;  // released after the lock below is let go
    std::lock_guard<std::mutex> lock(t.mutex);
    Block* b = t.Find(h);
    if (b == nullptr) return h;
    gone = t.Remove(*b);
    return nullptr;
}

}  // namespace

namespace Zumeld::Platform {

void SetAllocationFailureCountdown(long successes) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.failureCountdown = successes < 0 ? -1 : successes;
}

std::size_t LiveBlockCount() {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.liveCount;
}

}  // namespace Zumeld::Platform

HGLOBAL GlobalAlloc(UINT uFlags, std::size_t dwBytes) {
    return Allocate(uFlags, dwBytes);
}

HLOCAL LocalAlloc(UINT uFlags, std::size_t uBytes) {
    return Allocate(uFlags, uBytes);
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    return Free(hMem);
}

HLOCAL LocalFree(HLOCAL hMem) {
    return Free(hMem);
}

HGLOBAL GlobalReAlloc(HGLOBAL hMem, std::size_t dwBytes, UINT uFlags) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    Block* b = t.Find(hMem);
    if (b == nullptr) return nullptr;
    if (uFlags & GMEM_MODIFY) {
        // Changes the block's attributes only; the size argument is ignored.
        b->flags = (b->flags & ~GMEM_MOVEABLE) | (uFlags & GMEM_MOVEABLE);
        return hMem;
    }
    if (dwBytes > kMaxBlockBytes || !t.AllocationAllowed()) return nullptr;
    if (dwBytes > b->capacity) {
        // A locked or fixed block keeps its address unless the caller lets it move.
        const bool pinned = b->locks > 0 || (b->flags & GMEM_MOVEABLE) == 0;
        if (pinned && (uFlags & GMEM_MOVEABLE) == 0) return nullptr;
        Storage data = NewStorage(dwBytes);
        if (!data) return nullptr;  // the old block stays as it was
        std::memcpy(data.get(), b->data.get(), b->size);
        b->data = std::move(data);
        b->capacity = dwBytes;
    } else if (dwBytes > b->size) {
        // Growing back into room left by an earlier shrink: the new part reads as 0.
        std::memset(b->data.get() + b->size, 0, dwBytes - b->size);
    }
    b->size = dwBytes;
    return hMem;
}

LPVOID GlobalLock(HGLOBAL hMem) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    Block* b = t.Find(hMem);
    if (b == nullptr) return nullptr;
    if (b->locks < 0xFFFFFFFFu) ++b->locks;
    return b->data.get();
}

BOOL GlobalUnlock(HGLOBAL hMem) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    Block* b = t.Find(hMem);
    if (b == nullptr || b->locks == 0) return FALSE;
    --b->locks;
    return b->locks > 0 ? TRUE : FALSE;
}

std::size_t GlobalSize(HGLOBAL hMem) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const Block* b = t.Find(hMem);
    return b ? b->size : 0;
}
