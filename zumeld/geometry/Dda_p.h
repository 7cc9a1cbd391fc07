// Dda: exact integer stepping of a rounded line position, floor((k * num + bias) / den) for
// k = 0, 1, 2, ..., kept as a whole part and a remainder. One step costs an addition and a
// compare; a jump of many steps costs one multiplication and one division. Shared by the
// scan conversion, the point-in-polygon test and the line drawing. Plain value, no state
// beyond its fields.
#pragma once

#include <cstdint>

namespace Zumeld::detail {

struct Dda {
    std::uint64_t den = 1;  // denominator, >= 1
    std::uint64_t q = 0;    // num div den: whole columns per step
    std::uint64_t r = 0;    // num mod den: remainder per step
    std::int64_t pos = 0;   // floor((k * num + bias) / den)
    std::uint64_t rem = 0;  // (k * num + bias) mod den, 0 <= rem < den

    // The position at k = 0.
    // Requires: den >= 1.
    static Dda Start(std::uint64_t num, std::uint64_t den, std::uint64_t bias) {
        Dda d;
        d.den = den;
        d.q = num / den;
        d.r = num % den;
        d.pos = static_cast<std::int64_t>(bias / den);
        d.rem = bias % den;
        return d;
    }

    void Step() {
        pos += static_cast<std::int64_t>(q);
        rem += r;
        if (rem >= den) {
            rem -= den;
            ++pos;
        }
    }

    // The position k steps further on, exactly as k calls of Step() would leave it.
    // Requires: k * r < 2^64 (true whenever k <= den < 2^32) and k * q fits in 63 bits.
    void Advance(std::uint64_t k) {
        const std::uint64_t kr = k * r;
        pos += static_cast<std::int64_t>(k * q + kr / den);
        rem += kr % den;
        if (rem >= den) {
            rem -= den;
            ++pos;
        }
    }
};

}  // namespace Zumeld::detail
