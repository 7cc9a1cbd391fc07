// Texture sets as the host hands them in (tagTEXTURE_SET) and as the map keeps them,
// prepared for the renderer (tagTEXTURE_SLOT).
//
// A slot's block holds the land plane (2 x nPlaneSize bytes: 8-byte texels low.B, high.B,
// low.G, high.G, low.R, high.R, 0, 0) and then the sea plane (nPlaneSize bytes: 4-byte
// texels B, G, R, fourth byte), both top row first. The block is shared by copies of a map.
#pragma once

#include "zumeld/bitmap/ControlBmp.h"
#include "zumeld/platform/afx.h"
#include "zumeld/util/SharedBlock.h"

namespace Zumeld {

using Quobel::CControlBmp;

struct ZUMELD_API tagTEXTURE_SET {
    DWORD dwFlags = 0;  // bit 0: four seasonal textures (indices 0..3); clear: one (index 0)
    CControlBmp bmpLow[4];
    CControlBmp bmpHigh[4];
    CControlBmp bmpSea[4];
    int nBlendElevation[4] = {};
    int nFadeLineTop[4] = {};
    int nFadeLineBottom[4] = {};
    CString strName;
};

struct tagTEXTURE_SLOT {
    int nWidth = 0;     // texels per row
    int nHeight = 0;    // rows
    int nRowBytes = 0;  // nWidth x 4
    int nPlaneSize = 0; // nRowBytes x nHeight
    SharedBlock<BYTE> pLandPixels;  // 3 x nPlaneSize bytes: land plane, then sea plane
    BYTE* pSeaPixels = nullptr;     // pLandPixels + 2 x nPlaneSize, not owned separately
    int nBlendElevation = 0;
    int nFadeLineTop = 0;
    int nFadeLineBottom = 0;
};

}  // namespace Zumeld
