// The minimal host program shown in README.md, built against the shared library exactly
// as a host would build it. It exits 0 when the map drew a picture.
#include <zumeld/zumeld.h>

int main() {
    Zumeld::CCtrlElvMap map;            // holds the default texture set
    short cells[4 * 3] = {0, 0, 5, 9, 0, 3, 40, 80, 0, 0, 120, 200};
    map.SetElevationData(4, 3, cells);  // a 4 x 3 map
    map.StretchElevationData(0, 0, 4, 3, 400, 300);  // show it all at 400 x 300 pixels
    map.DrawAllMapOnBitmapBuffer(true, true, 0, false);
    HBITMAP picture = map.GetHbmp();    // the 24-bit picture
    return picture ? 0 : 1;
}
