// A little-endian reader over a fuzzer's bytes: every field comes from the input, and a read
// past the end yields 0, so any byte string decodes to some sequence of calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ZumeldFuzz {

class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_pos >= m_size; }
    std::size_t Remaining() const { return m_pos < m_size ? m_size - m_pos : 0; }

    std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
    std::uint32_t U32() {
        const std::uint32_t lo = U16();
        return lo | static_cast<std::uint32_t>(U16()) << 16;
    }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    bool Bool() { return Byte() & 1; }

    // An int that is small most of the time and any 32-bit value otherwise: the first byte
    // picks the form, so the fuzzer reaches both the interesting range and the extremes.
    std::int32_t Int() {
        const std::uint8_t form = Byte();
        switch (form & 3) {
            case 0:
                return static_cast<std::int8_t>(Byte());
            case 1:
                return static_cast<std::int16_t>(U16());
            case 2:
                return I32();
            default: {
                static constexpr std::int32_t kEdges[] = {0,
                                                          1,
                                                          -1,
                                                          2,
                                                          INT32_MAX,
                                                          INT32_MIN,
                                                          32767,
                                                          -32768,
                                                          65535,
                                                          65536,
                                                          1 << 30,
                                                          -(1 << 30),
                                                          46341,
                                                          INT32_MAX - 1,
                                                          INT32_MIN + 1,
                                                          32768};
                return kEdges[(form >> 2) & 15];
            }
        }
    }
    double Double() {
        const std::uint8_t form = Byte();
        if (form & 1) {
            double d;
            const std::uint64_t bits = static_cast<std::uint64_t>(U32()) | std::uint64_t{U32()}
                                                                               << 32;
            std::memcpy(&d, &bits, sizeof d);
            return d;
        }
        return static_cast<double>(Int()) / (1 + (form >> 1));
    }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

}  // namespace ZumeldFuzz
