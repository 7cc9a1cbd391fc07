// CCtrlElvMap: construction, copies, destruction, settings and the grid operations. The
// cell work is done by the kernels of Grid.h; the members here check sizes, manage the
// shared blocks and keep the five grid sizes in step with the grid.
#include "zumeld/elevation/CtrlElvMap.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "zumeld/elevation/Grid.h"
#include "zumeld/elevation/MapFields_p.h"

namespace Zumeld {

namespace {

std::size_t HeldCells(const CCtrlElvMap& map) {
    if (!map.m_pElevation) return 0;
    return static_cast<std::size_t>(map.m_nBufferWidth) *
           static_cast<std::size_t>(map.m_nBufferHeight);
}

// Gives a freshly filled map grid its margin; a grid without a map row or column is all
// margin and is set to sea.
void FinishGrid(short* grid, int width, int height, std::size_t cells) {
    if (width >= 1 && height >= 1)
        FillGridMargin(grid, width, height);
    else
        std::memset(grid, 0, cells * sizeof(short));
}

// Every member but m_dib and m_bmpInternal, which the callers copy with their own copy
// operations. Blocks are shared, not duplicated. A source that draws into its own internal
// bitmap gives a copy that draws into its own internal bitmap (which shares the picture).
void CopyFields(CCtrlElvMap& dst, const CCtrlElvMap& src) {
    std::copy(std::begin(src.m_textureSlots), std::end(src.m_textureSlots),
              std::begin(dst.m_textureSlots));
    std::copy(std::begin(src.m_bFourSeasons), std::end(src.m_bFourSeasons),
              std::begin(dst.m_bFourSeasons));
    dst.m_nTextureSetCount = src.m_nTextureSetCount;
    dst.m_nSelectedTexture = src.m_nSelectedTexture;
    dst.m_nSeason = src.m_nSeason;
    dst.m_pElevation = src.m_pElevation;
    dst.m_nWidth = src.m_nWidth;
    dst.m_nHeight = src.m_nHeight;
    dst.m_nBufferWidth = src.m_nBufferWidth;
    dst.m_nBufferHeight = src.m_nBufferHeight;
    dst.m_nRowBytes = src.m_nRowBytes;
    dst.m_pDisplayElevation = src.m_pDisplayElevation;
    dst.m_nStretchLeft = src.m_nStretchLeft;
    dst.m_nStretchTop = src.m_nStretchTop;
    dst.m_nStretchWidth = src.m_nStretchWidth;
    dst.m_nStretchHeight = src.m_nStretchHeight;
    dst.m_nDisplayWidth = src.m_nDisplayWidth;
    dst.m_nDisplayHeight = src.m_nDisplayHeight;
    dst.m_nDisplayBufferWidth = src.m_nDisplayBufferWidth;
    dst.m_nDisplayBufferHeight = src.m_nDisplayBufferHeight;
    dst.m_nDisplayRowBytes = src.m_nDisplayRowBytes;
    dst.m_dDisplayScale = src.m_dDisplayScale;
    dst.m_pBmp = (src.m_pBmp == &src.m_bmpInternal) ? &dst.m_bmpInternal : src.m_pBmp;
    dst.m_nOverlapParam1 = src.m_nOverlapParam1;
    dst.m_nOverlapParam2 = src.m_nOverlapParam2;
    dst.m_pOverlapPixels = src.m_pOverlapPixels;
    dst.m_nOverlapWidth = src.m_nOverlapWidth;
    dst.m_nOverlapHeight = src.m_nOverlapHeight;
    dst.m_nOverlapRowBytes = src.m_nOverlapRowBytes;
    dst.m_pDisplayOverlap = src.m_pDisplayOverlap;
    dst.m_nDisplayOverlapWidth = src.m_nDisplayOverlapWidth;
    dst.m_nDisplayOverlapHeight = src.m_nDisplayOverlapHeight;
    dst.m_nDisplayOverlapRowBytes = src.m_nDisplayOverlapRowBytes;
    dst.m_nReliefLevel = src.m_nReliefLevel;
    dst.m_pCompressedData = src.m_pCompressedData;
    dst.m_nCompressedSize = src.m_nCompressedSize;
    dst.m_nCompressedMaxElevation = src.m_nCompressedMaxElevation;
    dst.m_nSaveType = src.m_nSaveType;
}

}  // namespace

// ---- Lifetime -------------------------------------------------------------------------------

CCtrlElvMap::CCtrlElvMap() {
    m_nTextureSetCount = 0;
    m_nSelectedTexture = 0;
    m_nSeason = 0;
    m_nWidth = 0;
    m_nHeight = 0;
    SetStretchArguments(*this, 0);
    // A map that cannot find its default textures holds no set and draws nothing.
    LoadDefaultTexture();
    m_nOverlapParam1 = 0;
    m_nOverlapParam2 = 0;
    m_nReliefLevel = 1;
    m_pBmp = &m_bmpInternal;
    m_nCompressedSize = 0;
    m_nSaveType = 0;
}

CCtrlElvMap::~CCtrlElvMap() {
    RemoveAllTexture();
    m_pElevation.reset();
    m_pDisplayElevation.reset();
    m_pOverlapPixels.reset();
    m_pDisplayOverlap.reset();
    DeleteCompressedData();
}

CCtrlElvMap::CCtrlElvMap(const CCtrlElvMap& src)
    : m_dib(src.m_dib), m_bmpInternal(src.m_bmpInternal) {
    CopyFields(*this, src);
}

CCtrlElvMap& CCtrlElvMap::operator=(const CCtrlElvMap& src) {
    if (this == &src) return *this;
    m_dib = src.m_dib;
    m_bmpInternal = src.m_bmpInternal;
    CopyFields(*this, src);
    return *this;
}

// ---- Grid operations ---------------------------------------------------------------------------

void CCtrlElvMap::CreateNewMap(int nWidth, int nHeight) {
    const std::size_t cells = GridCellCount(nWidth, nHeight);
    if (cells == 0) return;
    // The old grid goes first, so that a failed allocation leaves no grid, not a stale one.
    DropGrid(*this);
    m_pElevation = SharedBlock<short>::AllocateZeroed(cells);
    SetGridSizes(*this, nWidth, nHeight);
    m_pDisplayElevation.reset();
    SetStretchArguments(*this, 0);
}

void CCtrlElvMap::ChangeCanvasSize(int nWidth, int nHeight) {
    const std::size_t cells = GridCellCount(nWidth, nHeight);
    if (cells == 0) return;
    SharedBlock<short> grid = SharedBlock<short>::AllocateZeroed(cells);
    if (m_pElevation)
        CopyGridBlock(grid.get(), static_cast<std::ptrdiff_t>(nWidth) + 1, m_pElevation.get(),
                      m_nBufferWidth, std::min(m_nWidth, nWidth), std::min(m_nHeight, nHeight));
    m_pElevation = grid;
    SetGridSizes(*this, nWidth, nHeight);
}

void CCtrlElvMap::ClipArea(int nLeft, int nTop, int nWidth, int nHeight) {
    if (!m_pElevation) return;
    // 64-bit so that no combination of arguments can overflow.
    std::int64_t left = std::max(nLeft, 0);
    std::int64_t top = std::max(nTop, 0);
    std::int64_t width = nWidth;
    std::int64_t height = nHeight;
    if (left + width > m_nWidth) width = m_nWidth - left;
    if (top + height > m_nHeight) height = m_nHeight - top;
    if (width <= 0 || height <= 0) {
        left = 0;
        top = 0;
        width = m_nWidth;
        height = m_nHeight;
    }
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    const std::size_t cells = GridCellCount(w, h);  // never more than the grid held now
    SharedBlock<short> grid = SharedBlock<short>::Allocate(cells);
    CopyGridBlock(grid.get(), static_cast<std::ptrdiff_t>(w) + 1,
                  m_pElevation.get() + top * m_nBufferWidth + left, m_nBufferWidth, w, h);
    // The cut-off margin is rebuilt from the new last column and row.
    FinishGrid(grid.get(), w, h, cells);
    m_pElevation = grid;
    SetGridSizes(*this, w, h);
}

void CCtrlElvMap::SetElevationData(int nWidth, int nHeight, const short* pData) {
    const std::size_t cells = GridCellCount(nWidth, nHeight);
    if (cells == 0 || pData == nullptr) return;
    // The host's array may lie inside the grid being replaced (a copy of this map's grid
    // pointer); the old grid is then kept until the cells have been read from it.
    SharedBlock<short> keep;
    const std::size_t held = HeldCells(*this);
    const short* old = m_pElevation.get();
    if (held != 0 && std::greater_equal<const short*>()(pData, old) &&
        std::less<const short*>()(pData, old + held))
        keep = m_pElevation;
    DropGrid(*this);
    m_pElevation = SharedBlock<short>::Allocate(cells);
    CopyGridBlock(m_pElevation.get(), static_cast<std::ptrdiff_t>(nWidth) + 1, pData, nWidth,
                  nWidth, nHeight);
    FinishGrid(m_pElevation.get(), nWidth, nHeight, cells);
    SetGridSizes(*this, nWidth, nHeight);
}

void CCtrlElvMap::ClearElevationData() {
    const std::size_t cells = HeldCells(*this);
    if (cells != 0) std::memset(m_pElevation.get(), 0, cells * sizeof(short));
}

void CCtrlElvMap::CopyElevationDataToNewBuffer() {
    const std::size_t cells = HeldCells(*this);
    if (cells == 0) return;
    SharedBlock<short> grid = SharedBlock<short>::Allocate(cells);
    std::memcpy(grid.get(), m_pElevation.get(), cells * sizeof(short));
    // Other holders of the previous grid keep it; it is released with its last holder.
    m_pElevation = grid;
}

void CCtrlElvMap::FillGapOfElevationData() {
    if (m_pElevation) FillGridMargin(m_pElevation.get(), m_nWidth, m_nHeight);
}

void CCtrlElvMap::ElevationDataModified() {
    SetStretchArguments(*this, -1);
}

void CCtrlElvMap::EraseLandTopography() {
    const std::size_t cells = HeldCells(*this);
    if (cells == 0) return;
    EraseLandCells(m_pElevation.get(), cells);
    DeleteCompressedData();
}

void CCtrlElvMap::DeleteCompressedData() {
    m_pCompressedData.reset();
    m_nCompressedSize = 0;
}

}  // namespace Zumeld
