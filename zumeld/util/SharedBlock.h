// SharedBlock<T>: a reference-counted array that reads like a raw pointer. Copies of a map
// share their grids, pictures and texture blocks through it; the block is released exactly
// once, when its last holder lets go. Blocks come from AllocateZeroedBlock (platform/pages.h):
// large ones are fresh zeroed pages, touched only where written. Not thread-safe beyond
// std::shared_ptr's count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>

#include "zumeld/platform/pages.h"

namespace Zumeld {

template <typename T>
class SharedBlock {
public:
    SharedBlock() = default;
    SharedBlock(std::nullptr_t) {}

    static_assert(std::is_trivial_v<T>, "blocks hold plain cells and bytes");

    // A new block of n elements, for a caller that writes every element it later reads.
    // Throws std::bad_alloc.
    static SharedBlock Allocate(std::size_t n) { return AllocateZeroed(n, true); }
    // A new block of n elements, all bytes 0 (large blocks are zero without being written).
    // writtenWhole: the caller writes every element (its pages are made present at once).
    // Throws std::bad_alloc.
    static SharedBlock AllocateZeroed(std::size_t n, bool writtenWhole = false) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        const std::size_t bytes = (n == 0 ? 1 : n) * sizeof(T);
        T* p = static_cast<T*>(Platform::AllocateZeroedBlock(bytes, writtenWhole));
        if (p == nullptr) throw std::bad_alloc();
        SharedBlock b;
        // On a failed control-block allocation shared_ptr frees p itself and rethrows.
        b.m_p = std::shared_ptr<T[]>(p, Platform::ZeroedBlockDeleter{bytes});
        return b;
    }

    T* get() const { return m_p.get(); }
    T& operator[](std::ptrdiff_t i) const { return m_p.get()[i]; }
    explicit operator bool() const { return m_p != nullptr; }
    void reset() { m_p.reset(); }
    void swap(SharedBlock& other) noexcept { m_p.swap(other.m_p); }
    long use_count() const { return m_p.use_count(); }

    friend bool operator==(const SharedBlock& a, std::nullptr_t) { return a.m_p == nullptr; }
    friend bool operator==(const SharedBlock& a, const SharedBlock& b) { return a.get() == b.get(); }
    friend bool operator==(const SharedBlock& a, const T* p) { return a.get() == p; }

private:
    std::shared_ptr<T[]> m_p;
};

}  // namespace Zumeld
