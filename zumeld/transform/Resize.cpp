// Resizing: a separable resample, rows first, then columns. Both passes use one line
// resampler whose per-cell coefficients depend only on the new cell's index (planned once
// per strip of columns and once per new row); the cell arithmetic is the same whichever
// way the line runs through memory (step 1 along a row, the strip width down a column).
#include <algorithm>
#include <cstring>
#include <vector>

#include "zumeld/transform/Transforms.h"

namespace Zumeld {

namespace {

enum class SlotKind { kCell, kLerp, kMean };

// How one new cell of a line comes from the old cells e[0 .. n - 1].
struct LineSlot {
    SlotKind kind = SlotKind::kCell;
    int i0 = 0;           // kCell: the cell; kLerp: left cell; kMean: ia = trunc(a)
    int i1 = 0;           // kLerp: right cell (the last cell past the end); kMean: ib
    double w0 = 0.0;      // kLerp: (i + 1) - p; kMean: (ia + 1) - a
    double w1 = 0.0;      // kLerp: p - i; kMean: a - ia
    double wb0 = 0.0;     // kMean: (ib + 1) - b
    double wb1 = 0.0;     // kMean: b - ib
    double length = 0.0;  // kMean: b - a
};

// How new cell k of an n -> m line resample comes from the old cells (n, m >= 1).
LineSlot PlanSlot(int n, int m, int k) {
    LineSlot slot;
    if (m == n) {
        slot.i0 = k;
    } else if (m > n) {
        // Enlarging: the end cells coincide; p = k s, s = (n - 1) / (m - 1).
        const double s = static_cast<double>(n - 1) / static_cast<double>(m - 1);
        const double p = static_cast<double>(k) * s;
        // p can land a hair past n - 1; the neighbour past the end stands for e[n - 1].
        const int i = std::min(static_cast<int>(p), n - 1);
        slot.i0 = i;
        if (p != static_cast<double>(i)) {
            slot.kind = SlotKind::kLerp;
            slot.i1 = std::min(i + 1, n - 1);
            slot.w0 = static_cast<double>(i + 1) - p;
            slot.w1 = p - static_cast<double>(i);
        }
    } else {
        // Reducing: the mean of the piecewise-linear line over m equal slices of [0, n - 1].
        // a and b are exact integer products converted to double, then divided by m.
        const double a = static_cast<double>(std::int64_t{k} * (n - 1)) / m;
        const double b = static_cast<double>(std::int64_t{k + 1} * (n - 1)) / m;
        const int ia = static_cast<int>(a);
        int ib = static_cast<int>(b);
        if (b == static_cast<double>(ib)) --ib;  // [ib, b] is never empty
        slot.i0 = ia;
        if (ia < ib) {  // otherwise one whole cell interval: the new cell is e[ia]
            slot.kind = SlotKind::kMean;
            slot.i1 = ib;
            slot.w0 = static_cast<double>(ia + 1) - a;
            slot.w1 = a - static_cast<double>(ia);
            slot.wb0 = static_cast<double>(ib + 1) - b;
            slot.wb1 = b - static_cast<double>(ib);
            slot.length = b - a;
        }
    }
    return slot;
}

// One new cell from the line e, whose cells are step apart. Products are formed left to
// right and then added; results truncate toward zero.
inline short ResampleCell(const short* e, std::ptrdiff_t step, const LineSlot& slot) {
    switch (slot.kind) {
        case SlotKind::kCell:
            return e[slot.i0 * step];
        case SlotKind::kLerp:
            return TruncToElevation(static_cast<double>(e[slot.i0 * step]) * slot.w0 +
                                    static_cast<double>(e[slot.i1 * step]) * slot.w1);
        case SlotKind::kMean:
            break;
    }
    const int ia = slot.i0;
    const int ib = slot.i1;
    // First partial interval [a, ia + 1], by the trapezoid rule.
    const double ea1 = e[(ia + 1) * step];
    const double va = static_cast<double>(e[ia * step]) * slot.w0 + ea1 * slot.w1;
    double sum = slot.w0 * (ea1 + va) * 0.5;
    // Whole intervals: the two cells are added as integers.
    for (int j = ia + 1; j < ib; ++j)
        sum += static_cast<double>(int{e[j * step]} + int{e[(j + 1) * step]}) * 0.5;
    // Last partial interval [ib, b].
    const double eb = e[ib * step];
    const double vb = eb * slot.wb0 + static_cast<double>(e[(ib + 1) * step]) * slot.wb1;
    sum += slot.wb1 * (eb + vb) * 0.5;
    return TruncToElevation(sum / slot.length);
}

// Cells of the row-resized intermediate held at once; the columns are done in strips of
// this many cells so that the intermediate stays small whatever the sizes.
constexpr std::int64_t kStripCells = std::int64_t{1} << 20;

}  // namespace

TransformedGrid ResizeGrid(const GridView& src, int newWidth, int newHeight) {
    if (!IsUsableGrid(src)) return {};
    TransformedGrid g = AllocateTransformGrid(newWidth, newHeight);
    if (!g) return g;
    const std::ptrdiff_t dstStride = static_cast<std::ptrdiff_t>(newWidth) + 1;
    const int stripWidth =
        static_cast<int>(std::clamp<std::int64_t>(kStripCells / src.height, 1, newWidth));

    // The rows of the strip [c0, c0 + cols) after the row pass: src.height rows of cols,
    // and the plan of its columns. Working memory stays small whatever the sizes.
    std::vector<short> strip(static_cast<std::size_t>(stripWidth) *
                             static_cast<std::size_t>(src.height));
    std::vector<LineSlot> rowPlan(static_cast<std::size_t>(stripWidth));
    for (int c0 = 0; c0 < newWidth; c0 += stripWidth) {
        const int cols = std::min(stripWidth, newWidth - c0);
        for (int k = 0; k < cols; ++k) rowPlan[k] = PlanSlot(src.width, newWidth, c0 + k);
        for (int r = 0; r < src.height; ++r) {
            const short* line = src.cells + r * src.stride;
            short* out = strip.data() + static_cast<std::ptrdiff_t>(r) * cols;
            for (int k = 0; k < cols; ++k) out[k] = ResampleCell(line, 1, rowPlan[k]);
        }
        // The column pass walks new rows, so each step reads whole strip rows.
        for (int k = 0; k < newHeight; ++k) {
            const LineSlot slot = PlanSlot(src.height, newHeight, k);
            short* out = g.cells.get() + k * dstStride + c0;
            if (slot.kind == SlotKind::kCell) {
                std::memcpy(out, strip.data() + static_cast<std::ptrdiff_t>(slot.i0) * cols,
                            static_cast<std::size_t>(cols) * sizeof(short));
                continue;
            }
            for (int c = 0; c < cols; ++c) out[c] = ResampleCell(strip.data() + c, cols, slot);
        }
    }
    return g;
}

}  // namespace Zumeld
