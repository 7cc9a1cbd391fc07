#include "look.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace zumeld_tiles {

namespace {

// The default textures, as LoadDefaultTexture finds them among the library's resources.
constexpr int kDefaultTextureIds[3] = {2000, 2001, 2002};  // low land, high land, sea

// The share of land that lies below the auto colour elevation.
constexpr double kAutoColorShare = 0.95;

}  // namespace

std::uint64_t ExaggerateElevations(Zumeld::CCtrlElvMap& map, double factor) {
    if (!map.m_pElevation || map.m_nWidth < 1 || map.m_nHeight < 1) return 0;
    map.CopyElevationDataToNewBuffer();  // copies of the map keep the elevations they had
    std::uint64_t clamped = 0;
    for (int y = 0; y < map.m_nHeight; ++y) {
        short* row = map.m_pElevation.get() + static_cast<std::ptrdiff_t>(y) * map.m_nBufferWidth;
        for (int x = 0; x < map.m_nWidth; ++x) {
            if (row[x] == 0) continue;
            const double v = std::round(row[x] * factor);
            clamped += v < -32768.0 || v > 32767.0;
            const double e = std::clamp(v, -32768.0, 32767.0);
            row[x] = static_cast<short>(e != 0 ? e : row[x] > 0 ? 1 : -1);
        }
    }
    map.FillGapOfElevationData();
    map.ElevationDataModified();
    return clamped;
}

int AutoColorElevation(const Zumeld::CCtrlElvMap& map) {
    std::vector<std::uint64_t> count(32768, 0);
    std::uint64_t land = 0;
    for (int y = 0; y < map.m_nHeight && map.m_pElevation; ++y) {
        const short* row =
            map.m_pElevation.get() + static_cast<std::ptrdiff_t>(y) * map.m_nBufferWidth;
        for (int x = 0; x < map.m_nWidth; ++x)
            if (row[x] > 0) ++count[static_cast<std::size_t>(row[x])], ++land;
    }
    const double wanted = kAutoColorShare * static_cast<double>(land);
    std::uint64_t below = 0;
    for (int e = 1; e < 32768; ++e) {
        below += count[static_cast<std::size_t>(e)];
        if (static_cast<double>(below) >= wanted && below > 0) return e;
    }
    return 1;
}

bool UseAutoColors(Zumeld::CCtrlElvMap& map, int elevation) {
    // Each CBitmap deletes its GDI bitmap when it goes; the set goes first.
    CBitmap bitmaps[3];
    for (int i = 0; i < 3; ++i) {
        LPCSTR name = MAKEINTRESOURCE(kDefaultTextureIds[i]);
        HBITMAP hbmp = LoadBitmapA(AfxFindResourceHandle(name, RT_BITMAP), name);
        if (hbmp == nullptr) return false;
        bitmaps[i].Attach(hbmp);
    }
    Zumeld::tagTEXTURE_SET set;
    set.bmpLow[0].CreateDuplicate(bitmaps[0], 32, 0, nullptr);
    set.bmpHigh[0].CreateDuplicate(bitmaps[1], 32, 0, nullptr);
    set.bmpSea[0].CreateDuplicate(bitmaps[2], 32, 0, nullptr);
    set.nBlendElevation[0] = set.nFadeLineTop[0] = set.nFadeLineBottom[0] = elevation;
    const int index = map.AddTexture(&set);
    if (index < 0) return false;
    map.SelectTexture(index);
    return true;
}

}  // namespace zumeld_tiles
