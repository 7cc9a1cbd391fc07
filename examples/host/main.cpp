// A small host: builds a 64 x 48 island, draws it as textured, shaded relief at 320 x 240
// pixels and writes the picture as a .bmp file.
//
//   zumeld-host island.bmp
#include <zumeld/zumeld.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.bmp\n", argv[0]);
        return 2;
    }

    // Elevations: a round hill rising from the sea, with sea (0) at the edges.
    const int width = 64, height = 48;
    std::vector<short> cells(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double dx = (x - width / 2.0) / (width / 2.5);
            const double dy = (y - height / 2.0) / (height / 2.5);
            const double h = 900.0 * (1.0 - dx * dx - dy * dy);
            cells[static_cast<std::size_t>(y) * width + x] = h > 0 ? static_cast<short>(h) : 0;
        }

    Zumeld::CCtrlElvMap map;  // carries the default texture set
    map.SetElevationData(width, height, cells.data());
    map.StretchElevationData(0, 0, width, height, 320, 240);  // the whole map at 320 x 240
    map.FillSeaColorOnBitmapBuffer();
    map.DrawAllMapOnBitmapBuffer(true, true, 0, false);

    // The picture as a 24-bit DIB, written as a .bmp file.
    Zumeld::CCtrlDib dib;
    void* packed = dib.DibFromBitmap(map.GetHbmp(), BI_RGB, 24, nullptr);
    if (!packed) {
        std::fprintf(stderr, "zumeld-host: the map drew no picture\n");
        return 1;
    }
    std::string path = argv[1];
    const int written = dib.WriteDIB(path.data(), packed);
    GlobalFree(packed);
    if (!written) {
        std::fprintf(stderr, "zumeld-host: %s: cannot write the picture\n", argv[1]);
        return 1;
    }
    return 0;
}
