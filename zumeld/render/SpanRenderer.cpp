// The span renderer: set-up and the scalar reference kernel.
//
// Fixed-point rules used below (all exact integer arithmetic):
//   mixing  q = (lo x (255 - t) + hi x t) >> 8, t = min(255, (e x k) >> 15)  (q <= 254)
//   fading  q = (q x (255 - f) + 160 x f) >> 8, f = min(255, (e - L) >> 1), only when e >= L
//   shading q = min(255, (q x (h + 128)) >> 7), h = clamp(((e' - e) x g) >> 11, -128, 127)
//   fade line L = acc >> 12 with acc = base + step x y in 12-bit fixed point; >> on a
//   negative value rounds toward minus infinity.
#include "zumeld/render/SpanRenderer.h"
#include "zumeld/util/ThreadPool_p.h"

#include "zumeld/render/Kernels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace Zumeld {

namespace {

// Beyond these magnitudes the fade line lies so far from every elevation (0..32767) that
// only its sign matters; clamping keeps the 64-bit row arithmetic from overflowing.
constexpr std::int64_t kFadeLimit = std::int64_t{1} << 40;
constexpr std::int64_t kFadeFixedLimit = kFadeLimit << 12;

// Remainder toward minus infinity: always in 0 .. m - 1 for m >= 1.
std::int64_t FloorMod(std::int64_t a, std::int64_t m) {
    std::int64_t r = a % m;
    return r < 0 ? r + m : r;
}

// trunc(x) as a 64-bit integer, x clamped to +-limit first (NaN gives 0).
std::int64_t TruncClamped(double x, std::int64_t limit) {
    if (!(x == x)) return 0;
    const double l = static_cast<double>(limit);
    if (x >= l) return limit;
    if (x <= -l) return -limit;
    return static_cast<std::int64_t>(x);
}

// Elevations are drawn from 0 up; a negative one is sea.
inline int ElevationAt(const short* row, int x) {
    int e = row[x];
    return e < 0 ? 0 : e;
}

struct ToneTable {
    BYTE v[256];
    explicit ToneTable(int tone) {
        for (int p = 0; p < 256; ++p) v[p] = static_cast<BYTE>(ApplyTone(tone, p));
    }
};

// The clipped part of one span: row y, columns left..right; false when nothing is left.
bool ClipSpan(const tagHorzLine& line, int width, int height, int& y, int& left, int& right) {
    y = line.y;
    if (y < 0 || y >= height) return false;
    left = std::max<int>(line.left, 0);
    right = std::min<int>(line.right, width - 1);
    return left <= right;
}

// Everything the textured path needs per call, in the form the pixel loop reads.
struct TexturedCall {
    const short* cells;
    int stride;
    int lastColumn;  // bufferWidth - 1: the shading neighbour's column is clamped to it
    int lastRow;     // bufferHeight - 1
    const BYTE* land;
    const BYTE* sea;
    int rowBytes;
    int texRows;  // planeSize / rowBytes
    int d, g, k;
    bool paint;
    const BYTE* tone;
    int toneIndex;  // 0..4
};

// Where one span starts: texture row and column, fade line, grid rows. Computed from the
// span's own row, so spans may come in any order.
struct SpanStart {
    const short* row;    // elevations of the span's row
    const short* below;  // the row d below, clamped to the grid
    const BYTE* seaRow;
    const BYTE* landRow;
    std::int64_t fadeLine;
    int u;  // byte offset of the first pixel's texel in the 4-byte texel space
};

SpanStart StartOf(const TexturedCall& c, const SpanParams& p, int y, int left) {
    SpanStart s;
    const int v =
        static_cast<int>(FloorMod(p.origin.row0 + static_cast<std::int64_t>(y), c.texRows)) *
        c.rowBytes;
    s.fadeLine = (p.fadeBase + p.fadeStep * y) >> 12;  // rounds toward minus infinity
    s.u = static_cast<int>(
              FloorMod(p.origin.u0 / 4 + static_cast<std::int64_t>(left), c.rowBytes / 4)) *
          4;
    s.row = c.cells + static_cast<std::ptrdiff_t>(y) * c.stride;
    s.below = c.cells + static_cast<std::ptrdiff_t>(std::min(y + c.d, c.lastRow)) * c.stride;
    s.seaRow = c.sea + v;
    s.landRow = c.land + 2 * static_cast<std::ptrdiff_t>(v);
    return s;
}

// Walks one span: sea pixels take their sea texel; every other pixel goes to
// land(e, x, landTexel, dst). The texture column advances by 4 bytes and wraps.
template <int kBytesPerPixel, class LandPixel>
void WalkSpan(const TexturedCall& c, const SpanStart& s, int left, int right, BYTE* dst,
              LandPixel land) {
    int u = s.u;
    for (int x = left; x <= right; ++x, dst += kBytesPerPixel) {
        const int e = ElevationAt(s.row, x);
        if (e == 0 && !c.paint) {
            const BYTE* sea = s.seaRow + u;
            dst[0] = sea[0];
            dst[1] = sea[1];
            dst[2] = sea[2];
        } else {
            land(e, x, s.landRow + 2 * u, dst);
        }
        u += 4;
        if (u == c.rowBytes) u = 0;
    }
}

// The shading factor h + 128 (0..255) of cell x against its neighbour d down and right.
inline int ShadeFactor(const TexturedCall& c, const SpanStart& s, int e, int x) {
    const int e2 = ElevationAt(s.below, std::min(x + c.d, c.lastColumn));
    return std::clamp(((e2 - e) * c.g) >> 11, -128, 127) + 128;
}

// The reference land pixel: one channel at a time, exactly as the formulas read.
struct ReferenceLoop {
    template <int kBytesPerPixel, bool kShade>
    static void Run(const TexturedCall& c, const SpanStart& s, int left, int right, BYTE* dst) {
        WalkSpan<kBytesPerPixel>(
            c, s, left, right, dst, [&](int e, int x, const BYTE* l, BYTE* out) {
                const int t = std::min(255, (e * c.k) >> 15);
                int q[3];
                for (int ch = 0; ch < 3; ++ch)
                    q[ch] = (l[2 * ch] * (255 - t) + l[2 * ch + 1] * t) >> 8;
                if (e >= s.fadeLine) {
                    const int f =
                        static_cast<int>(std::min<std::int64_t>(255, (e - s.fadeLine) >> 1));
                    for (int& v : q) v = (v * (255 - f) + 160 * f) >> 8;
                }
                if constexpr (kShade) {
                    const int h = ShadeFactor(c, s, e, x);
                    for (int& v : q) v = std::min(255, (v * h) >> 7);
                }
                for (int ch = 0; ch < 3; ++ch) out[ch] = c.tone[q[ch]];
            });
    }
};

// The packed land pixel: B, G and R in three 16-bit lanes of one 64-bit word, as the land
// texel layout allows (lo.B hi.B | lo.G hi.G | lo.R hi.R | 0 0). Every intermediate of
// the formulas stays below 65536 (the mixing and fading weights add up to 255, the shading
// product is at most 254 x 255), so lanes never carry into each other; each shift is
// followed by a mask that drops the bits shifted in from the lane above.
struct PackedLoop {
    static constexpr std::uint64_t kLow8 = 0x000000FF00FF00FFull;  // 8 bits in lanes 0..2
    static constexpr std::uint64_t kLow9 = 0x000001FF01FF01FFull;  // 9 bits in lanes 0..2
    static constexpr std::uint64_t kOnes = 0x0000000100010001ull;  // 1 in lanes 0..2
    static constexpr std::uint64_t kBit8 = kOnes << 8;
    static_assert(std::endian::native == std::endian::little,
                  "the land texel is read as one little-endian 64-bit word");

    template <int kBytesPerPixel, bool kShade>
    static void Run(const TexturedCall& c, const SpanStart& s, int left, int right, BYTE* dst) {
        const bool toned = c.tone != nullptr;
        WalkSpan<kBytesPerPixel>(
            c, s, left, right, dst, [&](int e, int x, const BYTE* l, BYTE* out) {
                const auto t = static_cast<std::uint64_t>(std::min(255, (e * c.k) >> 15));
                std::uint64_t texel;
                std::memcpy(&texel, l, 8);
                std::uint64_t q =
                    (((texel & kLow8) * (255 - t) + ((texel >> 8) & kLow8) * t) >> 8) & kLow8;
                if (e >= s.fadeLine) {
                    const auto f = static_cast<std::uint64_t>(
                        std::min<std::int64_t>(255, (e - s.fadeLine) >> 1));
                    q = ((q * (255 - f) + 160 * f * kOnes) >> 8) & kLow8;
                }
                if constexpr (kShade) {
                    const auto h = static_cast<std::uint64_t>(ShadeFactor(c, s, e, x));
                    q = ((q * h) >> 7) & kLow9;  // up to 508: bit 8 set means above 255
                    q = (q | ((q & kBit8) >> 8) * 0xFF) & kLow8;
                }
                const auto q0 = static_cast<BYTE>(q), q1 = static_cast<BYTE>(q >> 16),
                           q2 = static_cast<BYTE>(q >> 32);
                out[0] = toned ? c.tone[q0] : q0;
                out[1] = toned ? c.tone[q1] : q1;
                out[2] = toned ? c.tone[q2] : q2;
            });
    }
};

// The vector kernels chosen at start-up, one call a span.
struct VectorLoop {
    const Kernels::SpanKernels* kernels;

    template <int kBytesPerPixel, bool kShade>
    void Run(const TexturedCall& c, const SpanStart& s, int left, int right, BYTE* dst) const {
        Kernels::SpanRun r;
        r.row = s.row;
        r.below = s.below;
        r.landRow = s.landRow;
        r.seaRow = s.seaRow;
        r.dst = dst;
        r.left = left;
        r.right = right;
        r.u = s.u;
        r.rowBytes = c.rowBytes;
        r.lastColumn = c.lastColumn;
        r.d = c.d;
        r.g = c.g;
        r.k = c.k;
        // Elevations are 0..32767: a line below -512 fades every pixel fully, one above
        // 32767 fades none.
        r.fadeLine = static_cast<int>(std::clamp<std::int64_t>(s.fadeLine, -512, 32768));
        r.tone = c.toneIndex;
        r.paint = c.paint;
        const Kernels::SpanFn fn = kBytesPerPixel == 3
                                       ? (kShade ? kernels->shaded24 : kernels->plain24)
                                       : (kShade ? kernels->shaded32 : kernels->plain32);
        fn(r);
    }
    Kernels::FillFn Fill(int bytesPerPixel) const {
        return bytesPerPixel == 3 ? kernels->fill24 : kernels->fill32;
    }
};

template <class Loop, int kBytesPerPixel, bool kShade>
void TexturedSpans(const Loop& loop, const TexturedCall& c, const SpanParams& p,
                   const DisplayGridView& grid, const tagHorzLine* lines, int nLines,
                   const PixelSurface& target) {
    const int width = std::min(grid.width, target.width);
    const int height = std::min(grid.height, target.height);
    for (int i = 0; i < nLines; ++i) {
        int y, left, right;
        if (!ClipSpan(lines[i], width, height, y, left, right)) continue;
        loop.template Run<kBytesPerPixel, kShade>(c, StartOf(c, p, y, left), left, right,
                                                  target.Pixel(left, y));
    }
}

// fill: a vector fill of one span, or null for the byte loop.
void FlatSpans(Kernels::FillFn fill, const SpanParams& p, const DisplayGridView& grid,
               const tagHorzLine* lines, int nLines, const PixelSurface& target) {
    const BYTE b = static_cast<BYTE>(ApplyTone(p.tone, GetBValue(p.color)));
    const BYTE g = static_cast<BYTE>(ApplyTone(p.tone, GetGValue(p.color)));
    const BYTE r = static_cast<BYTE>(ApplyTone(p.tone, GetRValue(p.color)));
    const int width = std::min(grid.width, target.width);
    const int height = std::min(grid.height, target.height);
    for (int i = 0; i < nLines; ++i) {
        int y, left, right;
        if (!ClipSpan(lines[i], width, height, y, left, right)) continue;
        BYTE* dst = target.Pixel(left, y);
        if (fill != nullptr) {
            fill(dst, right - left + 1, b, g, r);
            continue;
        }
        for (int x = left; x <= right; ++x, dst += target.bytesPerPixel) {
            dst[0] = b;
            dst[1] = g;
            dst[2] = r;
        }
    }
}

bool GridIsUsable(const DisplayGridView& g) {
    return g.cells != nullptr && g.width >= 1 && g.height >= 1 && g.width <= g.bufferWidth &&
           g.bufferWidth <= g.stride && g.height <= g.bufferHeight;
}

}  // namespace

// ---- Texture slots ----------------------------------------------------------------------------

bool TexturePlanes::IsLive() const {
    return land != nullptr && sea != nullptr && rowBytes >= 4 && rowBytes % 4 == 0 &&
           planeSize >= rowBytes && planeSize % rowBytes == 0;
}

TexturePlanes PlanesOf(const tagTEXTURE_SLOT& slot) {
    TexturePlanes p;
    // A slot is only addressable when its sizes agree with each other (as AddTexture makes
    // them); the block then holds 3 x planeSize bytes.
    if (slot.pLandPixels == nullptr || slot.pSeaPixels == nullptr || slot.nWidth < 1 ||
        slot.nHeight < 1 || slot.nRowBytes != slot.nWidth * 4 ||
        static_cast<std::int64_t>(slot.nPlaneSize) !=
            static_cast<std::int64_t>(slot.nRowBytes) * slot.nHeight)
        return p;
    p.land = slot.pLandPixels.get();
    p.sea = slot.pSeaPixels;
    p.rowBytes = slot.nRowBytes;
    p.planeSize = slot.nPlaneSize;
    return p;
}

const tagTEXTURE_SLOT* FindLiveSlot(const tagTEXTURE_SLOT* slots, const bool* fourSeasons,
                                    int setCount, int set, int season) {
    if (slots == nullptr || fourSeasons == nullptr || set < 0 || set >= setCount) return nullptr;
    int s = 0;
    if (fourSeasons[set]) {
        if (season < 0 || season > 3) return nullptr;
        s = season;
    }
    const tagTEXTURE_SLOT& slot = slots[set * 4 + s];
    return PlanesOf(slot).IsLive() ? &slot : nullptr;
}

TextureOrigin MakeTextureOrigin(double scale, int stretchLeft, int stretchTop, int rowBytes,
                                int planeSize) {
    TextureOrigin o;
    if (rowBytes < 4 || rowBytes % 4 != 0 || planeSize < rowBytes || planeSize % rowBytes != 0)
        return o;
    // trunc toward zero, as the texture is anchored to map cell (0, 0).
    constexpr std::int64_t kLimit = std::int64_t{1} << 62;
    const std::int64_t column = TruncClamped(stretchLeft * scale, kLimit);
    const std::int64_t row = TruncClamped(stretchTop * scale, kLimit);
    o.u0 = static_cast<int>(FloorMod(column, rowBytes / 4)) * 4;
    o.row0 = static_cast<int>(FloorMod(row, planeSize / rowBytes));
    return o;
}

// ---- Set-up -------------------------------------------------------------------------------------

SpanParams MakeSpanParams(const SpanSetup& in, const tagTEXTURE_SLOT& slot) {
    SpanParams p;
    const double s = in.scale;
    if (!(s > 0.0) || !std::isfinite(s) || in.mapHeight < 1 || !PlanesOf(slot).IsLive()) return p;
    p.tone = in.tone;
    p.shade = in.shade;
    p.texture = in.texture;
    p.color = in.color;
    p.paint = in.paint;

    // Shading distance and gain, in double precision.
    const double relief = static_cast<double>(std::max(1, in.reliefLevel));
    if (in.shade) {
        if (s <= 1.0) {
            p.shadeDistance = 1;
            p.shadeGain = static_cast<int>(768.0 * s / relief);
        } else {
            const double d = std::min(std::trunc(s), 2147483647.0);
            p.shadeDistance = static_cast<int>(d);
            p.shadeGain = static_cast<int>(s / d * 768.0 / relief);
        }
    }

    // Colour source: the slot's planes, or one flat texel (Wb = Sb = 4).
    p.rowBytes = in.texture ? slot.nRowBytes : 4;
    p.planeSize = in.texture ? slot.nPlaneSize : 4;
    p.origin = MakeTextureOrigin(s, in.stretchLeft, in.stretchTop, p.rowBytes, p.planeSize);

    p.blendK = std::min(32767, 8388608 / std::max(1, slot.nBlendElevation));

    // Fade line: base with integer division truncating toward zero; step wholly in double
    // (the difference converted before the first division), truncated toward zero.
    const std::int64_t top = slot.nFadeLineTop;
    const std::int64_t delta = static_cast<std::int64_t>(slot.nFadeLineBottom) - top;
    const std::int64_t line = top + (delta * in.stretchTop) / in.mapHeight;
    p.fadeBase = std::clamp(line, -kFadeLimit, kFadeLimit) * 4096;
    p.fadeStep =
        TruncClamped(static_cast<double>(delta) / in.mapHeight / s * 4096.0, kFadeFixedLimit);
    p.valid = true;
    return p;
}

int ApplyTone(int tone, int p) {
    switch (tone) {
        case 1:
            return p - p / 2;
        case 2:
            return p - p / 4;
        case 3:
            return std::min(255, p + p / 2);
        case 4:
            return std::min(255, p - p / 4 + p / 2);
        default:
            return p;
    }
}

// ---- Kernel -------------------------------------------------------------------------------------

namespace {

// Checks the inputs, draws the flat path, or prepares the textured path and runs `Loop`.
template <class Loop>
void Render(const Loop& loop, const DisplayGridView& grid, const TexturePlanes& planes,
            const SpanParams& p, const tagHorzLine* lines, int nLines, const PixelSurface& target) {
    if (!p.valid || lines == nullptr || nLines <= 0 || !GridIsUsable(grid) ||
        !target.IsDrawable() || !planes.IsLive())
        return;
    if (p.paint && !p.shade && !p.texture) {
        Kernels::FillFn fill = nullptr;
        if constexpr (std::is_same_v<Loop, VectorLoop>) fill = loop.Fill(target.bytesPerPixel);
        FlatSpans(fill, p, grid, lines, nLines, target);
        return;
    }
    // The colour source must fit in the slot's planes.
    if (p.rowBytes < 4 || p.rowBytes % 4 != 0 || p.planeSize < p.rowBytes ||
        p.planeSize % p.rowBytes != 0 || p.planeSize > planes.planeSize ||
        p.rowBytes > planes.rowBytes || p.origin.u0 < 0 || p.origin.u0 >= p.rowBytes ||
        p.origin.u0 % 4 != 0)
        return;

    const ToneTable tone(p.tone);
    const BYTE b = GetBValue(p.color), g = GetGValue(p.color), r = GetRValue(p.color);
    const BYTE flat[8] = {b, b, g, g, r, r, 0, 0};
    TexturedCall c;
    c.cells = grid.cells;
    c.stride = grid.stride;
    c.lastColumn = grid.bufferWidth - 1;
    c.lastRow = grid.bufferHeight - 1;
    c.land = p.texture ? planes.land : flat;
    c.sea = planes.sea;
    c.rowBytes = p.rowBytes;
    c.texRows = p.planeSize / p.rowBytes;
    // Past the grid's extent the neighbour is clamped anyway; the caps keep x + d and
    // (e' - e) x g inside int.
    c.d = p.shade ? std::clamp(p.shadeDistance, 0, 1 << 24) : 0;
    c.g = p.shade ? std::clamp(p.shadeGain, 0, 32767) : 0;
    c.k = std::clamp(p.blendK, 0, 32767);
    c.paint = p.paint;
    // Tones 1..4 go through the table; tone 0 (and every other value) leaves q as it is,
    // which the packed loop knows from a null table.
    const bool toned = p.tone >= 1 && p.tone <= 4;
    c.tone = toned || std::is_same_v<Loop, ReferenceLoop> ? tone.v : nullptr;
    c.toneIndex = toned ? p.tone : 0;

    // With d = 0 the shading factor is 1 (h = 0): the unshaded loop gives the same bytes.
    const bool shade = c.d > 0;
    if (target.bytesPerPixel == 3) {
        if (shade)
            TexturedSpans<Loop, 3, true>(loop, c, p, grid, lines, nLines, target);
        else
            TexturedSpans<Loop, 3, false>(loop, c, p, grid, lines, nLines, target);
    } else {
        if (shade)
            TexturedSpans<Loop, 4, true>(loop, c, p, grid, lines, nLines, target);
        else
            TexturedSpans<Loop, 4, false>(loop, c, p, grid, lines, nLines, target);
    }
}

}  // namespace

void RenderSpansReference(const DisplayGridView& grid, const TexturePlanes& planes,
                          const SpanParams& p, const tagHorzLine* lines, int nLines,
                          const PixelSurface& target) {
    Render(ReferenceLoop{}, grid, planes, p, lines, nLines, target);
}

void RenderSpans(const DisplayGridView& grid, const TexturePlanes& planes, const SpanParams& p,
                 const tagHorzLine* lines, int nLines, const PixelSurface& target) {
    const Kernels::SpanKernels* kernels = Kernels::ActiveSpanKernels();
    auto draw = [&](const tagHorzLine* first, int n) {
        if (kernels != nullptr)
            Render(VectorLoop{kernels}, grid, planes, p, first, n, target);
        else
            Render(PackedLoop{}, grid, planes, p, first, n, target);
    };
    // Spans in row order are split into parts between rows, so each part writes its own
    // picture rows and the pixels do not depend on the split; other lists run on one thread.
    bool inRowOrder = lines != nullptr && nLines > 0;
    for (int i = 1; inRowOrder && i < nLines; ++i) inRowOrder = lines[i - 1].y <= lines[i].y;
    const int parts = inRowOrder ? PartCount(std::int64_t{nLines} * target.width, 1 << 16) : 1;
    if (parts <= 1) {
        draw(lines, nLines);
        return;
    }
    // Part i starts at the first span of a new row at or after its even share.
    auto start = [&](int i) {
        int k = static_cast<int>(PartRange(nLines, parts, i).first);
        while (k > 0 && k < nLines && lines[k].y == lines[k - 1].y) ++k;
        return k;
    };
    RunParts(parts, [&](int i) {
        const int first = start(i), last = start(i + 1);
        if (last > first) draw(lines + first, last - first);
    });
}

}  // namespace Zumeld
