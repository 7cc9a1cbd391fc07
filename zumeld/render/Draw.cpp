// The drawing members of CCtrlElvMap that run the span renderer: they pick the texture
// slot, make the call's parameters from the map's fields and hand the spans over.
#include <algorithm>
#include <vector>

#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/render/SpanRenderer.h"

namespace Zumeld {

namespace {

// Spans hold 16-bit coordinates: pictures larger than this are drawn in their first
// kMaxSpanCoordinate rows and columns.
constexpr int kMaxSpanCoordinate = 32768;
// The polygon overload draws at most this many spans.
constexpr int kMaxPolygonSpans = 20000;

DisplayGridView GridOf(const CCtrlElvMap& m) {
    DisplayGridView g;
    g.cells = m.m_pDisplayElevation.get();
    g.stride = m.m_nDisplayBufferWidth;
    g.bufferWidth = m.m_nDisplayBufferWidth;
    g.bufferHeight = m.m_nDisplayBufferHeight;
    g.width = m.m_nDisplayWidth;
    g.height = m.m_nDisplayHeight;
    return g;
}

}  // namespace

void CCtrlElvMap::DrawPolygonOnBitmapBuffer(tagHorzLine* pLines, int nLines, int nTone, bool bShade,
                                            bool bTexture, unsigned long color, bool bPaint) {
    if (m_pDisplayElevation == nullptr || pLines == nullptr || nLines <= 0) return;
    const tagTEXTURE_SLOT* slot = FindLiveSlot(m_textureSlots, m_bFourSeasons, m_nTextureSetCount,
                                               m_nSelectedTexture, m_nSeason);
    if (slot == nullptr) return;
    SpanSetup setup;
    setup.scale = m_dDisplayScale;
    setup.stretchLeft = m_nStretchLeft;
    setup.stretchTop = m_nStretchTop;
    setup.mapHeight = m_nHeight;
    setup.reliefLevel = m_nReliefLevel;
    setup.tone = nTone;
    setup.shade = bShade;
    setup.texture = bTexture;
    setup.color = static_cast<COLORREF>(color);
    setup.paint = bPaint;
    RenderSpans(GridOf(*this), PlanesOf(*slot), MakeSpanParams(setup, *slot), pLines, nLines,
                SurfaceOf(m_pBmp));
}

void CCtrlElvMap::DrawPolygonOnBitmapBuffer(tagPOINT* pPoints, int nPoints, int nTone, bool bShade,
                                            bool bTexture, unsigned long color, bool bPaint) {
    if (m_pDisplayElevation == nullptr) return;
    // On the heap rather than the stack: 120,000 bytes is a lot for a host thread's stack.
    std::vector<tagHorzLine> lines(kMaxPolygonSpans);
    const int n = CalcPolygon(pPoints, nPoints, lines.data(), kMaxPolygonSpans);
    if (n > 0)
        DrawPolygonOnBitmapBuffer(lines.data(), std::min(n, kMaxPolygonSpans), nTone, bShade,
                                  bTexture, color, bPaint);
}

void CCtrlElvMap::DrawAllMapOnBitmapBuffer(bool bShade, bool bTexture, unsigned long color,
                                           bool bDim) {
    if (m_pDisplayElevation == nullptr || m_nDisplayWidth <= 0 || m_nDisplayHeight <= 0) return;
    const int rows = std::min(m_nDisplayHeight, kMaxSpanCoordinate);
    const int right = std::min(m_nDisplayWidth, kMaxSpanCoordinate) - 1;
    std::vector<tagHorzLine> lines(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i)
        lines[static_cast<std::size_t>(i)] = {static_cast<short>(i), 0, static_cast<short>(right)};
    DrawPolygonOnBitmapBuffer(lines.data(), rows, bDim ? 2 : 0, bShade, bTexture, color, false);
}

}  // namespace Zumeld
