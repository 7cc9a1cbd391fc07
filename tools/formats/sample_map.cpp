// The built-in sample map: an island made from hashed gradient noise.
//
// Every cell is a pure function of its position relative to the map size and of the seed,
// so the same arguments give the same map on every machine: integer hashing, and double
// arithmetic of adds, multiplies and divides plus std::sqrt and std::floor, which IEEE 754
// defines to the last bit (correctly rounded, or exact); no library call whose last bit
// could differ between math libraries, and the build keeps the compiler from fusing
// multiplies and adds.
//
// The steps: a dome with a few offset lobes, laid out on the frame at a warped position,
// plus a rolling fractal height field, sunk toward the frame's edges; the sea
// level is set at the 40th percentile so that close to 40 % of the cells are sea, and
// never below the highest cell on the border, so that the sea goes all around the island
// at any size and seed; the land above it rises gently near the coast and steeply in the
// mountains, ridged noise cuts valleys into it, and the highest cell is scaled to 3000.
//
// The land has no crease: its slope is continuous everywhere (the noise is interpolated
// with a quintic fade, the lobes and the bowls meet flat ground with a continuous slope, and
// the crests of the ridged field are rounded), and no crest runs along a noise lattice
// (see Ridged).
#include "sample_map.h"

#include <atomic>
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "zumeld/util/Threads.h"

namespace zumeld_formats {

namespace {

constexpr double kSeaFraction = 0.40;
constexpr double kPeakElevation = 3000.0;
// Where the two edge bowls (see Bowl) start.
constexpr double kBroadBowlStart = 0.3;
constexpr double kSteepBowlStart = 0.6;
constexpr double kBowlDepth = 2.5;
// How far the crests of the ridged field are rounded, on its broadest octave; each finer
// octave rounds 1.5 times as far, so that its narrower crests are smooth too.
constexpr double kCrestRound = 0.02;

// A 64-bit integer hash (the splitmix64 finaliser) of a lattice point, an octave and the
// seed, mapped to [0, 1).
double LatticeValue(std::int64_t ix, std::int64_t iy, int octave, std::uint32_t seed) {
    std::uint64_t z = static_cast<std::uint64_t>(ix) * 0x9E3779B97F4A7C15ull ^
                      static_cast<std::uint64_t>(iy) * 0xC2B2AE3D27D4EB4Full ^
                      (static_cast<std::uint64_t>(octave) << 32) ^ seed;
    z ^= z >> 30;
    z *= 0xBF58476D1CE4E5B9ull;
    z ^= z >> 27;
    z *= 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * (1.0 / 9007199254740992.0);
}

double Fade(double t) {
    return t * t * t * (t * (t * 6.0 - 15.0) + 10.0);
}

// Sixteen unit gradient directions, 22.5 degrees apart.
constexpr double kGradients[16][2] = {
    {1.0, 0.0},  {0.92388, 0.38268},   {0.70711, 0.70711},   {0.38268, 0.92388},
    {0.0, 1.0},  {-0.38268, 0.92388},  {-0.70711, 0.70711},  {-0.92388, 0.38268},
    {-1.0, 0.0}, {-0.92388, -0.38268}, {-0.70711, -0.70711}, {-0.38268, -0.92388},
    {0.0, -1.0}, {0.38268, -0.92388},  {0.70711, -0.70711},  {0.92388, -0.38268}};

double Corner(std::int64_t ix, std::int64_t iy, double dx, double dy, int octave,
              std::uint32_t seed) {
    auto g = static_cast<int>(LatticeValue(ix, iy, octave, seed) * 16.0) & 15;
    return kGradients[g][0] * dx + kGradients[g][1] * dy;
}

// Gradient noise in about [-1, 1] at (x, y) in lattice units.
double GradientNoise(double x, double y, int octave, std::uint32_t seed) {
    double flx = std::floor(x), fly = std::floor(y);  // exact: no rounding involved
    auto ix = static_cast<std::int64_t>(flx);
    auto iy = static_cast<std::int64_t>(fly);
    double fx = x - flx, fy = y - fly;
    double a = Corner(ix, iy, fx, fy, octave, seed);
    double b = Corner(ix + 1, iy, fx - 1.0, fy, octave, seed);
    double c = Corner(ix, iy + 1, fx, fy - 1.0, octave, seed);
    double d = Corner(ix + 1, iy + 1, fx - 1.0, fy - 1.0, octave, seed);
    double tx = Fade(fx), ty = Fade(fy);
    double top = a + (b - a) * tx;
    double bottom = c + (d - c) * tx;
    return 1.5 * (top + (bottom - top) * ty);
}

// Each octave is turned by about 37 degrees against the last, so no lattice direction
// shows; the offset moves each octave to fresh lattice cells.
void NextOctave(double& x, double& y) {
    double nx = 1.6 * x - 1.2 * y + 41.3;
    double ny = 1.2 * x + 1.6 * y + 10.7;
    x = nx;
    y = ny;
}

// Fractal sum of octaves, each twice the frequency and `gain` times the weight of the last;
// about [-1, 1].
double Fractal(double x, double y, int octaves, double gain, int salt, std::uint32_t seed) {
    double sum = 0.0, weight = 1.0, total = 0.0;
    for (int o = 0; o < octaves; ++o) {
        sum += weight * GradientNoise(x, y, o + salt, seed);
        total += weight;
        weight *= gain;
        NextOctave(x, y);
    }
    return sum / total;
}

// The depth of a bowl at frame position (ex, ey) (-1 to 1 across the frame): 0 up to
// s = ex^4 + ey^4 = start, then growing with the cube of the excess, so that its slope and
// curvature stay continuous, to kBowlDepth at s = 1 (the middle of each edge).
double Bowl(double ex, double ey, double start) {
    double s = (ex * ex) * (ex * ex) + (ey * ey) * (ey * ey);
    double rim = (s - start) / (1.0 - start);
    return rim > 0.0 ? kBowlDepth * rim * rim * rim : 0.0;
}

// A lobe of the island: 1 at its centre, falling to 0 at its radii.
double Lobe(double x, double y, double cx, double cy, double rx, double ry) {
    double dx = (x - cx) / rx, dy = (y - cy) / ry;
    double r2 = dx * dx + dy * dy;
    return r2 >= 1.0 ? 0.0 : (1.0 - r2) * (1.0 - r2);
}

// Ridged fractal in [0, 1]: crests where each octave's noise crosses zero.
//
// Gradient noise is zero at every lattice point, and all along a lattice edge whose two end
// gradients both point across it (nearly zero when they nearly do), so the zero lines of
// one noise often run straight along its lattice, and folding them would draw straight
// crests. Each octave therefore folds the mean of two noises on lattices turned 53 degrees
// apart: where one is zero along its lattice the other is not, and the zero lines of the
// sum follow neither lattice. The fold itself is rounded (|n| taken as
// sqrt(n^2 + round^2) - round), so that a crest is a narrow smooth ridge rather than a kink
// that shows as a line when zoomed.
double Ridged(double x, double y, int octaves, int salt, std::uint32_t seed) {
    double sum = 0.0, weight = 1.0, total = 0.0, round = kCrestRound;
    for (int o = 0; o < octaves; ++o) {
        double tx = 0.6 * x - 0.8 * y + 17.3, ty = 0.8 * x + 0.6 * y + 5.9;
        double n = 0.7071 * (GradientNoise(x, y, o + salt, seed) +
                             GradientNoise(tx, ty, o + salt + 100, seed));
        double r = 1.0 - (std::sqrt(n * n + round * round) - round);
        r = r < 0.0 ? 0.0 : r;
        sum += weight * r * r;
        total += weight;
        weight *= 0.5;
        round *= 1.5;
        NextOctave(x, y);
    }
    return sum / total;
}

}  // namespace

std::vector<short> MakeSampleMap(
    int width, int height, std::uint32_t seed,
    const std::function<void(std::uint64_t done, std::uint64_t total)>& progress) {
    if (width < 1 || height < 1) return {};
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    // Per-cell fields are kept as float (exactly rounded, so still deterministic): 12 bytes
    // a cell plus the result, so large maps fit in memory.
    std::vector<float> raw(count);
    std::vector<float> valley(count);
    std::vector<float> detail(count);

    // Noise positions are relative to the longer side, so the terrain keeps its scale at any
    // aspect ratio; the island's outline is laid out on the frame (u, v from -1 to 1 across
    // it), so it fills any frame.
    const double unit = 1.0 / static_cast<double>(std::max(width, height));
    const double cx = 0.5 * width * unit, cy = 0.5 * height * unit;
    // Every cell depends on its position alone: bands of rows go to the threads.
    const int bands = std::min(height, 64 * Zumeld::GetThreadCount());
    std::atomic<std::uint64_t> rowsDone{0};
    Zumeld::RunOnThreads(bands, [&](int band) {
        for (int j = height * std::int64_t{band} / bands;
             j < height * std::int64_t{band + 1} / bands; ++j) {
            for (int i = 0; i < width; ++i) {
                double x = (i + 0.5) * unit, y = (j + 0.5) * unit;
                // Frame position, warped so that coasts and mountains wander instead of
                // following the ellipses.
                double ex = (x - cx) / cx, ey = (y - cy) / cy;
                double u = ex + 0.6 * Fractal(x * 3.0, y * 3.0, 4, 0.5, 40, seed);
                double v = ey + 0.6 * Fractal(x * 3.0 + 9.1, y * 3.0 + 2.3, 4, 0.5, 50, seed);
                // A dome falling from the middle toward the frame, so that the coast follows its
                // warped outline, plus a few lobes that make the island uneven.
                double shape = Lobe(u, v, 0.0, 0.0, 0.80, 0.76) +
                               0.5 * Lobe(u, v, -0.40, 0.21, 0.40, 0.43) +
                               0.4 * Lobe(u, v, 0.40, -0.27, 0.36, 0.37) - 1.2 * (u * u + v * v);
                double relief = Fractal(x * 4.0 + 1.7, y * 4.0 + 3.1, 8, 0.6, 0, seed);
                // Sink the ground toward the frame's edges so the island stays inside: a broad
                // bowl, stretched and shrunk with the relief so that where it holds the coast
                // back the coast stays ragged, and a steeper one near the edge, stretched less,
                // that keeps the coast off the edge where the first is shrunk.
                double broad = 1.0 + 0.3 * relief, steep = 1.0 + 0.1 * relief;
                double bowl = Bowl(ex * broad, ey * broad, kBroadBowlStart) +
                              Bowl(ex * steep, ey * steep, kSteepBowlStart);
                const std::size_t k = static_cast<std::size_t>(j) * width + i;
                raw[k] = static_cast<float>(shape + 0.4 * relief - bowl);
                valley[k] = static_cast<float>(Ridged(x * 3.0 + 7.7, y * 3.0 + 1.9, 6, 20, seed));
                detail[k] =
                    static_cast<float>(Fractal(x * 48.0 + 3.9, y * 48.0 + 6.1, 4, 0.55, 30, seed));
            }
            const std::uint64_t rows = ++rowsDone;
            if (progress) progress(rows, static_cast<std::uint64_t>(height));
        }
    });

    // Sea level at the 40th percentile of the raw heights, raised if need be to the highest
    // raw height on the border, so that every border cell is sea whatever the size and seed;
    // the highest raw height is the top.
    double seaLevel;
    {
        std::vector<float> sorted(raw);
        const std::size_t seaIndex =
            static_cast<std::size_t>(kSeaFraction * static_cast<double>(count));
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(seaIndex),
                         sorted.end());
        seaLevel = sorted[seaIndex];
    }
    const auto raiseTo = [&](std::size_t k) { seaLevel = std::max(seaLevel, double{raw[k]}); };
    for (int i = 0; i < width; ++i) {
        raiseTo(static_cast<std::size_t>(i));
        raiseTo(static_cast<std::size_t>(height - 1) * width + i);
    }
    for (int j = 0; j < height; ++j) {
        raiseTo(static_cast<std::size_t>(j) * width);
        raiseTo(static_cast<std::size_t>(j) * width + (width - 1));
    }
    const double top = *std::max_element(raw.begin(), raw.end());
    const double span = top > seaLevel ? top - seaLevel : 1.0;

    // Land shape: h in (0, 1] above the coast. Hills rise steadily inland; mountain chains
    // follow the ridged crests, with valleys between them; fine roughness grows with height
    // so that the slopes of the high ground are rugged and the coastal plains smooth. The
    // land heights replace the crest field in place.
    std::vector<float>& land = valley;
    double highest = 0.0;
    for (std::size_t k = 0; k < count; ++k) {
        if (raw[k] <= seaLevel) continue;
        const double h = (raw[k] - seaLevel) / span;
        const double ridge = valley[k];
        const double hills = 0.25 * h;
        const double mountain = 1.2 * h * ridge * ridge;
        double e = hills + mountain;
        e += 0.03 * std::sqrt(h) * detail[k];
        land[k] = static_cast<float>(std::max(e, 0.0));
        highest = std::max(highest, static_cast<double>(land[k]));
    }
    const double scale = highest > 0.0 ? kPeakElevation / highest : 0.0;

    std::vector<short> cells(count, 0);
    for (std::size_t k = 0; k < count; ++k) {
        if (raw[k] <= seaLevel) continue;
        const double e = land[k] * scale;
        cells[k] = static_cast<short>(std::clamp(e, 1.0, kPeakElevation));
    }
    return cells;
}

}  // namespace zumeld_formats
