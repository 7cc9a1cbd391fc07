// Terrain edits with checked arguments: what `zumeld edit` and the server's edit API apply.
// Each maker bounds its arguments as the tool's options are bounded and throws a usage
// Error naming `what` otherwise; applying an edit refuses a result larger than the limits
// (checked before the work where the result size is known in advance) and reports a
// library refusal, never a silent no-op. An edit that throws leaves the map as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "zumeld/zumeld.h"

namespace zumeld_edits {

// The largest map an edit may make.
struct EditLimits {
    std::int64_t maxSide = std::numeric_limits<int>::max();
    std::int64_t maxCells = std::numeric_limits<std::int64_t>::max();
};

struct MapEdit {
    std::string what;  // names the edit in errors, e.g. "--sink"
    // Applies the edit. Throws zumeld_formats::Error when the map has no cells, the result
    // would exceed the limits or the library refuses the edit.
    std::function<void(Zumeld::CCtrlElvMap&, const EditLimits&)> apply;
};

// Land flattened to elevation 1.
MapEdit Flatten(const std::string& what);
// The canvas made width x height cells, the top-left part kept (new cells sea).
MapEdit Canvas(const std::string& what, long long width, long long height);
// Cropped to a rectangle, clipped to the map. A rectangle that covers no cell is refused
// (usage Error) when applied, as is a sink's: the edit would change nothing.
MapEdit Crop(const std::string& what, long long left, long long top, long long width,
             long long height);
// Land in the rectangle lowered by depth (-32768..32767; negative raises); with keepLand
// land stops at 1 instead of turning to sea.
MapEdit Sink(const std::string& what, long long depth, long long left, long long top,
             long long width, long long height, bool keepLand);
// The terrain stretched or squeezed to width x height cells.
MapEdit Resize(const std::string& what, long long width, long long height);
// Turned counterclockwise by whole degrees.
MapEdit Rotate(const std::string& what, long long degrees);
// Bent into a ring sector spanning 0 < angle <= 360 degrees with an inner radius of
// 0 <= innerPercent < 100 per cent.
MapEdit Sector(const std::string& what, double angle, double innerPercent);
// Each row squeezed into the centred span of half-width -(a y^2 + b y + c).
MapEdit Barrel(const std::string& what, double a, double b, double c);

}  // namespace zumeld_edits
