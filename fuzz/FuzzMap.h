// Shared pieces of the map fuzz targets: a prototype map whose texture sets are prepared once
// (each target copies it, and copies share the prepared blocks) and the checks of the state a
// map must be in after any call.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/platform/afx.h"

namespace ZumeldFuzz {

inline const Zumeld::CCtrlElvMap& PrototypeMap() {
    static const Zumeld::CCtrlElvMap* proto = [] {
        // The messages bad files raise go nowhere: a run would print millions of them.
        AfxSetMessageBoxHandler([](const char*, UINT, UINT) { return IDOK; });
        return new Zumeld::CCtrlElvMap();
    }();
    return *proto;
}

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Sizes consistent with the grid; a held grid's margin repeats its last column and row;
// the target pointer is the internal bitmap or the given external one.
inline void CheckMapInvariants(const Zumeld::CCtrlElvMap& map, const Zumeld::CControlBmp* external,
                               bool checkMargin) {
    if (map.m_pBmp != &map.m_bmpInternal && (external == nullptr || map.m_pBmp != external))
        Fail("m_pBmp points neither at the internal nor at the external bitmap");
    if (!map.m_pElevation) return;
    if (map.m_nWidth < 0 || map.m_nHeight < 0) Fail("negative size with a grid");
    if (map.m_nBufferWidth != map.m_nWidth + 1) Fail("m_nBufferWidth != m_nWidth + 1");
    if (map.m_nBufferHeight != map.m_nHeight + 1) Fail("m_nBufferHeight != m_nHeight + 1");
    if (map.m_nRowBytes != map.m_nBufferWidth * 2) Fail("m_nRowBytes != 2 * m_nBufferWidth");
    if (!checkMargin || map.m_nWidth < 1 || map.m_nHeight < 1) return;
    const short* g = map.m_pElevation.get();
    const long stride = map.m_nBufferWidth;
    for (int y = 0; y < map.m_nHeight; ++y)
        if (g[y * stride + map.m_nWidth] != g[y * stride + map.m_nWidth - 1])
            Fail("margin column does not repeat the last map column");
    const short* last = g + static_cast<long>(map.m_nHeight - 1) * stride;
    const short* margin = g + static_cast<long>(map.m_nHeight) * stride;
    for (long x = 0; x < stride; ++x)
        if (margin[x] != last[x]) Fail("margin row does not repeat the last map row");
}

}  // namespace ZumeldFuzz
