// CCtrlElvMap::StretchElevationData: the display grid, the display overlay and the target
// buffer's size for a map area and a picture size, kept until the arguments change or the
// map is marked modified. The cells come from the kernels of Resample.h.
#include <cstddef>
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

// Rebuilds the display overlay for the area; without an overlay picture the display
// overlay is dropped and its three size fields keep their values.
void RebuildDisplayOverlay(CCtrlElvMap& map, const ResampleArea& a) {
    SharedBlock<BYTE> held;
    held.swap(map.m_pDisplayOverlap);
    if (!map.m_pOverlapPixels) return;
    const OverlayFit fit = FitDisplayOverlay(map.m_nOverlapWidth, map.m_nOverlapHeight, a);
    const bool sameSize =
        fit.width == map.m_nDisplayOverlapWidth && fit.height == map.m_nDisplayOverlapHeight;
    map.m_nDisplayOverlapWidth = fit.width;
    map.m_nDisplayOverlapHeight = fit.height;
    map.m_nDisplayOverlapRowBytes = fit.width * 4;
    if (fit.width <= 0 || fit.height <= 0) return;
    // As with the display grid: a block of the same size that no copy shares is reused.
    auto pixels = held && sameSize && held.use_count() == 1
                      ? held
                      : SharedBlock<BYTE>::Allocate(static_cast<std::size_t>(fit.width) *
                                                    static_cast<std::size_t>(fit.height) * 4);
    const OverlayView picture{map.m_pOverlapPixels.get(), map.m_nOverlapWidth,
                              map.m_nOverlapHeight, map.m_nOverlapRowBytes};
    if (ResampleOverlay(picture, a, pixels.get())) map.m_pDisplayOverlap = pixels;
}

}  // namespace

void CCtrlElvMap::StretchElevationData(int nLeft, int nTop, int nSrcWidth, int nSrcHeight,
                                       int nDispWidth, int nDispHeight) {
    const ResampleArea area{nLeft, nTop, nSrcWidth, nSrcHeight, nDispWidth, nDispHeight};
    const GridView grid = MapGrid(*this);
    ResampleTarget target;
    // Outside the contract (no grid, an area off the map, an empty size): no change at all.
    if (!DisplayGridFor(grid, area, &target)) return;

    if (!IsCached(*this, area)) {
        // A host panning over the map asks for the same size again and again: the grid it
        // holds alone is written over rather than replaced by fresh memory.
        const bool reuse = m_pDisplayElevation && m_pDisplayElevation.use_count() == 1 &&
                           m_nDisplayBufferWidth == target.width &&
                           m_nDisplayBufferHeight == target.height;
        auto cells = reuse ? m_pDisplayElevation
                           : SharedBlock<short>::Allocate(static_cast<std::size_t>(target.width) *
                                                          static_cast<std::size_t>(target.height));
        ResampleElevation(grid, area, target, cells.get());
        m_dDisplayScale = static_cast<double>(nDispWidth) / nSrcWidth;
        m_pDisplayElevation = cells;
        m_nStretchLeft = nLeft;
        m_nStretchTop = nTop;
        m_nStretchWidth = nSrcWidth;
        m_nStretchHeight = nSrcHeight;
        m_nDisplayWidth = nDispWidth;
        m_nDisplayHeight = nDispHeight;
        m_nDisplayBufferWidth = target.width;
        m_nDisplayBufferHeight = target.height;
        m_nDisplayRowBytes = target.width * 2;
        RebuildDisplayOverlay(*this, area);
    }
    // Also on a cache hit: the target buffer is made the picture's size.
    if (m_pBmp != nullptr) m_pBmp->CreateBitmap(m_nDisplayWidth, m_nDisplayHeight, 24, 0, nullptr);
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
