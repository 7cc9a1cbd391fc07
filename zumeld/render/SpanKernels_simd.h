// The vector span kernels, written once with 128-bit integer intrinsics and compiled once
// per instruction set (SpanKernels_sse2.cpp, SpanKernels_avx2.cpp). Everything here has
// internal linkage, so each including file keeps its own copy built for its own flags.
//
// Eight pixels a step. The per-pixel values (blend t, fade weights, shading factor) are
// computed for eight pixels in 16-bit lanes, then spread to four lanes a pixel to meet the
// land texels, which load as B, G, R, 0 words of lo | hi << 8. Every intermediate stays
// below 65536 exactly as in the scalar loops, so 16-bit lanes give the same bytes:
//   t = min(255, (e x k) >> 15)     as the high half of (2e) x k
//   fade: q x (255 - f) + 160 f     and q x 256 (that is, q unchanged) where e < L
//   h = clamp((de x g) >> 11)       from the high and low halves of de x g
// Sea pixels take their sea texel bytes as they are (no tone).
#pragma once

#include <emmintrin.h>
#if defined(__SSSE3__)
#include <tmmintrin.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "zumeld/render/Kernels.h"

namespace Zumeld::Kernels {
namespace {

constexpr int kStep = 8;  // pixels a step

// The per-span constants, broadcast.
struct SpanVectors {
    __m128i k, g, fadeBelow, fadeLine, notPaint;
    explicit SpanVectors(const SpanRun& r)
        : k(_mm_set1_epi16(static_cast<short>(r.k))),
          g(_mm_set1_epi16(static_cast<short>(r.g))),
          // fadeLine is in -512..32768: fadeLine - 1 fits, and fadeLine itself is only used
          // (modulo 2^16) in lanes where e >= fadeLine.
          fadeBelow(_mm_set1_epi16(static_cast<short>(r.fadeLine - 1))),
          fadeLine(_mm_set1_epi16(static_cast<short>(static_cast<std::uint16_t>(r.fadeLine)))),
          notPaint(r.paint ? _mm_setzero_si128() : _mm_set1_epi16(-1)) {}
};

// v0..v7 spread to four lanes each: out[p] holds pixels 2p and 2p + 1.
inline void Spread(__m128i v, __m128i out[4]) {
    const __m128i lo = _mm_unpacklo_epi16(v, v), hi = _mm_unpackhi_epi16(v, v);
    out[0] = _mm_unpacklo_epi32(lo, lo);
    out[1] = _mm_unpackhi_epi32(lo, lo);
    out[2] = _mm_unpacklo_epi32(hi, hi);
    out[3] = _mm_unpackhi_epi32(hi, hi);
}

inline __m128i Tone(__m128i q, int tone) {
    const __m128i c255 = _mm_set1_epi16(255);
    switch (tone) {
        case 1:
            return _mm_sub_epi16(q, _mm_srli_epi16(q, 1));
        case 2:
            return _mm_sub_epi16(q, _mm_srli_epi16(q, 2));
        case 3:
            return _mm_min_epi16(_mm_add_epi16(q, _mm_srli_epi16(q, 1)), c255);
        case 4:
            return _mm_min_epi16(
                _mm_add_epi16(_mm_sub_epi16(q, _mm_srli_epi16(q, 2)), _mm_srli_epi16(q, 1)), c255);
        default:
            return q;
    }
}

// Eight pixels as B, G, R, X bytes (X undefined) in out[0] (pixels 0..3) and out[1].
// eRaw and nRaw: the raw elevations and shading neighbours; land: 64 bytes, sea: 32 bytes.
template <bool kShade>
inline void Pixels8(const SpanVectors& v, int tone, __m128i eRaw, __m128i nRaw, const BYTE* land,
                    const BYTE* sea, __m128i out[2]) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i e = _mm_max_epi16(eRaw, zero);
    const __m128i seaMask = _mm_and_si128(_mm_cmpeq_epi16(e, zero), v.notPaint);
    const int seaBits = _mm_movemask_epi8(seaMask);
    const __m128i sea0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sea));
    const __m128i sea1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sea + 16));
    if (seaBits == 0xFFFF) {
        out[0] = sea0;
        out[1] = sea1;
        return;
    }

    const __m128i t = _mm_min_epi16(_mm_mulhi_epu16(_mm_add_epi16(e, e), v.k), c255);
    const __m128i fading = _mm_cmpgt_epi16(e, v.fadeBelow);
    const __m128i f = _mm_min_epi16(_mm_srli_epi16(_mm_sub_epi16(e, v.fadeLine), 1), c255);
    const __m128i w1 = _mm_sub_epi16(_mm_set1_epi16(256),
                                     _mm_and_si128(_mm_add_epi16(f, _mm_set1_epi16(1)), fading));
    const __m128i w2 = _mm_and_si128(_mm_mullo_epi16(f, _mm_set1_epi16(160)), fading);
    __m128i T[4], W1[4], W2[4], H[4];
    Spread(t, T);
    Spread(w1, W1);
    Spread(w2, W2);
    if constexpr (kShade) {
        const __m128i de = _mm_sub_epi16(_mm_max_epi16(nRaw, zero), e);
        const __m128i hi = _mm_min_epi16(
            _mm_max_epi16(_mm_mulhi_epi16(de, v.g), _mm_set1_epi16(-5)), _mm_set1_epi16(4));
        const __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(de, v.g), 11);
        __m128i h = _mm_add_epi16(_mm_slli_epi16(hi, 5), lo);
        h = _mm_min_epi16(_mm_max_epi16(h, _mm_set1_epi16(-128)), _mm_set1_epi16(127));
        Spread(_mm_add_epi16(h, _mm_set1_epi16(128)), H);
    } else {
        (void)nRaw;
    }
    const __m128i lowByte = _mm_set1_epi16(0xFF);
    __m128i q[4];
    for (int p = 0; p < 4; ++p) {
        const __m128i tex = _mm_loadu_si128(reinterpret_cast<const __m128i*>(land + 16 * p));
        const __m128i lo = _mm_and_si128(tex, lowByte), hi = _mm_srli_epi16(tex, 8);
        __m128i x = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(lo, _mm_sub_epi16(c255, T[p])),
                                                 _mm_mullo_epi16(hi, T[p])),
                                   8);
        x = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(x, W1[p]), W2[p]), 8);
        if constexpr (kShade) x = _mm_min_epi16(_mm_srli_epi16(_mm_mullo_epi16(x, H[p]), 7), c255);
        q[p] = Tone(x, tone);
    }
    out[0] = _mm_packus_epi16(q[0], q[1]);
    out[1] = _mm_packus_epi16(q[2], q[3]);
    if (seaBits != 0) {
        const __m128i m0 = _mm_unpacklo_epi16(seaMask, seaMask);
        const __m128i m1 = _mm_unpackhi_epi16(seaMask, seaMask);
        out[0] = _mm_or_si128(_mm_and_si128(m0, sea0), _mm_andnot_si128(m0, out[0]));
        out[1] = _mm_or_si128(_mm_and_si128(m1, sea1), _mm_andnot_si128(m1, out[1]));
    }
}

// Writes eight pixels: B, G, R of each, the fourth byte of a 32-bit pixel kept.
template <int kBpp>
inline void Store8(BYTE* dst, const __m128i px[2]) {
    if constexpr (kBpp == 4) {
        const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
        for (int i = 0; i < 2; ++i) {
            __m128i* d = reinterpret_cast<__m128i*>(dst + 16 * i);
            const __m128i old = _mm_loadu_si128(d);
            _mm_storeu_si128(d,
                             _mm_or_si128(_mm_and_si128(old, keep), _mm_andnot_si128(keep, px[i])));
        }
    } else {
#if defined(__SSSE3__)
        const __m128i pick = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
        const __m128i a = _mm_shuffle_epi8(px[0], pick), b = _mm_shuffle_epi8(px[1], pick);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_or_si128(a, _mm_slli_si128(b, 12)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 16), _mm_srli_si128(b, 4));
#else
        // Two pixels of a 64-bit word to six bytes, four such groups to 24 bytes.
        const auto pack = [](std::uint64_t w) {
            return (w & 0xFFFFFFull) | ((w >> 8) & 0xFFFFFF000000ull);
        };
        const std::uint64_t x0 = pack(static_cast<std::uint64_t>(_mm_cvtsi128_si64(px[0])));
        const std::uint64_t x1 =
            pack(static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(px[0], px[0]))));
        const std::uint64_t x2 = pack(static_cast<std::uint64_t>(_mm_cvtsi128_si64(px[1])));
        const std::uint64_t x3 =
            pack(static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(px[1], px[1]))));
        const std::uint64_t w[3] = {x0 | x1 << 48, x1 >> 16 | x2 << 32, x2 >> 32 | x3 << 16};
        std::memcpy(dst, w, 24);
#endif
    }
}

// Copies `count` texels from column u on, wrapping at rowBytes; returns the next column.
inline int GatherTexels(const SpanRun& r, int u, int count, BYTE* land, BYTE* sea) {
    for (int i = 0; i < count; ++i) {
        std::memcpy(land + 8 * i, r.landRow + 2 * u, 8);
        std::memcpy(sea + 4 * i, r.seaRow + u, 4);
        u += 4;
        if (u == r.rowBytes) u = 0;
    }
    return u;
}

// The shading neighbours of columns x .. x + count - 1 (at most eight), clamped as the scalar
// loop clamps them; lanes past count are 0.
inline __m128i Neighbours(const SpanRun& r, int x, int count) {
    const std::int64_t first = std::int64_t{x} + r.d;
    if (count == kStep && first + kStep - 1 <= r.lastColumn)
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.below + first));
    alignas(16) short n[kStep] = {};
    for (int i = 0; i < count; ++i) n[i] = r.below[std::min<std::int64_t>(first + i, r.lastColumn)];
    return _mm_load_si128(reinterpret_cast<const __m128i*>(n));
}

template <int kBpp, bool kShade>
void RunSpan(const SpanRun& r) {
    const SpanVectors v(r);
    const int tone = r.tone;
    alignas(16) BYTE landBuf[8 * kStep];
    alignas(16) BYTE seaBuf[4 * kStep];
    // A one-texel source (the flat colour) is the same for every step.
    const bool oneTexel = r.rowBytes == 4;
    if (oneTexel) GatherTexels(r, 0, kStep, landBuf, seaBuf);
    int x = r.left;
    int u = r.u;
    BYTE* dst = r.dst;
    __m128i px[2];
    __m128i n = _mm_setzero_si128();
    for (; r.right - x >= kStep - 1; x += kStep, dst += kStep * kBpp) {
        const BYTE* land = landBuf;
        const BYTE* sea = seaBuf;
        if (!oneTexel) {
            if (u + 4 * kStep <= r.rowBytes) {
                land = r.landRow + 2 * u;
                sea = r.seaRow + u;
                u += 4 * kStep;
                if (u == r.rowBytes) u = 0;
            } else {
                u = GatherTexels(r, u, kStep, landBuf, seaBuf);
            }
        }
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.row + x));
        if constexpr (kShade) n = Neighbours(r, x, kStep);
        Pixels8<kShade>(v, tone, e, n, land, sea, px);
        Store8<kBpp>(dst, px);
    }
    const int count = r.right - x + 1;
    if (count <= 0) return;
    // The last few pixels through local copies; only they are written.
    alignas(16) short e[kStep] = {};
    std::memcpy(e, r.row + x, static_cast<std::size_t>(count) * sizeof(short));
    if (!oneTexel) GatherTexels(r, u, count, landBuf, seaBuf);
    if constexpr (kShade) n = Neighbours(r, x, count);
    Pixels8<kShade>(v, tone, _mm_load_si128(reinterpret_cast<const __m128i*>(e)), n, landBuf,
                    seaBuf, px);
    alignas(16) BYTE out[4 * kStep];
    _mm_store_si128(reinterpret_cast<__m128i*>(out), px[0]);
    _mm_store_si128(reinterpret_cast<__m128i*>(out + 16), px[1]);
    for (int i = 0; i < count; ++i) std::memcpy(dst + kBpp * i, out + 4 * i, 3);
}

// Flat colour: B, G, R repeated; the fourth byte of a 32-bit pixel kept.
void Fill32(BYTE* dst, int count, BYTE b, BYTE g, BYTE r) {
    const std::uint32_t colour = b | g << 8 | static_cast<std::uint32_t>(r) << 16;
    const __m128i c = _mm_set1_epi32(static_cast<int>(colour));
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int i = 0;
    for (; count - i >= 4; i += 4) {
        __m128i* d = reinterpret_cast<__m128i*>(dst + 4 * i);
        _mm_storeu_si128(d, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(d), keep), c));
    }
    for (; i < count; ++i) std::memcpy(dst + 4 * i, &colour, 3);
}

void Fill24(BYTE* dst, int count, BYTE b, BYTE g, BYTE r) {
    alignas(16) BYTE pattern[48];  // 16 pixels
    for (int i = 0; i < 16; ++i) {
        pattern[3 * i] = b;
        pattern[3 * i + 1] = g;
        pattern[3 * i + 2] = r;
    }
    const __m128i p0 = _mm_load_si128(reinterpret_cast<const __m128i*>(pattern));
    const __m128i p1 = _mm_load_si128(reinterpret_cast<const __m128i*>(pattern + 16));
    const __m128i p2 = _mm_load_si128(reinterpret_cast<const __m128i*>(pattern + 32));
    int i = 0;
    for (; count - i >= 16; i += 16) {
        BYTE* d = dst + 3 * i;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), p0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), p1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), p2);
    }
    for (; i < count; ++i) std::memcpy(dst + 3 * i, pattern, 3);
}

constexpr SpanKernels MakeSpanKernels(const char* name) {
    return SpanKernels{RunSpan<3, false>,
                       RunSpan<3, true>,
                       RunSpan<4, false>,
                       RunSpan<4, true>,
                       Fill24,
                       Fill32,
                       name};
}

}  // namespace
}  // namespace Zumeld::Kernels
