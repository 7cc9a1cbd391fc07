// Internal: the groups of CCtrlElvMap fields that always change together, set in one place
// for the object code, the file loaders and the terrain edits.
#pragma once

#include "zumeld/elevation/CtrlElvMap.h"

namespace Zumeld {

// The grid's five sizes for a width x height map (the grid block itself is set by the caller).
inline void SetGridSizes(CCtrlElvMap& map, int width, int height) {
    map.m_nWidth = width;
    map.m_nHeight = height;
    map.m_nBufferWidth = width + 1;
    map.m_nBufferHeight = height + 1;
    map.m_nRowBytes = map.m_nBufferWidth * 2;
}

// Releases this object's hold on the grid; with no grid, all five sizes are 0.
inline void DropGrid(CCtrlElvMap& map) {
    map.m_pElevation.reset();
    map.m_nWidth = 0;
    map.m_nHeight = 0;
    map.m_nBufferWidth = 0;
    map.m_nBufferHeight = 0;
    map.m_nRowBytes = 0;
}

// The six cached resampling arguments: 0 after a new map or a load, -1 after an edit.
inline void SetStretchArguments(CCtrlElvMap& map, int value) {
    map.m_nStretchLeft = value;
    map.m_nStretchTop = value;
    map.m_nStretchWidth = value;
    map.m_nStretchHeight = value;
    map.m_nDisplayWidth = value;
    map.m_nDisplayHeight = value;
}

}  // namespace Zumeld
