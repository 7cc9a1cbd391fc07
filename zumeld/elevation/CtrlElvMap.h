// CCtrlElvMap: the terrain elevation map. One object holds the grid of signed 16-bit
// elevations (0 = sea) with a margin column and row, the prepared texture sets, the drawing
// settings, the display grid resampled for the picture, the overlay pictures, the cached
// compressed image, and the bitmap buffer it draws into by default.
//
// Copies share every block (grid, display grid, overlays, compressed image, texture pixels)
// by reference count; each block is released once, by its last holder. A copy whose source
// drew into its own internal bitmap draws into its own copy of that bitmap. Operations that
// build a new grid (the Trans* edits, ClipArea, ChangeCanvasSize, SetElevationData, loads)
// leave other copies their old one, so a copy is an undo state; operations in place
// (ClearElevationData, EraseLandTopography, a host's writes through m_pElevation) are seen by
// every copy sharing the grid until CopyElevationDataToNewBuffer gives this map its own.
//
// The display grid and display overlay are kept for the six arguments of the last
// StretchElevationData. The Trans* edits mark them stale (ElevationDataModified), loads and
// CreateNewMap drop them; SetElevationData, ChangeCanvasSize, ClipArea, changes in place and
// SetOverlapBitmap leave that to the host.
// Not thread-safe: a map and its target buffer are used from one thread at a time.
#pragma once

#include "zumeld/bitmap/ControlBmp.h"
#include "zumeld/dib/CtrlDib.h"
#include "zumeld/geometry/HorzLine.h"
#include "zumeld/platform/afx.h"
#include "zumeld/render/TextureSet.h"
#include "zumeld/util/SharedBlock.h"

namespace Zumeld {

constexpr int kMaxTextureSets = 100;
constexpr int kTextureSlots = kMaxTextureSets * 4;

class ZUMELD_API CCtrlElvMap {
public:
    CCtrlElvMap();
    virtual ~CCtrlElvMap();
    CCtrlElvMap(const CCtrlElvMap& src);
    CCtrlElvMap& operator=(const CCtrlElvMap& src);

    // ---- Settings and target buffer ---------------------------------------------------------
    // 1: Serialize writes the cached compressed image of a map loaded from one, while that
    // picture is still the map's size; any other value, or another size: the coded grid.
    void SetSaveType(int nSaveType) { m_nSaveType = nSaveType; }
    // Requires: 0 <= nTexture < m_nTextureSetCount when drawing. Otherwise: draws nothing.
    void SelectTexture(int nTexture) { m_nSelectedTexture = nTexture; }
    // Requires: 0 <= nSeason <= 3 when drawing. Otherwise: draws nothing.
    void SetSeason(int nSeason) { m_nSeason = nSeason; }
    // Requires: nLevel >= 1. Otherwise: drawn as 1.
    void SetReliefLevel(int nLevel) { m_nReliefLevel = nLevel; }
    // The map draws into pBmp from now on; it does not take ownership. Null: the internal bitmap.
    void SetExternalBmp(CControlBmp* pBmp) { m_pBmp = pBmp ? pBmp : &m_bmpInternal; }
    void SetInternalBmp() { m_pBmp = &m_bmpInternal; }
    // The internal bitmap's handle, whatever the current target is.
    HBITMAP GetHbmp() const { return m_bmpInternal.GetHbmp(); }

    // ---- Grid operations ------------------------------------------------------------------------
    // Requires: 0 <= width, height; the grid fits in 2^31 - 1 bytes. Otherwise: no change.
    void CreateNewMap(int nWidth, int nHeight);
    // These three leave the display grid as it was: call ElevationDataModified before the
    // next StretchElevationData with the same arguments.
    // Requires: 0 <= width, height; the grid fits in 2^31 - 1 bytes. Otherwise: no change.
    void ChangeCanvasSize(int nWidth, int nHeight);
    // Crops to the rectangle, clipped to the map; an empty rectangle keeps the whole map.
    // Requires: a grid. Otherwise: no change.
    void ClipArea(int nLeft, int nTop, int nWidth, int nHeight);
    // Requires: pData holds nWidth x nHeight cells; 0 <= sizes; fits. Otherwise: no change.
    void SetElevationData(int nWidth, int nHeight, const short* pData);
    // In place: seen by every copy that shares the grid.
    void ClearElevationData();
    void CopyElevationDataToNewBuffer();
    void FillGapOfElevationData();
    // Marks the display grid stale: the next StretchElevationData rebuilds it.
    void ElevationDataModified();
    // In place, like ClearElevationData.
    void EraseLandTopography();
    void DeleteCompressedData();

    // ---- Files ------------------------------------------------------------------------------------
    void Serialize(CArchive& ar);
    bool LoadElevationFile(CString& strPath);
    bool Save3djFile(CArchive& ar, int nQuality);

    // ---- Textures ---------------------------------------------------------------------------------
    int AddTexture(tagTEXTURE_SET* pSet);
    int LoadDefaultTexture();
    void RemoveAllTexture();

    // ---- Drawing ----------------------------------------------------------------------------------
    void DrawAllMapOnBitmapBuffer(bool bShade, bool bTexture, unsigned long color, bool bDim);
    void DrawPolygonOnBitmapBuffer(tagHorzLine* pLines, int nLines, int nTone, bool bShade,
                                   bool bTexture, unsigned long color, bool bPaint);
    void DrawPolygonOnBitmapBuffer(tagPOINT* pPoints, int nPoints, int nTone, bool bShade,
                                   bool bTexture, unsigned long color, bool bPaint);
    void FillSeaColorOnBitmapBuffer();
    // Copies the picture; the display overlay follows at the next rebuild of the display grid
    // (StretchElevationData with new arguments, or after ElevationDataModified).
    void SetOverlapBitmap(HBITMAP hBitmap, int nOverlapParam1, int nOverlapParam2);
    void OverlapPictureOnBitmapBuffer();
    void OverlapPictureOnBitmapBuffer(int nX, int nY, int nCx, int nCy);
    void DrawLineOnBitmapBuffer(tagPOINT pt1, tagPOINT pt2, unsigned long color);

    // ---- Resampling and transforms --------------------------------------------------------------
    // Shows the map area of nSrcWidth x nSrcHeight cells at (nLeft, nTop) on a picture of
    // nDispWidth x nDispHeight pixels: builds the display grid and the display overlay
    // (kept while the six arguments stay the same, see above) and sizes the target buffer.
    // Requires: a grid; nLeft, nTop >= 0; sizes >= 1; one display column and row on the map;
    // display sides <= 32768; the display grid, overlay and target picture each fit in
    // 2^31 - 1 bytes. Otherwise: no change.
    void StretchElevationData(int nLeft, int nTop, int nSrcWidth, int nSrcHeight, int nDispWidth,
                              int nDispHeight);
    // A new array of nBufWidth x nBufHeight cells owned by the caller (free with delete[]).
    // Requires: a grid; 1 <= nFillWidth <= nBufWidth; 1 <= nFillHeight <= nBufHeight; every
    // computed cell maps inside the map grid. Otherwise: null.
    short* StretchElevationData(int nLeft, int nTop, int nSrcWidth, int nSrcHeight,
                                int nDispWidth, int nDispHeight, int nBufWidth, int nBufHeight,
                                int nFillWidth, int nFillHeight);
    // Terrain edits (zumeld/transform/Transforms.h): each builds a new grid and installs it,
    // refilling the margin and marking the display grid stale. bDeleteOld: grids are shared
    // by reference count, so the old grid is kept by any copy of the map (an undo state) and
    // released with its last holder, whatever the flag says.
    // Requires: a grid of at least 1 x 1 cells; the result fits in 2^31 - 1 bytes.
    // Otherwise: no change.
    // The rectangle is clipped to the map; a raise past 32767 saturates.
    void TransSink(int nDepth, int nLeft, int nTop, int nAreaWidth, int nAreaHeight,
                   bool bKeepLand, bool bDeleteOld);
    // Requires: nNewWidth, nNewHeight >= 1. Otherwise: no change.
    void TransSize(int nNewWidth, int nNewHeight, bool bDeleteOld);
    void TransRotate(int nAngle, bool bDeleteOld);
    // Requires: 0 < dAngle <= 360, 0 <= dInnerPercent < 100. Otherwise: no change.
    void TransSector(double dAngle, double dInnerPercent, bool bDeleteOld);
    // Rows whose span is reversed or empty (xl >= 0) become sea.
    void TransBarrel(double dA, double dB, double dC, bool bDeleteOld);

    // ---- Geometry ---------------------------------------------------------------------------------
    int CalcPolygon(tagPOINT* pPoints, int nPoints, tagHorzLine* pLines, int nMaxLines);
    bool PtInPolygon(tagPOINT pt, tagPOINT* pPoints, int nPoints);

protected:
    void ReadJpeg(CArchive& ar);
    // Installs a transform's result: the grid replacement every terrain edit ends with.
    void ReplaceElevationData(SharedBlock<short> pNew, int nNewWidth, int nNewHeight,
                              bool bDeleteOld);

public:
    // ---- Data (public, as plain data: hosts read the sizes and grids directly) -------------------
    CCtrlDib m_dib;
    tagTEXTURE_SLOT m_textureSlots[kTextureSlots];
    bool m_bFourSeasons[kMaxTextureSets] = {};
    int m_nTextureSetCount = 0;
    int m_nSelectedTexture = 0;
    int m_nSeason = 0;
    SharedBlock<short> m_pElevation;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nBufferWidth = 0;
    int m_nBufferHeight = 0;
    int m_nRowBytes = 0;
    SharedBlock<short> m_pDisplayElevation;
    int m_nStretchLeft = 0;
    int m_nStretchTop = 0;
    int m_nStretchWidth = 0;
    int m_nStretchHeight = 0;
    int m_nDisplayWidth = 0;
    int m_nDisplayHeight = 0;
    int m_nDisplayBufferWidth = 0;
    int m_nDisplayBufferHeight = 0;
    int m_nDisplayRowBytes = 0;
    double m_dDisplayScale = 0.0;
    CControlBmp m_bmpInternal;
    CControlBmp* m_pBmp = nullptr;
    int m_nOverlapParam1 = 0;
    int m_nOverlapParam2 = 0;
    SharedBlock<BYTE> m_pOverlapPixels;
    int m_nOverlapWidth = 0;
    int m_nOverlapHeight = 0;
    int m_nOverlapRowBytes = 0;
    SharedBlock<BYTE> m_pDisplayOverlap;
    int m_nDisplayOverlapWidth = 0;
    int m_nDisplayOverlapHeight = 0;
    int m_nDisplayOverlapRowBytes = 0;
    int m_nReliefLevel = 1;
    SharedBlock<BYTE> m_pCompressedData;
    int m_nCompressedSize = 0;
    short m_nCompressedMaxElevation = 0;
    int m_nSaveType = 0;
};

// StretchElevationData(0, 0, w, h, w, h) for a w x h map without its copy of the cells: the
// display grid is the map's grid itself (the copy would hold the same cells, margin
// included), so a whole-map picture costs no second grid. For a host that does not write
// the grid or the display grid in place while this display grid is kept (edits and loads
// install new grids); an overlay picture needs its resampled copy, so none may be set.
// Requires: a grid with its margin filled; no overlay picture. Otherwise: false, no change.
ZUMELD_API bool ShowWholeMapFromGrid(CCtrlElvMap& map);

}  // namespace Zumeld
