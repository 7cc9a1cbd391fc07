// Making any terrain show, beside the relief style (style.h): vertical exaggeration and
// colours placed on the map's own elevations (render's --exaggerate and --colors auto). Both
// change the map, once, before it is drawn: through its public members and AddTexture; the
// renderer is the library's, unchanged. The map is the caller's, used from one thread.
#pragma once

#include <cstdint>

#include "zumeld/zumeld.h"

namespace zumeld_tiles {

// The largest exaggeration factor taken.
constexpr int kMaxExaggerate = 10000;

// --exaggerate F: every cell's elevation times F, rounded half away from zero and clamped
// to -32768..32767; land stays land (a cell that would round to 0 keeps its sign as 1 or -1).
// Returns the number of cells clamped. Requires: 0 < F <= kMaxExaggerate.
std::uint64_t ExaggerateElevations(Zumeld::CCtrlElvMap& map, double factor);

// The elevation below which 95 % of the map's land (cells above 0) lies: where the default
// texture set's 2000 falls on the built-in sample map. 1 for a map without land.
int AutoColorElevation(const Zumeld::CCtrlElvMap& map);

// --colors auto: adds the default textures (low land, high land, sea) as a new set whose
// blend elevation and fade lines (top and bottom) are `elevation`, and selects it. Returns
// false when the textures cannot be loaded or the map holds 100 sets already.
bool UseAutoColors(Zumeld::CCtrlElvMap& map, int elevation);

}  // namespace zumeld_tiles
