// CCtrlElvMap's polygon members: spans clipped to the display area, and the point test.
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/geometry/ScanConvert.h"

namespace Zumeld {

int CCtrlElvMap::CalcPolygon(tagPOINT* pPoints, int nPoints, tagHorzLine* pLines, int nMaxLines) {
    return ScanConvertPolygon(pPoints, nPoints, m_nDisplayWidth, m_nDisplayHeight, pLines,
                              nMaxLines);
}

bool CCtrlElvMap::PtInPolygon(tagPOINT pt, tagPOINT* pPoints, int nPoints) {
    return PointInPolygon(pt, pPoints, nPoints);
}

}  // namespace Zumeld
