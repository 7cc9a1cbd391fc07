// How a picture of a map area is drawn: the relief options that the render command and the
// tile renderer share, with their bounds, and the library calls that turn them into a
// picture. The map is the caller's and is used from one thread at a time.
#pragma once

#include <vector>

#include "zumeld/zumeld.h"

namespace zumeld_tiles {

constexpr int kMaxReliefLevel = 1000000;
constexpr int kMaxSeason = 3;

struct ReliefStyle {
    int relief = 1;  // 1..kMaxReliefLevel: the shading gain is divided by it
    int season = 0;  // 0..kMaxSeason
    bool shade = true;
    bool texture = true;
    COLORREF color = RGB(0xC0, 0xC0, 0xC0);  // flat land colour when texture is off
    bool dim = false;                        // land at three quarters of its brightness
};

// Map cells: left and top cell, width and height.
struct CellArea {
    int left = 0, top = 0, width = 0, height = 0;
};

// Sets the style's relief level and season and resamples the area to a picture of
// width x height pixels in the map's picture buffer, ready to draw.
// Requires: a map with cells; 0 <= left < map width, 0 <= top < map height; 1 <= sizes;
// at least one picture column and row on the map. Otherwise: throws zumeld_formats::Error.
void PrepareArea(Zumeld::CCtrlElvMap& map, const ReliefStyle& style, const CellArea& area,
                 int width, int height);

// Draws the relief over the whole prepared picture.
void DrawRelief(Zumeld::CCtrlElvMap& map, const ReliefStyle& style);
// Draws the relief inside a polygon of picture pixels.
// Requires: at least 3 points.
void DrawReliefPolygon(Zumeld::CCtrlElvMap& map, const ReliefStyle& style,
                       std::vector<tagPOINT> points);
// Draws the relief on the picture's top-left width x height pixels only.
// Requires: 1 <= width, height <= the prepared picture's size.
void DrawReliefRect(Zumeld::CCtrlElvMap& map, const ReliefStyle& style, int width, int height);

}  // namespace zumeld_tiles
