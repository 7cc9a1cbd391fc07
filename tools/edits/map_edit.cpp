#include "map_edit.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "error.h"

namespace zumeld_edits {

namespace {

using Zumeld::CCtrlElvMap;
using zumeld_formats::Error;
using zumeld_formats::UsageError;

int Bounded(const std::string& what, const char* name, long long v, long long lo, long long hi) {
    if (v < lo || v > hi)
        throw UsageError(what, std::string(name) + " " + std::to_string(v) + " is outside " +
                                   std::to_string(lo) + ".." + std::to_string(hi));
    return static_cast<int>(v);
}

std::string Shown(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

double Finite(const std::string& what, const char* name, double v) {
    if (!std::isfinite(v)) throw UsageError(what, std::string(name) + " is not a finite number");
    return v;
}

void RequireCells(const std::string& what, const CCtrlElvMap& m) {
    if (!m.m_pElevation || m.m_nWidth < 1 || m.m_nHeight < 1)
        throw Error(what, "the map has no cells to edit");
}

// Refuses a rectangle that covers no cell of the map: the edit would change nothing.
void RequireOnMap(const std::string& what, const CCtrlElvMap& m, long long l, long long t,
                  long long w, long long h) {
    if (w < 1 || h < 1 || l >= m.m_nWidth || t >= m.m_nHeight || l + w <= 0 || t + h <= 0)
        throw UsageError(what, "the rectangle covers no cell of the " + std::to_string(m.m_nWidth) +
                                   " x " + std::to_string(m.m_nHeight) +
                                   " map: nothing would change");
}

// Refuses a result of width x height cells beyond the limits. Sizes may be estimates in
// floating point (a turned or bent map), so anything not finite is refused too.
void CheckSize(const std::string& what, double width, double height, const EditLimits& limits) {
    const bool fits = std::isfinite(width) && std::isfinite(height) &&
                      width <= static_cast<double>(limits.maxSide) &&
                      height <= static_cast<double>(limits.maxSide) &&
                      width * height <= static_cast<double>(limits.maxCells);
    if (!fits)
        throw Error(what, "the result (" + std::to_string(std::llround(std::min(width, 1e18))) +
                              " x " + std::to_string(std::llround(std::min(height, 1e18))) +
                              " cells) would be larger than a map may be here");
}

// Runs a library edit on the map. The map is restored when the library left the grid as
// it was (every edit installs a new grid when it does its work) or the result exceeds the
// limits.
void Run(const std::string& what, CCtrlElvMap& m, const EditLimits& limits,
         const std::function<void(CCtrlElvMap&)>& edit) {
    RequireCells(what, m);
    const CCtrlElvMap before = m;  // shares the grid: no copy of the cells
    edit(m);
    if (m.m_pElevation.get() == before.m_pElevation.get()) {
        m = before;
        throw Error(what, "the result would be too large for a map");
    }
    try {
        CheckSize(what, m.m_nWidth, m.m_nHeight, limits);
    } catch (...) {
        m = before;
        throw;
    }
}

// The size a turn gives: quarter turns swap or keep the sides, other angles take the
// bounding box of the turned map.
void CheckTurnedSize(const std::string& what, const CCtrlElvMap& m, int degrees,
                     const EditLimits& limits) {
    const int a = (degrees % 360 + 360) % 360;
    const double w = m.m_nWidth, h = m.m_nHeight;
    if (a % 90 == 0) {
        CheckSize(what, a % 180 == 0 ? w : h, a % 180 == 0 ? h : w, limits);
        return;
    }
    const double rad = a * 3.14159265358979323846 / 180.0;
    const double cs = std::fabs(std::cos(rad)), sn = std::fabs(std::sin(rad));
    CheckSize(what, std::ceil(w * cs + h * sn), std::ceil(w * sn + h * cs), limits);
}

// The size a ring sector gives: the bounding box of the fan, whose outer arc is as long as
// the map is wide and whose ring is never deeper than the map has rows.
void CheckSectorSize(const std::string& what, const CCtrlElvMap& m, double angle, double inner,
                     const EditLimits& limits) {
    double outer = m.m_nWidth * 360.0 / angle / 6.28318;
    double innerRadius = outer * inner / 100.0;
    if (m.m_nHeight < outer - innerRadius) {
        const double k = m.m_nHeight / (outer - innerRadius);
        outer *= k;
        innerRadius *= k;
    }
    const double half = angle * 0.008726638888888888;
    const double xMax = angle < 180 ? std::sin(half) * outer : outer;
    const double yMin = std::min(std::cos(half) * outer, std::cos(half) * innerRadius);
    CheckSize(what, std::ceil(xMax) - std::floor(-xMax), std::ceil(outer) - std::floor(yMin),
              limits);
}

}  // namespace

MapEdit Flatten(const std::string& what) {
    return {what, [what](CCtrlElvMap& m, const EditLimits&) {
                RequireCells(what, m);
                // The erase works in place: on a grid of this map's own, so that the copies
                // sharing the old one (undo states, tiles being drawn) keep their terrain.
                m.CopyElevationDataToNewBuffer();
                m.EraseLandTopography();
                m.ElevationDataModified();
            }};
}

MapEdit Canvas(const std::string& what, long long width, long long height) {
    const int w = Bounded(what, "width", width, 1, INT_MAX);
    const int h = Bounded(what, "height", height, 1, INT_MAX);
    return {what, [=](CCtrlElvMap& m, const EditLimits& limits) {
                CheckSize(what, w, h, limits);
                m.ChangeCanvasSize(w, h);
                if (m.m_nWidth != w || m.m_nHeight != h)
                    throw Error(what, "the result would be too large for a map");
            }};
}

MapEdit Crop(const std::string& what, long long left, long long top, long long width,
             long long height) {
    const int l = Bounded(what, "left", left, INT_MIN, INT_MAX);
    const int t = Bounded(what, "top", top, INT_MIN, INT_MAX);
    const int w = Bounded(what, "width", width, 1, INT_MAX);
    const int h = Bounded(what, "height", height, 1, INT_MAX);
    return {what, [=](CCtrlElvMap& m, const EditLimits&) {
                RequireCells(what, m);
                RequireOnMap(what, m, l, t, w, h);
                m.ClipArea(l, t, w, h);
            }};
}

MapEdit Sink(const std::string& what, long long depth, long long left, long long top,
             long long width, long long height, bool keepLand) {
    const int d = Bounded(what, "depth", depth, -32768, 32767);
    const int l = Bounded(what, "left", left, INT_MIN, INT_MAX);
    const int t = Bounded(what, "top", top, INT_MIN, INT_MAX);
    const int w = Bounded(what, "width", width, 0, INT_MAX);
    const int h = Bounded(what, "height", height, 0, INT_MAX);
    return {what, [=](CCtrlElvMap& m, const EditLimits& limits) {
                RequireCells(what, m);
                RequireOnMap(what, m, l, t, w, h);
                Run(what, m, limits,
                    [=](CCtrlElvMap& mm) { mm.TransSink(d, l, t, w, h, keepLand, true); });
            }};
}

MapEdit Resize(const std::string& what, long long width, long long height) {
    const int w = Bounded(what, "width", width, 1, INT_MAX);
    const int h = Bounded(what, "height", height, 1, INT_MAX);
    return {what, [=](CCtrlElvMap& m, const EditLimits& limits) {
                CheckSize(what, w, h, limits);
                Run(what, m, limits, [=](CCtrlElvMap& mm) { mm.TransSize(w, h, true); });
            }};
}

MapEdit Rotate(const std::string& what, long long degrees) {
    const int deg = Bounded(what, "angle", degrees, INT_MIN, INT_MAX);
    return {what, [=](CCtrlElvMap& m, const EditLimits& limits) {
                RequireCells(what, m);
                CheckTurnedSize(what, m, deg, limits);
                Run(what, m, limits, [=](CCtrlElvMap& mm) { mm.TransRotate(deg, true); });
            }};
}

MapEdit Sector(const std::string& what, double angle, double innerPercent) {
    Finite(what, "ANGLE", angle);
    Finite(what, "INNER", innerPercent);
    if (!(angle > 0 && angle <= 360))
        throw UsageError(what, "ANGLE must be above 0 and at most 360, got " + Shown(angle));
    if (!(innerPercent >= 0 && innerPercent < 100))
        throw UsageError(what, "INNER must be from 0 to below 100, got " + Shown(innerPercent));
    return {what, [=](CCtrlElvMap& m, const EditLimits& limits) {
                RequireCells(what, m);
                CheckSectorSize(what, m, angle, innerPercent, limits);
                Run(what, m, limits,
                    [=](CCtrlElvMap& mm) { mm.TransSector(angle, innerPercent, true); });
            }};
}

MapEdit Barrel(const std::string& what, double a, double b, double c) {
    Finite(what, "A", a);
    Finite(what, "B", b);
    Finite(what, "C", c);
    return {what, [=](CCtrlElvMap& m, const EditLimits& limits) {
                Run(what, m, limits, [=](CCtrlElvMap& mm) { mm.TransBarrel(a, b, c, true); });
            }};
}

}  // namespace zumeld_edits
