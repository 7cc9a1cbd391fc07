// A small deterministic generator for tests (splitmix64). The same seed gives the same
// numbers on every platform and standard library; print the seed in failure messages so a
// failing case can be replayed.
#pragma once

#include <cstdint>

namespace zumeld_test {

class TestRandom {
  public:
    explicit TestRandom(std::uint64_t seed) : m_state(seed), m_seed(seed) {}

    std::uint64_t Seed() const { return m_seed; }

    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n) for n >= 1 (tiny modulo bias is harmless in tests).
    std::uint32_t Below(std::uint32_t n) { return n ? static_cast<std::uint32_t>(Next() % n) : 0; }
    // Uniform in [lo, hi], lo <= hi.
    std::int64_t Range(std::int64_t lo, std::int64_t hi) {
        return lo + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    // Range as an int, for bounds that are ints.
    int Between(int lo, int hi) { return static_cast<int>(Range(lo, hi)); }
    bool Chance(std::uint32_t percent) { return Below(100) < percent; }

  private:
    std::uint64_t m_state;
    std::uint64_t m_seed;
};

}  // namespace zumeld_test
