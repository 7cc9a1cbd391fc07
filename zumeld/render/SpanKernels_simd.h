// The vector span kernels, written once over a vector type and compiled once per
// instruction set (SpanKernels_sse2.cpp: 128-bit, eight pixels a step; SpanKernels_avx2.cpp:
// 256-bit, sixteen pixels a step). Everything here has internal linkage, so each including
// file keeps its own copy built for its own flags.
//
// The per-pixel values (blend t, fade weights, shading factor) are computed in 16-bit lanes,
// one pixel a lane, then spread to four lanes a pixel to meet the land texels, which load as
// B, G, R, 0 words of lo | hi << 8. Every intermediate stays below 65536 exactly as in the
// scalar loops, so 16-bit lanes give the same bytes:
//   t = min(255, (e x k) >> 15)     as the high half of (2e) x k
//   fade: q x (255 - f) + 160 f     and q x 256 (that is, q unchanged) where e < L
//   h = clamp((de x g) >> 11)       from the high and low halves of de x g
// Sea pixels take their sea texel bytes as they are (no tone).
#pragma once

#include <emmintrin.h>
#if defined(__SSSE3__)
#include <tmmintrin.h>
#endif
#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "zumeld/render/Kernels.h"

// The step functions are inlined into the span loop so their vectors stay in registers.
#if defined(__GNUC__) || defined(__clang__)
#define ZUMELD_STEP_INLINE inline __attribute__((always_inline))
#else
#define ZUMELD_STEP_INLINE inline
#endif

namespace Zumeld::Kernels {
namespace {

// Writes eight pixels given as B, G, R, X bytes in px[0] (pixels 0..3) and px[1]: B, G, R
// of each, the fourth byte of a 32-bit pixel kept.
template <int kBpp>
ZUMELD_STEP_INLINE void Store8(BYTE* dst, const __m128i px[2]) {
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
        const auto word = [](__m128i v) {
            return static_cast<std::uint64_t>(_mm_cvtsi128_si64(v));
        };
        const std::uint64_t x0 = pack(word(px[0])),
                            x1 = pack(word(_mm_unpackhi_epi64(px[0], px[0])));
        const std::uint64_t x2 = pack(word(px[1])),
                            x3 = pack(word(_mm_unpackhi_epi64(px[1], px[1])));
        const std::uint64_t w[3] = {x0 | x1 << 48, x1 >> 16 | x2 << 32, x2 >> 32 | x3 << 16};
        std::memcpy(dst, w, 24);
#endif
    }
}

// 128-bit lanes: eight pixels a step.
struct V128 {
    using R = __m128i;
    static constexpr int kPixels = 8;
    static R Set16(int v) { return _mm_set1_epi16(static_cast<short>(v)); }
    static R Load(const void* p) { return _mm_loadu_si128(static_cast<const R*>(p)); }
    static int MoveMask(R a) { return _mm_movemask_epi8(a); }
    static constexpr int kAllSet = 0xFFFF;
    template <int n>
    static R ShiftRight16(R a) {
        return _mm_srli_epi16(a, n);
    }
    template <int n>
    static R ShiftLeft16(R a) {
        return _mm_slli_epi16(a, n);
    }
    static R Add16(R a, R b) { return _mm_add_epi16(a, b); }
    static R Sub16(R a, R b) { return _mm_sub_epi16(a, b); }
    static R MulLo16(R a, R b) { return _mm_mullo_epi16(a, b); }
    static R MulHiU16(R a, R b) { return _mm_mulhi_epu16(a, b); }
    static R MulHi16(R a, R b) { return _mm_mulhi_epi16(a, b); }
    static R Min16(R a, R b) { return _mm_min_epi16(a, b); }
    static R Max16(R a, R b) { return _mm_max_epi16(a, b); }
    static R Eq16(R a, R b) { return _mm_cmpeq_epi16(a, b); }
    static R Gt16(R a, R b) { return _mm_cmpgt_epi16(a, b); }
    static R PackU8(R a, R b) { return _mm_packus_epi16(a, b); }
    static R Lo16(R a, R b) { return _mm_unpacklo_epi16(a, b); }
    static R Hi16(R a, R b) { return _mm_unpackhi_epi16(a, b); }
    static R Lo32(R a, R b) { return _mm_unpacklo_epi32(a, b); }
    static R Hi32(R a, R b) { return _mm_unpackhi_epi32(a, b); }
    static R And(R a, R b) { return _mm_and_si128(a, b); }
    static R AndNot(R a, R b) { return _mm_andnot_si128(a, b); }
    static R Or(R a, R b) { return _mm_or_si128(a, b); }
    // The land texels of spread group p (pixels 2p and 2p + 1).
    static R LoadTexels(const BYTE* land, int p) { return Load(land + 16 * p); }
    // Two results of the texel order (pixels 0..3, 4..7) put in pixel order.
    static void ToPixelOrder(R& a, R& b) {
        (void)a;
        (void)b;
    }
    template <int kBpp>
    ZUMELD_STEP_INLINE static void Store(BYTE* dst, const R px[2]) {
        Store8<kBpp>(dst, px);
    }
};

#if defined(__AVX2__)
// 256-bit lanes: sixteen pixels a step. The in-lane unpacks give spread group p the pixels
// 2p, 2p + 1 (low half) and 8 + 2p, 9 + 2p (high half); results are put back in order
// before they are stored.
struct V256 {
    using R = __m256i;
    static constexpr int kPixels = 16;
    static R Set16(int v) { return _mm256_set1_epi16(static_cast<short>(v)); }
    static R Load(const void* p) { return _mm256_loadu_si256(static_cast<const R*>(p)); }
    static int MoveMask(R a) { return _mm256_movemask_epi8(a); }
    static constexpr int kAllSet = -1;
    template <int n>
    static R ShiftRight16(R a) {
        return _mm256_srli_epi16(a, n);
    }
    template <int n>
    static R ShiftLeft16(R a) {
        return _mm256_slli_epi16(a, n);
    }
    static R Add16(R a, R b) { return _mm256_add_epi16(a, b); }
    static R Sub16(R a, R b) { return _mm256_sub_epi16(a, b); }
    static R MulLo16(R a, R b) { return _mm256_mullo_epi16(a, b); }
    static R MulHiU16(R a, R b) { return _mm256_mulhi_epu16(a, b); }
    static R MulHi16(R a, R b) { return _mm256_mulhi_epi16(a, b); }
    static R Min16(R a, R b) { return _mm256_min_epi16(a, b); }
    static R Max16(R a, R b) { return _mm256_max_epi16(a, b); }
    static R Eq16(R a, R b) { return _mm256_cmpeq_epi16(a, b); }
    static R Gt16(R a, R b) { return _mm256_cmpgt_epi16(a, b); }
    static R PackU8(R a, R b) { return _mm256_packus_epi16(a, b); }
    static R Lo16(R a, R b) { return _mm256_unpacklo_epi16(a, b); }
    static R Hi16(R a, R b) { return _mm256_unpackhi_epi16(a, b); }
    static R Lo32(R a, R b) { return _mm256_unpacklo_epi32(a, b); }
    static R Hi32(R a, R b) { return _mm256_unpackhi_epi32(a, b); }
    static R And(R a, R b) { return _mm256_and_si256(a, b); }
    static R AndNot(R a, R b) { return _mm256_andnot_si256(a, b); }
    static R Or(R a, R b) { return _mm256_or_si256(a, b); }
    static R LoadTexels(const BYTE* land, int p) {
        return _mm256_inserti128_si256(
            _mm256_castsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(land + 16 * p))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(land + 64 + 16 * p)), 1);
    }
    static void ToPixelOrder(R& a, R& b) {
        const R lo = _mm256_permute2x128_si256(a, b, 0x20),
                hi = _mm256_permute2x128_si256(a, b, 0x31);
        a = lo;
        b = hi;
    }
    template <int kBpp>
    ZUMELD_STEP_INLINE static void Store(BYTE* dst, const R px[2]) {
        for (int i = 0; i < 2; ++i) {
            const __m128i half[2] = {_mm256_castsi256_si128(px[i]),
                                     _mm256_extracti128_si256(px[i], 1)};
            Store8<kBpp>(dst + 8 * kBpp * i, half);
        }
    }
};
#endif

// The per-span constants, broadcast.
template <class V>
struct SpanVectors {
    typename V::R k, g, fadeBelow, fadeLine, notPaint;
    explicit SpanVectors(const SpanRun& r)
        : k(V::Set16(r.k)),
          g(V::Set16(r.g)),
          // fadeLine is in -512..32768: fadeLine - 1 fits, and fadeLine itself is only used
          // (modulo 2^16) in lanes where e >= fadeLine.
          fadeBelow(V::Set16(r.fadeLine - 1)),
          fadeLine(V::Set16(r.fadeLine)),
          notPaint(V::Set16(r.paint ? 0 : -1)) {}
};

// One value a pixel spread to four lanes a pixel, for spread group p (0..3) of the halves
// lo = Lo16(v, v) and hi = Hi16(v, v).
template <class V, int p>
inline typename V::R Spread(typename V::R lo, typename V::R hi) {
    if constexpr (p == 0) return V::Lo32(lo, lo);
    if constexpr (p == 1) return V::Hi32(lo, lo);
    if constexpr (p == 2) return V::Lo32(hi, hi);
    return V::Hi32(hi, hi);
}

template <class V>
struct Halves {
    typename V::R lo, hi;
    explicit Halves(typename V::R v) : lo(V::Lo16(v, v)), hi(V::Hi16(v, v)) {}
    template <int p>
    typename V::R Group() const {
        return Spread<V, p>(lo, hi);
    }
};

template <class V, int kTone>
inline typename V::R Tone(typename V::R q) {
    const typename V::R c255 = V::Set16(255);
    if constexpr (kTone == 1) return V::Sub16(q, V::template ShiftRight16<1>(q));
    if constexpr (kTone == 2) return V::Sub16(q, V::template ShiftRight16<2>(q));
    if constexpr (kTone == 3) return V::Min16(V::Add16(q, V::template ShiftRight16<1>(q)), c255);
    if constexpr (kTone == 4)
        return V::Min16(
            V::Add16(V::Sub16(q, V::template ShiftRight16<2>(q)), V::template ShiftRight16<1>(q)),
            c255);
    return q;
}

template <class V, int kTone>
inline void ToneAll(typename V::R q[4]) {
    for (int p = 0; p < 4; ++p) q[p] = Tone<V, kTone>(q[p]);
}

// The land colour of spread group p: mixing, fading (kFade: some pixel of the step fades),
// shading.
template <class V, bool kShade, bool kFade, int p>
ZUMELD_STEP_INLINE typename V::R LandGroup(const BYTE* land, const Halves<V>& t,
                                           const Halves<V>& w1, const Halves<V>& w2,
                                           const Halves<V>& h) {
    using R = typename V::R;
    const R c255 = V::Set16(255);
    const R tex = V::LoadTexels(land, p);
    const R lo = V::And(tex, V::Set16(0xFF)), hi = V::template ShiftRight16<8>(tex);
    const R tp = t.template Group<p>();
    R x = V::template ShiftRight16<8>(
        V::Add16(V::MulLo16(lo, V::Sub16(c255, tp)), V::MulLo16(hi, tp)));
    if constexpr (kFade)
        x = V::template ShiftRight16<8>(
            V::Add16(V::MulLo16(x, w1.template Group<p>()), w2.template Group<p>()));
    if constexpr (kShade)
        x = V::Min16(V::template ShiftRight16<7>(V::MulLo16(x, h.template Group<p>())), c255);
    return x;
}

// The four spread groups of a step. The halves a path does not use are never formed.
template <class V, bool kShade, bool kFade>
ZUMELD_STEP_INLINE void LandGroups(const BYTE* land, typename V::R t, typename V::R w1,
                                   typename V::R w2, typename V::R h, typename V::R q[4]) {
    const Halves<V> T(t), W1(w1), W2(w2), H(h);
    q[0] = LandGroup<V, kShade, kFade, 0>(land, T, W1, W2, H);
    q[1] = LandGroup<V, kShade, kFade, 1>(land, T, W1, W2, H);
    q[2] = LandGroup<V, kShade, kFade, 2>(land, T, W1, W2, H);
    q[3] = LandGroup<V, kShade, kFade, 3>(land, T, W1, W2, H);
}

// One step of pixels as B, G, R, X bytes (X undefined), in pixel order in out[0], out[1].
// eRaw and nRaw: the raw elevations and shading neighbours; land: 8 bytes a pixel, sea: 4.
template <class V, bool kShade>
ZUMELD_STEP_INLINE void PixelStep(const SpanVectors<V>& v, int tone, typename V::R eRaw,
                                  typename V::R nRaw, const BYTE* land, const BYTE* sea,
                                  typename V::R out[2]) {
    using R = typename V::R;
    const R zero = V::Set16(0);
    const R c255 = V::Set16(255);
    const R e = V::Max16(eRaw, zero);
    const R seaMask = V::And(V::Eq16(e, zero), v.notPaint);
    const int seaBits = V::MoveMask(seaMask);
    if (seaBits == V::kAllSet) {
        out[0] = V::Load(sea);
        out[1] = V::Load(sea + sizeof(R));
        return;
    }

    const R t = V::Min16(V::MulHiU16(V::Add16(e, e), v.k), c255);
    const R fading = V::Gt16(e, v.fadeBelow);
    const bool fade = V::MoveMask(fading) != 0;
    const R f = V::Min16(V::template ShiftRight16<1>(V::Sub16(e, v.fadeLine)), c255);
    const R w1 = V::Sub16(V::Set16(256), V::And(V::Add16(f, V::Set16(1)), fading));
    const R w2 = V::And(V::MulLo16(f, V::Set16(160)), fading);
    R hv = zero;
    if constexpr (kShade) {
        const R de = V::Sub16(V::Max16(nRaw, zero), e);
        const R hi = V::Min16(V::Max16(V::MulHi16(de, v.g), V::Set16(-5)), V::Set16(4));
        const R lo = V::template ShiftRight16<11>(V::MulLo16(de, v.g));
        const R h = V::Add16(V::template ShiftLeft16<5>(hi), lo);
        hv = V::Add16(V::Min16(V::Max16(h, V::Set16(-128)), V::Set16(127)), V::Set16(128));
    } else {
        (void)nRaw;
    }
    R q[4];
    if (fade)
        LandGroups<V, kShade, true>(land, t, w1, w2, hv, q);
    else
        LandGroups<V, kShade, false>(land, t, w1, w2, hv, q);
    switch (tone) {
        case 1:
            ToneAll<V, 1>(q);
            break;
        case 2:
            ToneAll<V, 2>(q);
            break;
        case 3:
            ToneAll<V, 3>(q);
            break;
        case 4:
            ToneAll<V, 4>(q);
            break;
        default:
            break;
    }
    out[0] = V::PackU8(q[0], q[1]);
    out[1] = V::PackU8(q[2], q[3]);
    V::ToPixelOrder(out[0], out[1]);
    if (seaBits != 0) {
        R m0 = V::Lo16(seaMask, seaMask), m1 = V::Hi16(seaMask, seaMask);
        V::ToPixelOrder(m0, m1);
        out[0] = V::Or(V::And(m0, V::Load(sea)), V::AndNot(m0, out[0]));
        out[1] = V::Or(V::And(m1, V::Load(sea + sizeof(R))), V::AndNot(m1, out[1]));
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

// The shading neighbours of columns x .. x + count - 1 (at most one step), clamped as the
// scalar loop clamps them; lanes past count are 0.
template <class V>
inline typename V::R Neighbours(const SpanRun& r, int x, int count) {
    const std::int64_t first = std::int64_t{x} + r.d;
    if (count == V::kPixels && first + V::kPixels - 1 <= r.lastColumn)
        return V::Load(r.below + first);
    alignas(32) short n[V::kPixels] = {};
    for (int i = 0; i < count; ++i) n[i] = r.below[std::min<std::int64_t>(first + i, r.lastColumn)];
    return V::Load(n);
}

template <class V, int kBpp, bool kShade>
void RunSpan(const SpanRun& r) {
    using R = typename V::R;
    constexpr int kStep = V::kPixels;
    const SpanVectors<V> v(r);
    const int tone = r.tone;
    alignas(32) BYTE landBuf[8 * kStep];
    alignas(32) BYTE seaBuf[4 * kStep];
    // A one-texel source (the flat colour) is the same for every step.
    const bool oneTexel = r.rowBytes == 4;
    if (oneTexel) GatherTexels(r, 0, kStep, landBuf, seaBuf);
    int x = r.left;
    int u = r.u;
    BYTE* dst = r.dst;
    R px[2];
    R n = V::Set16(0);
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
        if constexpr (kShade) n = Neighbours<V>(r, x, kStep);
        PixelStep<V, kShade>(v, tone, V::Load(r.row + x), n, land, sea, px);
        V::template Store<kBpp>(dst, px);
    }
    const int count = r.right - x + 1;
    if (count <= 0) return;
    // The last few pixels through local copies; only they are written.
    alignas(32) short e[kStep] = {};
    std::memcpy(e, r.row + x, static_cast<std::size_t>(count) * sizeof(short));
    if (!oneTexel) GatherTexels(r, u, count, landBuf, seaBuf);
    if constexpr (kShade) n = Neighbours<V>(r, x, count);
    PixelStep<V, kShade>(v, tone, V::Load(e), n, landBuf, seaBuf, px);
    alignas(32) BYTE out[4 * kStep];
    std::memcpy(out, px, sizeof px);
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

template <class V>
constexpr SpanKernels MakeSpanKernels(const char* name) {
    return SpanKernels{RunSpan<V, 3, false>,
                       RunSpan<V, 3, true>,
                       RunSpan<V, 4, false>,
                       RunSpan<V, 4, true>,
                       Fill24,
                       Fill32,
                       name};
}

}  // namespace
}  // namespace Zumeld::Kernels
