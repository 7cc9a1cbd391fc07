// The terrain-edit members of CCtrlElvMap: each runs its transform kernel on the current
// grid and installs the result through the one grid replacement. A kernel that refuses
// its input (no grid, no used cells, out-of-range arguments, a result too large) returns
// no grid, and the map is then left exactly as it was.
#include <utility>

#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/elevation/MapFields_p.h"
#include "zumeld/transform/Transforms.h"

namespace Zumeld {

namespace {

GridView ViewOfGrid(const CCtrlElvMap& map) {
    if (!map.m_pElevation || map.m_nBufferWidth < map.m_nWidth + 1) return {};
    return {map.m_pElevation.get(), map.m_nBufferWidth, map.m_nWidth, map.m_nHeight};
}

}  // namespace

// Grids are shared by reference count, so "freeing" the old grid means letting go of this
// map's hold on it, which the assignment below does whatever bDeleteOld says: a copy of
// the map taken before the edit (an undo state) keeps the old grid valid either way, and
// a grid that nobody holds any more is released either way rather than leaked.
void CCtrlElvMap::ReplaceElevationData(SharedBlock<short> pNew, int nNewWidth, int nNewHeight,
                                       bool /*bDeleteOld*/) {
    if (!pNew || nNewWidth < 1 || nNewHeight < 1) return;
    m_pElevation = std::move(pNew);
    SetGridSizes(*this, nNewWidth, nNewHeight);
    FillGapOfElevationData();
    ElevationDataModified();
}

void CCtrlElvMap::TransSink(int nDepth, int nLeft, int nTop, int nAreaWidth, int nAreaHeight,
                            bool bKeepLand, bool bDeleteOld) {
    TransformedGrid g =
        SinkArea(ViewOfGrid(*this), nDepth, nLeft, nTop, nAreaWidth, nAreaHeight, bKeepLand);
    ReplaceElevationData(std::move(g.cells), g.width, g.height, bDeleteOld);
}

void CCtrlElvMap::TransSize(int nNewWidth, int nNewHeight, bool bDeleteOld) {
    TransformedGrid g = ResizeGrid(ViewOfGrid(*this), nNewWidth, nNewHeight);
    ReplaceElevationData(std::move(g.cells), g.width, g.height, bDeleteOld);
}

void CCtrlElvMap::TransRotate(int nAngle, bool bDeleteOld) {
    TransformedGrid g = RotateGrid(ViewOfGrid(*this), nAngle);
    ReplaceElevationData(std::move(g.cells), g.width, g.height, bDeleteOld);
}

void CCtrlElvMap::TransSector(double dAngle, double dInnerPercent, bool bDeleteOld) {
    TransformedGrid g = SectorWarp(ViewOfGrid(*this), dAngle, dInnerPercent);
    ReplaceElevationData(std::move(g.cells), g.width, g.height, bDeleteOld);
}

void CCtrlElvMap::TransBarrel(double dA, double dB, double dC, bool bDeleteOld) {
    TransformedGrid g = BarrelWarp(ViewOfGrid(*this), dA, dB, dC);
    ReplaceElevationData(std::move(g.cells), g.width, g.height, bDeleteOld);
}

}  // namespace Zumeld
