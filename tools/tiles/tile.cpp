#include "tile.h"

#include <algorithm>

#include "error.h"

namespace zumeld_tiles {

int BaseZoom(int width, int height) {
    const std::int64_t side = std::max({width, height, 0});
    int z = 0;
    while ((std::int64_t{kTileSize} << z) < side) ++z;
    return z;
}

std::int64_t TileCells(int baseZoom, int z) {
    return z <= baseZoom ? std::int64_t{kTileSize} << (baseZoom - z) : kTileSize >> (z - baseZoom);
}

TilePlan PlanTile(int mapWidth, int mapHeight, int z, std::int64_t x, std::int64_t y) {
    TilePlan plan;
    const int baseZoom = BaseZoom(mapWidth, mapHeight);
    if (z < 0 || z > baseZoom + kMagnifyLevels) return plan;
    plan.fit = TileFit::kOutside;
    const std::int64_t cells = TileCells(baseZoom, z);
    // Tiles that start on the map: x below ceil(width / C), likewise y (no overflow: the
    // quotients are small and x, y are compared before they are multiplied).
    if (x < 0 || y < 0 || x >= (mapWidth + cells - 1) / cells ||
        y >= (mapHeight + cells - 1) / cells)
        return plan;
    const std::int64_t left = x * cells, top = y * cells;
    // Whole pixels on the map: the resampler computes floor(cells left * 256 / C) columns.
    const auto onMap = [&](std::int64_t cellsLeft) {
        return static_cast<int>(std::min<std::int64_t>(kTileSize, cellsLeft * kTileSize / cells));
    };
    plan.pixelsOnMapX = onMap(mapWidth - left);
    plan.pixelsOnMapY = onMap(mapHeight - top);
    if (plan.pixelsOnMapX == 0 || plan.pixelsOnMapY == 0) return plan;
    plan.area = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(cells),
                 static_cast<int>(cells)};
    const bool inside = plan.pixelsOnMapX == kTileSize && plan.pixelsOnMapY == kTileSize;
    plan.fit = inside ? TileFit::kInside : TileFit::kEdge;
    return plan;
}

Quobel::CControlBmp RenderTile(Zumeld::CCtrlElvMap& map, const ReliefStyle& style, int z,
                               std::int64_t x, std::int64_t y) {
    const TilePlan plan = PlanTile(map.m_nWidth, map.m_nHeight, z, x, y);
    if (plan.fit != TileFit::kInside && plan.fit != TileFit::kEdge)
        throw zumeld_formats::Error("tile", "no tile " + std::to_string(z) + "/" +
                                                std::to_string(x) + "/" + std::to_string(y));
    PrepareArea(map, style, plan.area, kTileSize, kTileSize);
    if (plan.fit == TileFit::kInside) {
        DrawRelief(map, style);
    } else {
        // The sea fill is tiled as the renderer tiles sea pixels (texture set 0, which is
        // the set drawn with), so the map's own sea and the sea beside it meet seamlessly.
        map.FillSeaColorOnBitmapBuffer();
        DrawReliefRect(map, style, plan.pixelsOnMapX, plan.pixelsOnMapY);
    }
    return map.m_bmpInternal;
}

MapFacts FactsOf(const Zumeld::CCtrlElvMap& map) {
    MapFacts f;
    if (!map.m_pElevation || map.m_nWidth < 1 || map.m_nHeight < 1) return f;
    f.width = map.m_nWidth;
    f.height = map.m_nHeight;
    f.baseZoom = BaseZoom(f.width, f.height);
    int lo = 32767, hi = -32768;
    std::uint64_t sea = 0;
    for (int y = 0; y < f.height; ++y) {
        const short* row =
            map.m_pElevation.get() + static_cast<std::ptrdiff_t>(y) * map.m_nBufferWidth;
        for (int x = 0; x < f.width; ++x) {
            lo = std::min<int>(lo, row[x]);
            hi = std::max<int>(hi, row[x]);
            sea += row[x] == 0;
        }
    }
    f.minElevation = lo;
    f.maxElevation = hi;
    f.seaShare = static_cast<double>(sea) / (static_cast<double>(f.width) * f.height);
    return f;
}

}  // namespace zumeld_tiles
