// CCtrlElvMap::StretchElevationData: the display grid, the display overlay and the target
// buffer's size for a map area and a picture size, kept until the arguments change or the
// map is marked modified. The cells come from the kernels of Resample.h. ShowWholeMapFromGrid:
// the whole map at one pixel a cell, drawn from the grid itself.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/transform/Resample.h"

namespace Zumeld {

namespace {

// The map grid with its margin; an empty view when the sizes do not describe one.
GridView MapGrid(const CCtrlElvMap& map) {
    if (!map.m_pElevation || map.m_nBufferWidth < map.m_nWidth + 1 ||
        map.m_nBufferHeight < map.m_nHeight + 1)
        return {};
    return GridView{map.m_pElevation.get(), map.m_nBufferWidth, map.m_nWidth, map.m_nHeight};
}

bool IsCached(const CCtrlElvMap& map, const ResampleArea& a) {
    return map.m_nStretchLeft == a.left && map.m_nStretchTop == a.top &&
           map.m_nStretchWidth == a.srcWidth && map.m_nStretchHeight == a.srcHeight &&
           map.m_nDisplayWidth == a.dispWidth && map.m_nDisplayHeight == a.dispHeight;
}

// Drawing takes spans of 16-bit coordinates: it reaches this many display columns and rows.
constexpr int kMaxDisplaySide = 32768;

// The display grid, the target picture (24 bits, rows padded to 4 bytes) and the display
// overlay (4 bytes a pixel) are each one block, sized in 32-bit ints.
bool FitsOneBlock(std::uint64_t rowBytes, int rows) {
    return rowBytes * static_cast<std::uint64_t>(rows) <= 0x7FFFFFFF;
}

// The part of the overlay picture the area shows; an empty fit without an overlay picture.
OverlayFit DisplayOverlayFit(const CCtrlElvMap& map, const ResampleArea& a) {
    if (!map.m_pOverlapPixels) return {};
    return FitDisplayOverlay(map.m_nOverlapWidth, map.m_nOverlapHeight, a);
}

// A block of `count` elements for a display buffer: the one held, when no copy shares it and
// it has that size (a host panning over the map asks for the same size again and again, so
// the block is written over rather than replaced by fresh memory), else a new one.
template <typename T>
SharedBlock<T> BlockFor(const SharedBlock<T>& held, bool sameSize, std::size_t count) {
    return held && sameSize && held.use_count() == 1 ? held : SharedBlock<T>::Allocate(count);
}

// Installs `cells` as the display grid of the area, laid out as the target says.
void InstallDisplayGrid(CCtrlElvMap& m, const SharedBlock<short>& cells, const ResampleArea& a,
                        const ResampleTarget& t) {
    m.m_dDisplayScale = static_cast<double>(a.dispWidth) / a.srcWidth;
    m.m_pDisplayElevation = cells;
    m.m_nStretchLeft = a.left;
    m.m_nStretchTop = a.top;
    m.m_nStretchWidth = a.srcWidth;
    m.m_nStretchHeight = a.srcHeight;
    m.m_nDisplayWidth = a.dispWidth;
    m.m_nDisplayHeight = a.dispHeight;
    m.m_nDisplayBufferWidth = t.width;
    m.m_nDisplayBufferHeight = t.height;
    m.m_nDisplayRowBytes = t.width * 2;
}

// The picture's 24-bit rows, padded to 4 bytes, fit one block.
bool PictureFits(int width, int height) {
    return FitsOneBlock((static_cast<std::uint64_t>(width) * 24 + 31) / 32 * 4, height);
}

}  // namespace

bool ShowWholeMapFromGrid(CCtrlElvMap& map) {
    const int w = map.m_nWidth, h = map.m_nHeight;
    const ResampleArea area{0, 0, w, h, w, h};
    ResampleTarget target;
    // The copy StretchElevationData would make is the grid itself, margin included, when
    // the grid is laid out as that copy would be.
    if (map.m_pOverlapPixels || w > kMaxDisplaySide || h > kMaxDisplaySide ||
        !DisplayGridFor(MapGrid(map), area, &target) || target.width != map.m_nBufferWidth ||
        target.height != map.m_nBufferHeight || !PictureFits(w, h))
        return false;
    if (map.m_pBmp != nullptr) map.m_pBmp->CreateBitmap(w, h, 24, 0, nullptr);
    InstallDisplayGrid(map, map.m_pElevation, area, target);
    map.m_pDisplayOverlap = nullptr;
    return true;
}

void CCtrlElvMap::StretchElevationData(int nLeft, int nTop, int nSrcWidth, int nSrcHeight,
                                       int nDispWidth, int nDispHeight) {
    const ResampleArea area{nLeft, nTop, nSrcWidth, nSrcHeight, nDispWidth, nDispHeight};
    const GridView grid = MapGrid(*this);
    ResampleTarget target;
    // Outside the contract (no grid, an area off the map, an empty size, a display the
    // drawing cannot reach or whose blocks would pass the size limit): no change at all.
    if (nDispWidth > kMaxDisplaySide || nDispHeight > kMaxDisplaySide ||
        !DisplayGridFor(grid, area, &target) ||
        !FitsOneBlock(static_cast<std::uint64_t>(target.width) * 2, target.height) ||
        !PictureFits(nDispWidth, nDispHeight))
        return;

    // Everything is allocated before anything is written or installed: running out of
    // memory leaves the display grid, the display overlay and the cache key as they were.
    const bool rebuild = !IsCached(*this, area);
    SharedBlock<short> cells;
    SharedBlock<BYTE> overlay;
    const OverlayFit fit = DisplayOverlayFit(*this, area);
    const bool hasOverlay = fit.width > 0 && fit.height > 0;
    if (rebuild) {
        if (hasOverlay && !FitsOneBlock(static_cast<std::uint64_t>(fit.width) * 4, fit.height))
            return;
        cells = BlockFor(
            m_pDisplayElevation,
            m_nDisplayBufferWidth == target.width && m_nDisplayBufferHeight == target.height,
            static_cast<std::size_t>(target.width) * static_cast<std::size_t>(target.height));
        if (hasOverlay)
            overlay = BlockFor(
                m_pDisplayOverlap,
                fit.width == m_nDisplayOverlapWidth && fit.height == m_nDisplayOverlapHeight,
                static_cast<std::size_t>(fit.width) * static_cast<std::size_t>(fit.height) * 4);
    }
    // Also on a cache hit: the target buffer is made the picture's size.
    if (m_pBmp != nullptr) m_pBmp->CreateBitmap(nDispWidth, nDispHeight, 24, 0, nullptr);
    if (!rebuild) return;

    ResampleElevation(grid, area, target, cells.get());
    if (hasOverlay) {
        const OverlayView picture{m_pOverlapPixels.get(), m_nOverlapWidth, m_nOverlapHeight,
                                  m_nOverlapRowBytes};
        if (!ResampleOverlay(picture, area, overlay.get())) overlay = nullptr;
    }

    InstallDisplayGrid(*this, cells, area, target);
    // Without an overlay picture the three display-overlay size fields keep their values.
    m_pDisplayOverlap = overlay;
    if (m_pOverlapPixels) {
        m_nDisplayOverlapWidth = fit.width;
        m_nDisplayOverlapHeight = fit.height;
        m_nDisplayOverlapRowBytes = fit.width * 4;
    }
}

short* CCtrlElvMap::StretchElevationData(int nLeft, int nTop, int nSrcWidth, int nSrcHeight,
                                         int nDispWidth, int nDispHeight, int nBufWidth,
                                         int nBufHeight, int nFillWidth, int nFillHeight) {
    const ResampleArea area{nLeft, nTop, nSrcWidth, nSrcHeight, nDispWidth, nDispHeight};
    const ResampleTarget target{nBufWidth, nBufHeight, nFillWidth, nFillHeight};
    const GridView grid = MapGrid(*this);
    if (!CanResample(grid, area, target)) return nullptr;
    std::unique_ptr<short[]> cells(
        new short[static_cast<std::size_t>(nBufWidth) * static_cast<std::size_t>(nBufHeight)]);
    ResampleElevation(grid, area, target, cells.get());
    return cells.release();
}

}  // namespace Zumeld
