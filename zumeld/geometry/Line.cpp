// Line drawing. The line is walked along its major axis (rows for a steep line, columns for
// a shallow one) with k = 0 .. len steps from its upper end A; the minor coordinate after k
// steps is floor((k * num + bias) / den):
//   steep   (dy >= |dx|): column offset, num = |dx|, den = dy,  bias = dy div 2
//           = floor((2k|dx| + dy) / (2dy)), nearest column, halves away from A;
//   shallow (dy < |dx|):  row offset,    num = dy,  den = |dx|, bias = (|dx| - 1) div 2
//           = floor((2k dy + |dx| - 1) / (2|dx|)), nearest row, halves toward A.
// The offset never decreases, so the visible part is one range of k, found with one
// multiplication and one division per clip edge; only visible pixels are stepped over.
// All products stay below 2^64 for any 32-bit coordinates.
#include "zumeld/geometry/Line.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/geometry/Dda_p.h"

namespace Zumeld {

namespace {

using std::int64_t;
using std::uint64_t;

// The walk of one line: the major axis moves majorSign per step, the minor axis by the
// offset floor((k * num + bias) / den), which ends at num when k = den.
struct LineWalk {
    int64_t major0, minor0;  // coordinates of A on the major and minor axis
    int majorSign, minorSign;
    uint64_t num, den, bias;
};

// The smallest k in 0 .. den whose minor offset is at least c; den + 1 when there is none.
uint64_t FirstStepReaching(const LineWalk& w, int64_t c) {
    if (c <= 0) return 0;
    if (static_cast<uint64_t>(c) > w.num) return w.den + 1;
    // k * num + bias >= c * den; c <= num keeps c * den below 2^64.
    const uint64_t need = static_cast<uint64_t>(c) * w.den - w.bias;
    return (need + w.num - 1) / w.num;
}

// The range of steps k whose coordinate major0 + sign * k, or minor0 + sign * offset(k),
// lies in 0 .. limit - 1, intersected with [lo, hi].
void ClipSteps(int64_t origin, int sign, int64_t limit, int64_t& lo, int64_t& hi) {
    const int64_t first = sign > 0 ? -origin : origin - (limit - 1);
    const int64_t last = sign > 0 ? limit - 1 - origin : origin;
    lo = std::max(lo, first);
    hi = std::min(hi, last);
}

}  // namespace

void DrawLine(const PixelSurface& target, int clipWidth, int clipHeight, tagPOINT p1, tagPOINT p2,
              unsigned long color) {
    if (!target.IsDrawable()) return;
    const int64_t width = std::min(clipWidth, target.width);
    const int64_t height = std::min(clipHeight, target.height);
    if (width <= 0 || height <= 0) return;

    // A is the upper end (p1 on a tie).
    const tagPOINT a = p2.y < p1.y ? p2 : p1;
    const tagPOINT b = p2.y < p1.y ? p1 : p2;
    const int64_t dx = int64_t{b.x} - a.x;
    const int64_t dy = int64_t{b.y} - a.y;
    const int sx = dx < 0 ? -1 : 1;
    const uint64_t adx = static_cast<uint64_t>(dx < 0 ? -dx : dx);
    const uint64_t udy = static_cast<uint64_t>(dy);
    const bool steep = udy >= adx;

    LineWalk w{};
    int64_t majorLimit, minorLimit;
    std::ptrdiff_t majorBytes, minorBytes;
    const std::ptrdiff_t columnBytes = sx * target.bytesPerPixel;
    if (steep) {
        w = LineWalk{a.y, a.x, 1, sx, adx, udy, udy / 2};
        majorLimit = height;
        minorLimit = width;
        majorBytes = target.rowStep;
        minorBytes = columnBytes;
    } else {
        w = LineWalk{a.x, a.y, sx, 1, udy, adx, (adx - 1) / 2};
        majorLimit = width;
        minorLimit = height;
        majorBytes = columnBytes;
        minorBytes = target.rowStep;
    }
    if (w.den == 0) w.den = 1;  // a single point: k = 0 only

    // Visible steps: the major coordinate in range, then the minor offset in range.
    int64_t kFirst = 0, kLast = static_cast<int64_t>(udy >= adx ? udy : adx);
    ClipSteps(w.major0, w.majorSign, majorLimit, kFirst, kLast);
    int64_t offsetLo = std::numeric_limits<int64_t>::min(),
            offsetHi = std::numeric_limits<int64_t>::max();
    ClipSteps(w.minor0, w.minorSign, minorLimit, offsetLo, offsetHi);
    if (kFirst > kLast || offsetLo > offsetHi) return;
    kFirst = std::max<int64_t>(kFirst, static_cast<int64_t>(FirstStepReaching(w, offsetLo)));
    if (offsetHi < static_cast<int64_t>(w.num))
        kLast =
            std::min<int64_t>(kLast, static_cast<int64_t>(FirstStepReaching(w, offsetHi + 1)) - 1);
    if (kFirst > kLast) return;

    // Jump to the first visible step, then step pixel by pixel.
    detail::Dda d = detail::Dda::Start(w.num, w.den, w.bias);
    d.Advance(static_cast<uint64_t>(kFirst));
    const int64_t major = w.major0 + w.majorSign * kFirst;
    const int64_t minor = w.minor0 + w.minorSign * d.pos;
    const int x = static_cast<int>(steep ? minor : major);
    const int y = static_cast<int>(steep ? major : minor);
    std::ptrdiff_t offset = target.Pixel(x, y) - target.topRow;
    const BYTE red = static_cast<BYTE>(color & 0xFF);
    const BYTE green = static_cast<BYTE>((color >> 8) & 0xFF);
    const BYTE blue = static_cast<BYTE>((color >> 16) & 0xFF);
    uint64_t rem = d.rem;
    for (int64_t n = kLast - kFirst; n >= 0; --n) {
        BYTE* p = target.topRow + offset;
        p[0] = blue;
        p[1] = green;
        p[2] = red;
        offset += majorBytes;
        rem += w.num;  // num <= den: at most one carry per step
        if (rem >= w.den) {
            rem -= w.den;
            offset += minorBytes;
        }
    }
}

void CCtrlElvMap::DrawLineOnBitmapBuffer(tagPOINT pt1, tagPOINT pt2, unsigned long color) {
    DrawLine(SurfaceOf(m_pBmp), m_nDisplayWidth, m_nDisplayHeight, pt1, pt2, color);
}

}  // namespace Zumeld
