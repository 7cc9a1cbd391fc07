// Seams between tiles: for 2 x 2 blocks of inside tiles of the built-in map, at every zoom
// and in several styles, compares the four tiles with one picture of their union drawn at
// the same scale (512 x 512 pixels of the same cells). Where the library's picture of an
// area depends on where the area starts (texture origin, fade line, the shading neighbour
// at the last row and column) the two differ; this prints how many pixels differ, by how
// much, and how many of them lie on the tiles' inner edges. docs/PERFORMANCE.md keeps the
// outcome.
//
//   zumeld-tile-seams
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sample_map.h"
#include "tile.h"

namespace {

using zumeld_tiles::ReliefStyle;

struct Count {
    long pixels = 0, differing = 0, onSeam = 0;
    int maxChannel = 0;
};

const BYTE* Pixel(const Quobel::CControlBmp& b, int x, int y) {
    return b.GetBufferPtr() + static_cast<std::ptrdiff_t>(b.GetHeight() - 1 - y) * b.GetWidthBytes() +
           x * b.GetPixelBytes();
}

void CompareBlock(Zumeld::CCtrlElvMap& map, const ReliefStyle& style, int z, int bx, int by, Count& c) {
    const int baseZoom = zumeld_tiles::BaseZoom(map.m_nWidth, map.m_nHeight);
    const int cells = static_cast<int>(zumeld_tiles::TileCells(baseZoom, z));
    zumeld_tiles::PrepareArea(map, style, {bx * cells, by * cells, 2 * cells, 2 * cells}, 512, 512);
    zumeld_tiles::DrawRelief(map, style);
    const Quobel::CControlBmp whole = map.m_bmpInternal;
    for (int ty = 0; ty < 2; ++ty)
        for (int tx = 0; tx < 2; ++tx) {
            const Quobel::CControlBmp tile = zumeld_tiles::RenderTile(map, style, z, bx + tx, by + ty);
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x) {
                    const BYTE* a = Pixel(tile, x, y);
                    const BYTE* b = Pixel(whole, tx * 256 + x, ty * 256 + y);
                    int d = 0;
                    for (int k = 0; k < 3; ++k) d = std::max(d, std::abs(a[k] - b[k]));
                    ++c.pixels;
                    if (d == 0) continue;
                    ++c.differing;
                    c.maxChannel = std::max(c.maxChannel, d);
                    // The inner edges of the block: the tiles' last or first row and column.
                    const bool seam = (tx == 0 ? x == 255 : x == 0) || (ty == 0 ? y == 255 : y == 0);
                    c.onSeam += seam;
                }
        }
}

// The built-in map's terrain at width x height cells, measured in every style and zoom.
void Measure(int width, int height) {
    Zumeld::CCtrlElvMap map;
    const std::vector<short> cells = zumeld_formats::MakeSampleMap(width, height);
    map.SetElevationData(width, height, cells.data());
    const int baseZoom = zumeld_tiles::BaseZoom(map.m_nWidth, map.m_nHeight);
    struct Named {
        const char* name;
        ReliefStyle style;
    };
    std::vector<Named> styles = {{"default", {}}, {"relief 4", {}}, {"no texture", {}}, {"no shade, dim", {}}};
    styles[1].style.relief = 4;
    styles[2].style.texture = false;
    styles[3].style.shade = false;
    styles[3].style.dim = true;
    std::printf("map %d x %d (Z = %d)\n%-14s %4s %10s %10s %8s %12s\n", width, height, baseZoom, "style",
                "zoom", "pixels", "differing", "on seams", "max channel");
    for (const Named& n : styles)
        for (int z = 0; z <= baseZoom + zumeld_tiles::kMagnifyLevels; ++z) {
            const int tileCells = static_cast<int>(zumeld_tiles::TileCells(baseZoom, z));
            // 2 x 2 blocks inside the map at this zoom, at most 8 of them spread out.
            const int across = map.m_nWidth / tileCells - 1, down = map.m_nHeight / tileCells - 1;
            if (across < 1 || down < 1) continue;
            Count c;
            for (int k = 0; k < 8; ++k) CompareBlock(map, n.style, z, k * 7 % across, k * 5 % down, c);
            std::printf("%-14s %4d %10ld %10ld %8ld %12d\n", n.name, z, c.pixels, c.differing, c.onSeam,
                        c.maxChannel);
        }
}

}  // namespace

int main() {
    Measure(zumeld_formats::kSampleWidth, zumeld_formats::kSampleHeight);
    Measure(4096, 3072);  // zooms below the base zoom: reduced pictures
    return 0;
}
