// SharedBlock<T>: a reference-counted array that reads like a raw pointer. Copies of a map
// share their grids, pictures and texture blocks through it; the block is released exactly
// once, when its last holder lets go. Not thread-safe beyond std::shared_ptr's count.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace Zumeld {

template <typename T>
class SharedBlock {
public:
    SharedBlock() = default;
    SharedBlock(std::nullptr_t) {}

    // A new block of n elements, uninitialised. Throws std::bad_alloc.
    static SharedBlock Allocate(std::size_t n) {
        SharedBlock b;
        b.m_p = std::shared_ptr<T[]>(new T[n == 0 ? 1 : n]);
        return b;
    }
    // A new block of n elements, all bytes 0. Throws std::bad_alloc.
    static SharedBlock AllocateZeroed(std::size_t n) {
        SharedBlock b = Allocate(n);
        std::memset(static_cast<void*>(b.get()), 0, (n == 0 ? 1 : n) * sizeof(T));
        return b;
    }

    T* get() const { return m_p.get(); }
    T& operator[](std::ptrdiff_t i) const { return m_p.get()[i]; }
    explicit operator bool() const { return m_p != nullptr; }
    void reset() { m_p.reset(); }
    long use_count() const { return m_p.use_count(); }

    friend bool operator==(const SharedBlock& a, std::nullptr_t) { return a.m_p == nullptr; }
    friend bool operator==(const SharedBlock& a, const SharedBlock& b) { return a.get() == b.get(); }
    friend bool operator==(const SharedBlock& a, const T* p) { return a.get() == p; }

private:
    std::shared_ptr<T[]> m_p;
};

}  // namespace Zumeld
