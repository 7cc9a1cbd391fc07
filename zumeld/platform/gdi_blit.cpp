// The one blit of the in-memory GDI and the geometry of its two axes. BitBlt, PatBlt,
// SetDIBitsToDevice and StretchDIBits all end in Transfer.
#include <algorithm>
#include <vector>

#include "zumeld/platform/gdi_p.h"

namespace Zumeld::Platform {

namespace {

using I64 = std::int64_t;

I64 CeilDiv(I64 a, I64 b) {  // b > 0
    return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

// Applies the truth table to every bit of three pixel values.
DWORD ApplyRop(unsigned index, DWORD p, DWORD s, DWORD d) {
    switch (index) {  // the usual ones directly
        case 0xCC:
            return s;
        case 0xF0:
            return p;
        default:
            break;
    }
    DWORD r = 0;
    for (unsigned k = 0; k < 8; ++k) {
        if (!((index >> k) & 1)) continue;
        r |= ((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d);
    }
    return r;
}

DWORD ValueMask(int bitCount) {
    return bitCount >= 32 ? 0xFFFFFFFF : (DWORD{1} << bitCount) - 1;
}

}  // namespace

Span Bound(std::int64_t x, std::int64_t extent) {
    return extent < 0 ? Span{x + extent + 1, x + 1} : Span{x, x + extent};
}

Span Intersect(Span a, Span b) {
    return {std::max(a.lo, b.lo), std::min(a.hi, b.hi)};
}

Span Axis::Sources(std::int64_t x) const {
    const I64 j = (x - dAnchor) * dStep;
    if (j < 0 || j >= dLen) return {0, 0};
    I64 i0, i1;  // the source indices of destination index j
    if (sLen == dLen) {
        i0 = i1 = j;
    } else if (sLen < dLen) {
        i0 = i1 = ((2 * j + 1) * sLen - 1) / (2 * dLen);
    } else {
        // Source index i goes to destination ((2i + 1) dLen - 1) div (2 sLen).
        i0 = std::max<I64>(0, CeilDiv(2 * sLen * j + 1 - dLen, 2 * dLen));
        i1 = std::max<I64>(0, CeilDiv(2 * sLen * (j + 1) + 1 - dLen, 2 * dLen)) - 1;
    }
    const I64 a = sAnchor + i0 * sStep, b = sAnchor + i1 * sStep;
    return Intersect({std::min(a, b), std::max(a, b) + 1}, sVis);
}

bool MakeAxis(std::int64_t dx, std::int64_t dw, std::int64_t sx, std::int64_t sw, Span dSurface,
              Span sSurface, Axis& out) {
    if (dw == 0 || sw == 0) return false;
    Span dVis = Intersect(Bound(dx, dw), dSurface);
    Span sVis = Intersect(Bound(sx, sw), sSurface);
    if (dVis.Empty() || sVis.Empty()) return false;
    if (dw == sw) {
        Span r = Intersect({sVis.lo + dx - sx, sVis.hi + dx - sx}, dVis);
        if (r.Empty()) return false;
        dVis = r;
        sVis = {r.lo - dx + sx, r.hi - dx + sx};
    } else {
        // The visible source mapped into the destination (scaled rounding toward zero, as
        // integer division does), widened by a pixel for rounding.
        const I64 back = sw < 0 ? 1 : 0;
        I64 lo = (sVis.lo - sx - back) * dw / sw, hi = (sVis.hi - sx - back) * dw / sw;
        if (lo > hi) std::swap(lo, hi);
        // A mirrored source that does not fit its surface leaves the destination unmirrored
        // there: the destination rectangle moves.
        if (sw < 0 && dw > 0 && (sx + sw + 1 < sVis.lo || sx > sVis.hi))
            dx += (dw - hi) - lo;
        else if (sw > 0 && dw < 0 && (sx < sVis.lo || sx + sw > sVis.hi))
            dx -= hi - (dw - lo);
        dVis = Intersect({lo + dx - 1, hi + dx + 1}, dVis);
        if (dVis.Empty()) return false;
        // And back: the destination's visible part in source pixels.
        const I64 dback = dw < 0 ? 1 : 0;
        lo = sx + (dVis.lo - dx - dback) * sw / dw;
        hi = sx + (dVis.hi - dx - dback) * sw / dw;
        if (lo > hi) std::swap(lo, hi);
        sVis = Intersect({lo - 1, hi + 1}, sVis);
        if (sVis.Empty()) return false;
    }
    out.dAnchor = dx;
    out.dStep = dw < 0 ? -1 : 1;
    out.dLen = dw < 0 ? -dw : dw;
    out.sAnchor = sx;
    out.sStep = sw < 0 ? -1 : 1;
    out.sLen = sw < 0 ? -sw : sw;
    out.dVis = dVis;
    out.sVis = sVis;
    return true;
}

void Transfer(const RowSurface& dst, const RowSurface* src, const Axis& ax, const Axis& ay,
              DWORD rop, DWORD pattern) {
    const Span cols = Intersect(ax.dVis, {0, dst.width});
    const Span rows = Intersect(ay.dVis, {0, dst.height});
    if (cols.Empty() || rows.Empty()) return;
    const int n = static_cast<int>(cols.hi - cols.lo);
    const int x0 = static_cast<int>(cols.lo);
    // The source run of every destination column (empty where it has none), and their hull.
    std::vector<Span> from(static_cast<std::size_t>(n), Span{0, 1});
    Span hull{0, 0};
    if (src != nullptr) {
        for (int i = 0; i < n; ++i) {
            Span s = Intersect(ax.Sources(x0 + i), {0, src->width});
            from[static_cast<std::size_t>(i)] = s;
            if (s.Empty()) continue;
            hull = hull.Empty() ? s : Span{std::min(hull.lo, s.lo), std::max(hull.hi, s.hi)};
        }
        if (hull.Empty()) return;
    }
    const int m = static_cast<int>(hull.hi - hull.lo);
    const unsigned index = RopIndex(rop);
    const bool usesDest = RopUsesDest(rop);
    const DWORD mask = ValueMask(dst.format.bitCount);
    // A plain copy, pixel for pixel between two surfaces, converts straight into the row.
    const bool direct = src != nullptr && index == RopIndex(SRCCOPY) && src->base != dst.base &&
                        ax.sLen == ax.dLen && ax.sStep == ax.dStep && !from[0].Empty() &&
                        from[static_cast<std::size_t>(n - 1)].lo - from[0].lo == n - 1;
    const bool everyColumn =
        std::none_of(from.begin(), from.end(), [](Span s) { return s.Empty(); });
    std::vector<BYTE> packed(static_cast<std::size_t>(m) * 4 + 4);
    std::vector<DWORD> values(static_cast<std::size_t>(m)), merged(values.size());
    std::vector<DWORD> out(static_cast<std::size_t>(n)), dest(usesDest ? out.size() : 0);
    Span last{0, 0};  // the source rows now merged in `merged`

    // Within one surface, walk away from the rows still to be read.
    const bool upward = src != nullptr && src->base == dst.base && ay.dAnchor > ay.sAnchor;
    for (I64 k = rows.lo; k < rows.hi; ++k) {
        const I64 y = upward ? rows.hi - 1 - (k - rows.lo) : k;
        BYTE* drow = dst.RowPtr(y);
        if (drow == nullptr) continue;
        if (src != nullptr) {
            const Span srows = Intersect(ay.Sources(y), {0, src->height});
            if (srows.Empty()) continue;
            if (direct && srows.hi - srows.lo == 1) {
                const BYTE* srow = src->RowPtr(srows.lo);
                if (srow != nullptr)
                    ConvertPixels(src->format, srow, static_cast<int>(from[0].lo), dst.format, drow,
                                  x0, n);
                continue;
            }
            // The source rows of this destination row, converted to destination pixel values
            // and ANDed together (shrinking merges them, black on white).
            if (srows.lo != last.lo || srows.hi != last.hi || src->base == dst.base) {
                std::fill(merged.begin(), merged.end(), 0xFFFFFFFF);
                for (I64 r = srows.lo; r < srows.hi; ++r) {
                    const BYTE* srow = src->RowPtr(r);
                    if (srow == nullptr) continue;
                    ConvertPixels(src->format, srow, static_cast<int>(hull.lo), dst.format,
                                  packed.data(), 0, m);
                    ReadValues(dst.format, packed.data(), 0, values.data(), m);
                    for (int i = 0; i < m; ++i)
                        merged[static_cast<std::size_t>(i)] &= values[static_cast<std::size_t>(i)];
                }
                last = srows;
            }
        }
        if (usesDest) ReadValues(dst.format, drow, x0, dest.data(), n);
        for (int i = 0; i < n; ++i) {
            const std::size_t u = static_cast<std::size_t>(i);
            const DWORD d = usesDest ? dest[u] : 0;
            if (from[u].Empty()) {
                out[u] = d;  // no source pixel: the destination stays
                continue;
            }
            DWORD s = 0;
            if (src != nullptr) {
                s = merged[static_cast<std::size_t>(from[u].lo - hull.lo)];
                for (I64 c = from[u].lo + 1; c < from[u].hi; ++c)
                    s &= merged[static_cast<std::size_t>(c - hull.lo)];
            }
            out[u] = ApplyRop(index, pattern, s, d) & mask;
        }
        if (usesDest || everyColumn) {
            WriteValues(dst.format, drow, x0, out.data(), n);
            continue;
        }
        for (int i = 0; i < n; ++i)  // only the columns that have a source
            if (!from[static_cast<std::size_t>(i)].Empty())
                WriteValues(dst.format, drow, x0 + i, &out[static_cast<std::size_t>(i)], 1);
    }
}

}  // namespace Zumeld::Platform
