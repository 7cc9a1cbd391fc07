// Sector and barrel warps: the map is bent into another outline and every new cell is the
// area-weighted mean of the old cells its preimage covers.
#include <algorithm>
#include <cmath>

#include "zumeld/elevation/Grid.h"
#include "zumeld/transform/Transforms.h"

namespace Zumeld {

namespace {

// Turns an arc length into a radius (360 / 2 pi with pi taken as 3.14159).
constexpr double kTwoPi = 6.28318;
// Degrees to half the angle in radians (3.14159 / 360).
constexpr double kHalfRadiansPerDegree = 0.008726638888888888;

// The next whole number above v (v + 1 when v is whole), for v >= 0.
inline double NextWhole(double v) {
    return std::floor(v) + 1.0;
}

// Area mean of the old cells under the rectangle [xa, xb) x [ya, yb), 0 <= xa < xb <= W and
// 0 <= ya < yb <= H: rows and columns are cut at whole numbers, and each piece adds its
// area (x-extent x y-extent) to the total and the cell at its start times the area to the sum.
short AreaMean(const GridView& src, double xa, double xb, double ya, double yb) {
    double sum = 0.0;
    double total = 0.0;
    for (double y = ya; y < yb;) {
        const double yEnd = std::min(NextWhole(y), yb);
        const double ey = yEnd - y;
        const short* row = src.cells + static_cast<std::ptrdiff_t>(y) * src.stride;
        for (double x = xa; x < xb;) {
            const double xEnd = std::min(NextWhole(x), xb);
            const double area = (xEnd - x) * ey;
            total += area;
            sum += row[static_cast<std::ptrdiff_t>(x)] * area;
            x = xEnd;
        }
        y = yEnd;
    }
    return TruncToElevation(sum / total);
}

}  // namespace

TransformedGrid SectorWarp(const GridView& src, double angleDegrees, double innerPercent) {
    if (!IsUsableGrid(src)) return {};
    if (!(angleDegrees > 0 && angleDegrees <= 360)) return {};
    if (!(innerPercent >= 0 && innerPercent < 100)) return {};
    const double W = src.width;
    const double H = src.height;

    // Radii: the outer arc is W long; the ring is never deeper than the map has rows.
    double R = W * 360.0 / angleDegrees / kTwoPi;
    double r = R * innerPercent / 100.0;
    if (H < R - r) {
        const double k = H / (R - r);
        R = R * k;
        r = r * k;
    }
    if (!(R - r > 0) || !std::isfinite(R)) return {};
    const double half = angleDegrees * kHalfRadiansPerDegree;

    // Bounding box in fan coordinates: X right, Y down, the fan symmetric about +Y.
    const double yMin = std::min(std::cos(half) * R, std::cos(half) * r);
    const double yMax = R;
    const double xMin = angleDegrees < 180 ? -std::sin(half) * R : -R;
    const double xMax = angleDegrees < 180 ? std::sin(half) * R : R;
    const double x0 = std::floor(xMin);
    const double y0 = std::floor(yMin);
    const double wide = std::ceil(xMax) - x0;
    const double high = std::ceil(yMax) - y0;
    if (!(wide <= kMaxGridBytes && high <= kMaxGridBytes)) return {};
    TransformedGrid g =
        AllocateTransformGrid(static_cast<std::int64_t>(wide), static_cast<std::int64_t>(high));
    if (!g) return g;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(g.width) + 1;

    const double sx = W / (2 * half);  // old columns per radian
    const double sy = H / (R - r);     // old rows per unit of radius
    for (int j = 0; j < g.height; ++j) {
        const double Y = y0 + j;
        short* out = g.cells.get() + j * stride;
        for (int i = 0; i < g.width; ++i) {
            const double X = x0 + i;
            if (X == 0 && Y == 0) continue;  // the fan's centre stays sea
            const double rho = std::sqrt(X * X + Y * Y);
            const double phi = std::atan2(X, Y);        // from +Y toward +X
            const double delta = std::atan2(0.5, rho);  // half a cell seen from the centre
            const double xa = std::max((phi - delta + half) * sx, 0.0);
            const double xb = std::min((phi + delta + half) * sx, W);
            const double ya = std::max((rho - 0.5 - r) * sy, 0.0);
            const double yb = std::min((rho + 0.5 - r) * sy, H);
            if (xa >= xb || ya >= yb) continue;
            out[i] = AreaMean(src, xa, xb, ya, yb);
        }
    }
    return g;
}

TransformedGrid BarrelWarp(const GridView& src, double a, double b, double c) {
    if (!IsUsableGrid(src)) return {};
    TransformedGrid g = AllocateTransformGrid(src.width, src.height);
    if (!g) return g;
    const int W = src.width;
    const int H = src.height;
    const double hw = W / 2.0;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(W) + 1;

    for (int r = 0; r < H; ++r) {
        const double y = (-H) / 2.0 + r;
        double xl = ((a * y) * y + b * y) + c;
        // A reversed or empty span (and a NaN) leaves the row sea.
        if (!(xl < 0)) continue;
        double xr = -xl;
        xl = std::max(xl, -hw);
        xr = std::min(xr, hw);
        const short* e = src.cells + r * src.stride;
        // Old column of span position t. The right end lands on W (or a hair past it), read
        // with a weight of about 0: column W is the margin, which repeats column W - 1.
        const double span = xr - xl;
        auto column = [&](double t) { return W * t / span + hw; };
        auto cell = [&](std::int64_t m) {
            return static_cast<double>(e[std::clamp<std::int64_t>(m, 0, W - 1)]);
        };

        const double kFirst = std::trunc(xl);  // toward zero: above xl when xl is negative
        double kLast = std::trunc(xr);
        if (xr == kLast) kLast -= 1;
        short* out = g.cells.get() + r * stride;
        std::int64_t col = static_cast<std::int64_t>(xl + hw);
        for (double k = kFirst; k <= kLast && col < W; k += 1, ++col) {
            const double start = k == kFirst ? xl : k;
            const double end = std::min(k + 1, xr);
            const double s0 = column(start);
            const double s1 = column(end);
            const std::int64_t m0 = static_cast<std::int64_t>(s0);
            const std::int64_t m1 = static_cast<std::int64_t>(s1);
            double sum;
            if (m0 == m1) {
                sum = cell(m0) * (s1 - s0);
            } else {
                sum = cell(m0) * (static_cast<double>(m0 + 1) - s0);
                for (std::int64_t m = m0 + 1; m < m1; ++m) sum += cell(m);
                sum += cell(m1) * (s1 - static_cast<double>(m1));
            }
            out[col] = TruncToElevation(sum / (s1 - s0));
        }
    }
    return g;
}

}  // namespace Zumeld
