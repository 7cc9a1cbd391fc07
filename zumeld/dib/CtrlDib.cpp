// CCtrlDib: the class itself (it holds no state) and the colour-table arithmetic on packed
// headers that every other DIB operation builds on.
#include "zumeld/dib/CtrlDib.h"

#include "zumeld/dib/DibFormat_p.h"

namespace Zumeld {

CCtrlDib::~CCtrlDib() = default;

// ---- Header arithmetic ----------------------------------------------------------------------

WORD CCtrlDib::DibNumColors(void* pv) {
    return pv ? dib::ColorTableEntries(pv) : 0;
}

WORD CCtrlDib::PaletteSize(void* pv) {
    return pv ? dib::ColorTableBytes(pv) : 0;
}

}  // namespace Zumeld
