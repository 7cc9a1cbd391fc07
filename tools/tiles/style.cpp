#include "style.h"

#include <string>
#include <utility>

#include "error.h"

namespace zumeld_tiles {

using zumeld_formats::Error;

void PrepareArea(Zumeld::CCtrlElvMap& map, const ReliefStyle& style, const CellArea& area,
                 int width, int height) {
    if (!map.m_pElevation || map.m_nWidth < 1 || map.m_nHeight < 1)
        throw Error("render", "the map has no cells");
    const bool onMap = area.left >= 0 && area.left < map.m_nWidth && area.top >= 0 &&
                       area.top < map.m_nHeight && area.width >= 1 && area.height >= 1 &&
                       width >= 1 && height >= 1 &&
                       static_cast<long long>(map.m_nWidth - area.left) * width >= area.width &&
                       static_cast<long long>(map.m_nHeight - area.top) * height >= area.height;
    if (!onMap) throw Error("render", "not one picture column or row falls on the map");
    map.SetReliefLevel(style.relief);
    map.SetSeason(style.season);
    // The whole map at one pixel a cell is drawn from the grid itself: no copy of the cells
    // (the tools and the Python module never write a grid in place).
    const bool whole = area.left == 0 && area.top == 0 && area.width == map.m_nWidth &&
                       area.height == map.m_nHeight && width == area.width && height == area.height;
    if (!whole || !Zumeld::ShowWholeMapFromGrid(map))
        map.StretchElevationData(area.left, area.top, area.width, area.height, width, height);
    // A resampling the library refuses (a display grid past its size limit) leaves the last
    // area and picture in place, which must not be drawn over: a caller may still show it.
    const bool resampled = map.m_nStretchLeft == area.left && map.m_nStretchTop == area.top &&
                           map.m_nStretchWidth == area.width &&
                           map.m_nStretchHeight == area.height && map.m_nDisplayWidth == width &&
                           map.m_nDisplayHeight == height;
    if (!resampled || map.m_bmpInternal.GetBufferPtr() == nullptr)
        throw Error("render", "cannot make a picture of " + std::to_string(width) + " x " +
                                  std::to_string(height));
}

void DrawRelief(Zumeld::CCtrlElvMap& map, const ReliefStyle& style) {
    map.DrawAllMapOnBitmapBuffer(style.shade, style.texture, style.color, style.dim);
}

namespace {

// The tone the whole-picture drawing gives land for the style (2: three quarters).
int Tone(const ReliefStyle& style) {
    return style.dim ? 2 : 0;
}

}  // namespace

void DrawReliefPolygon(Zumeld::CCtrlElvMap& map, const ReliefStyle& style,
                       std::vector<tagPOINT> points) {
    map.DrawPolygonOnBitmapBuffer(points.data(), static_cast<int>(points.size()), Tone(style),
                                  style.shade, style.texture, style.color, false);
}

void DrawReliefRect(Zumeld::CCtrlElvMap& map, const ReliefStyle& style, int width, int height) {
    std::vector<Zumeld::tagHorzLine> lines(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        lines[static_cast<std::size_t>(y)] = {static_cast<short>(y), 0,
                                              static_cast<short>(width - 1)};
    map.DrawPolygonOnBitmapBuffer(lines.data(), height, Tone(style), style.shade, style.texture,
                                  style.color, false);
}

}  // namespace zumeld_tiles
