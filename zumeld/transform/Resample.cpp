// Resampling kernels. Positions are stepped incrementally (fx grows by srcWidth per column
// and wraps at dispWidth, advancing the source column; fy likewise per row), which gives
// exactly i * srcWidth div dispWidth and its remainder without a division per cell.
#include "zumeld/transform/Resample.h"

#include "zumeld/transform/BilinearRow.h"
#include "zumeld/util/ThreadPool_p.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace Zumeld {

namespace {

using std::int64_t;
using std::uint64_t;

bool IsValidArea(const ResampleArea& a) {
    return a.left >= 0 && a.top >= 0 && a.srcWidth >= 1 && a.srcHeight >= 1 && a.dispWidth >= 1 &&
           a.dispHeight >= 1;
}

// A map grid whose block holds the margin column and row.
bool HasMargin(const GridView& g) {
    return g.cells != nullptr && g.width >= 1 && g.height >= 1 && g.stride >= int64_t{g.width} + 1;
}

// The source offset (from the area's corner) of the last of `fill` display cells.
int64_t LastSource(int fill, int src, int disp) {
    return (int64_t{fill} - 1) * src / disp;
}

// The most display cells that fit on `cells` map cells from `start` on (fill * src <= room *
// disp), capped at `size`.
int64_t FittingCells(int64_t size, int mapCells, int start, int src, int disp) {
    const int64_t room = (int64_t{mapCells} - start) * disp;
    return size * src > room ? room / src : size;
}

// Incremental position along one axis: whole source cells and the fraction fx / disp.
struct AxisStep {
    int64_t whole = 0;  // src div disp
    int64_t part = 0;   // src mod disp
    int64_t disp = 1;
    int64_t cell = 0;  // current source cell offset
    int64_t frac = 0;  // current fraction, 0 <= frac < disp
    AxisStep(int src, int dispSize) : whole(src / dispSize), part(src % dispSize), disp(dispSize) {}
    // Positioned at display cell `at`, as `at` calls of Next() would leave it.
    AxisStep(int src, int dispSize, int64_t at) : AxisStep(src, dispSize) {
        cell = at * src / dispSize;
        frac = at * src % dispSize;
    }
    void Next() {
        cell += whole;
        frac += part;
        if (frac >= disp) {
            frac -= disp;
            ++cell;
        }
    }
};

// Each kernel computes the display rows [j0, j1) of the fill; the rows are independent.
void ResampleCopy(const GridView& g, const ResampleArea& a, const ResampleTarget& t, short* out,
                  int j0, int j1) {
    const short* src = g.cells + int64_t{a.top} * g.stride + a.left;
    for (int j = j0; j < j1; ++j)
        std::memcpy(out + int64_t{j} * t.width, src + j * g.stride,
                    static_cast<std::size_t>(t.fillWidth) * sizeof(short));
}

void ResamplePoints(const GridView& g, const ResampleArea& a, const ResampleTarget& t, short* out,
                    int j0, int j1) {
    const short* origin = g.cells + int64_t{a.top} * g.stride + a.left;
    AxisStep rows(a.srcHeight, a.dispHeight, j0);
    for (int j = j0; j < j1; ++j, rows.Next()) {
        const short* src = origin + rows.cell * g.stride;
        short* dst = out + int64_t{j} * t.width;
        AxisStep cols(a.srcWidth, a.dispWidth);
        for (int i = 0; i < t.fillWidth; ++i, cols.Next()) dst[i] = src[cols.cell];
    }
}

// Bilinear enlargement, row by row (BilinearRow.h), on the vector kernel when there is one.
void ResampleBilinear(const GridView& g, const ResampleArea& a, const ResampleTarget& t, short* out,
                      int j0, int j1) {
    const uint64_t dw = static_cast<uint64_t>(a.dispWidth);
    const uint64_t dh = static_cast<uint64_t>(a.dispHeight);
    const uint64_t sw = static_cast<uint64_t>(a.srcWidth);
    // Fixed-point reciprocal of dw * dh, rounded down (2^32 - 1 for a product of 1).
    const uint64_t product = dw * dh;
    const uint64_t k = product <= 1 ? 0xFFFFFFFFull : (uint64_t{1} << 32) / product;
    const Kernels::BilinearRowFn vectorRow = Kernels::ActiveBilinearRow();
    // Small zooms (runs of one to three cells) go cell by cell where a kernel does that,
    // with the cells' columns and weights, the same on every row, worked out once.
    const Kernels::BilinearCellsFn cellRow =
        a.dispWidth < 4 * int64_t{a.srcWidth} && a.dispWidth <= 32768 && a.dispHeight <= 32768
            ? Kernels::ActiveBilinearCells()
            : nullptr;
    std::vector<int32_t> col, wLeft, wRight, blends;
    if (cellRow != nullptr) {
        const auto n = static_cast<std::size_t>(t.fillWidth);
        col.resize(n), wLeft.resize(n), wRight.resize(n);
        AxisStep cols(a.srcWidth, a.dispWidth);
        for (std::size_t i = 0; i < n; ++i, cols.Next()) {
            col[i] = static_cast<int32_t>(cols.cell);
            wLeft[i] = static_cast<int32_t>(a.dispWidth - cols.frac);
            wRight[i] = static_cast<int32_t>(cols.frac);
        }
        blends.resize(static_cast<std::size_t>(col[n - 1]) + 2 + 8);  // + a vector's reach
    }
    const BilinearCells cells{col.data(), wLeft.data(), wRight.data(), blends.data()};

    const short* origin = g.cells + int64_t{a.top} * g.stride + a.left;
    AxisStep rows(a.srcHeight, a.dispHeight, j0);
    for (int j = j0; j < j1; ++j, rows.Next()) {
        BilinearRow r;
        r.upper = origin + rows.cell * g.stride;
        r.lower = r.upper + g.stride;
        r.wUpper = dh - static_cast<uint64_t>(rows.frac);
        r.wLower = static_cast<uint64_t>(rows.frac);
        r.dw = dw;
        r.sw = sw;
        r.k = k;
        r.dst = out + int64_t{j} * t.width;
        r.count = t.fillWidth;
        if (cellRow != nullptr)
            cellRow(r, cells);
        else if (vectorRow != nullptr)
            vectorRow(r);
        else
            WalkBilinearRow(r, [](short* dst, uint64_t acc, uint64_t step, int run, int) {
                EmitRunScalar(dst, acc, step, run);
            });
    }
}

// Cells past the fill: each computed row repeats its last value.
void RepeatRowEnds(const ResampleTarget& t, short* out, int j0, int j1) {
    for (int j = j0; j < j1; ++j) {
        short* row = out + int64_t{j} * t.width;
        std::fill(row + t.fillWidth, row + t.width, row[t.fillWidth - 1]);
    }
}

// The rows below the fill repeat the last computed row.
void RepeatLastRow(const ResampleTarget& t, short* out) {
    const short* last = out + (int64_t{t.fillHeight} - 1) * t.width;
    for (int j = t.fillHeight; j < t.height; ++j)
        std::memcpy(out + int64_t{j} * t.width, last,
                    static_cast<std::size_t>(t.width) * sizeof(short));
}

}  // namespace

ResampleMode ChooseResampleMode(const ResampleArea& a) {
    if (a.dispWidth == a.srcWidth && a.dispHeight == a.srcHeight) return ResampleMode::Copy;
    if (a.dispWidth > a.srcWidth && a.dispHeight > a.srcHeight) return ResampleMode::Bilinear;
    return ResampleMode::PointSample;
}

bool CanResample(const GridView& g, const ResampleArea& a, const ResampleTarget& t) {
    if (!HasMargin(g) || !IsValidArea(a)) return false;
    if (t.fillWidth < 1 || t.fillWidth > t.width || t.fillHeight < 1 || t.fillHeight > t.height)
        return false;
    return a.left + LastSource(t.fillWidth, a.srcWidth, a.dispWidth) < g.width &&
           a.top + LastSource(t.fillHeight, a.srcHeight, a.dispHeight) < g.height;
}

bool DisplayGridFor(const GridView& g, const ResampleArea& a, ResampleTarget* target) {
    if (!HasMargin(g) || !IsValidArea(a)) return false;
    // At least one display column and row must fit on the map.
    if ((int64_t{g.width} - a.left) * a.dispWidth < a.srcWidth ||
        (int64_t{g.height} - a.top) * a.dispHeight < a.srcHeight)
        return false;
    const int64_t bw = int64_t{a.dispWidth} + std::max(1, a.dispWidth / a.srcWidth);
    const int64_t bh = int64_t{a.dispHeight} + std::max(1, a.dispHeight / a.srcHeight);
    if (bw > std::numeric_limits<int>::max() / 2 || bh > std::numeric_limits<int>::max())
        return false;
    ResampleTarget t;
    t.width = static_cast<int>(bw);
    t.height = static_cast<int>(bh);
    t.fillWidth = static_cast<int>(FittingCells(bw, g.width, a.left, a.srcWidth, a.dispWidth));
    t.fillHeight = static_cast<int>(FittingCells(bh, g.height, a.top, a.srcHeight, a.dispHeight));
    *target = t;
    return true;
}

bool ResampleElevation(const GridView& g, const ResampleArea& a, const ResampleTarget& t,
                       short* out) {
    if (out == nullptr || !CanResample(g, a, t)) return false;
    const ResampleMode mode = ChooseResampleMode(a);
    // Bands of rows on the pool's threads; a row's cells do not depend on the band.
    const int parts = PartCount(int64_t{t.fillHeight} * t.width, 1 << 15);
    RunParts(parts, [&](int i) {
        const auto [j0, j1] = PartRange(t.fillHeight, parts, i);
        const int from = static_cast<int>(j0), to = static_cast<int>(j1);
        switch (mode) {
            case ResampleMode::Copy:
                ResampleCopy(g, a, t, out, from, to);
                break;
            case ResampleMode::PointSample:
                ResamplePoints(g, a, t, out, from, to);
                break;
            case ResampleMode::Bilinear:
                ResampleBilinear(g, a, t, out, from, to);
                break;
        }
        RepeatRowEnds(t, out, from, to);
    });
    RepeatLastRow(t, out);
    return true;
}

// ---- Overlay picture ------------------------------------------------------------------------

OverlayFit FitDisplayOverlay(int overlayWidth, int overlayHeight, const ResampleArea& a) {
    if (!IsValidArea(a)) return {};
    // Where the picture ends inside the area, only its part is shown, scaled alike.
    const auto fit = [](int pictureSize, int start, int src, int disp, int& srcOut, int& out) {
        if (int64_t{pictureSize} < int64_t{start} + src) {
            srcOut = pictureSize - start;
            const int64_t scaled = int64_t{srcOut} * disp / src;
            out = static_cast<int>(std::max<int64_t>(scaled, std::numeric_limits<int>::min()));
        } else {
            srcOut = src;
            out = disp;
        }
    };
    OverlayFit f;
    fit(overlayWidth, a.left, a.srcWidth, a.dispWidth, f.srcWidth, f.width);
    fit(overlayHeight, a.top, a.srcHeight, a.dispHeight, f.srcHeight, f.height);
    return f;
}

bool ResampleOverlay(const OverlayView& p, const ResampleArea& a, BYTE* out) {
    if (p.pixels == nullptr || out == nullptr || p.rowBytes < int64_t{p.width} * 4) return false;
    const OverlayFit f = FitDisplayOverlay(p.width, p.height, a);
    if (f.width <= 0 || f.height <= 0) return false;
    const std::size_t outRowBytes = static_cast<std::size_t>(f.width) * 4;
    const BYTE* origin = p.pixels + int64_t{a.top} * p.rowBytes + int64_t{a.left} * 4;
    AxisStep rows(f.srcHeight, f.height);
    for (int r = 0; r < f.height; ++r, rows.Next()) {
        const BYTE* src = origin + rows.cell * p.rowBytes;
        BYTE* dst = out + r * outRowBytes;
        if (f.width == f.srcWidth) {
            std::memcpy(dst, src, outRowBytes);
            continue;
        }
        AxisStep cols(f.srcWidth, f.width);
        for (int c = 0; c < f.width; ++c, cols.Next())
            std::memcpy(dst + c * 4, src + cols.cell * 4, 4);
    }
    return true;
}

}  // namespace Zumeld
