#include "georef.h"

#include <cctype>
#include <cstdio>

namespace zumeld_formats {

namespace {

// The keys of a longitude and latitude grid on WGS 84.
constexpr std::uint16_t kModelTypeKey = 1024;
constexpr std::uint16_t kGeographicTypeKey = 2048;
constexpr std::uint16_t kModelTypeGeographic = 2;
constexpr std::uint16_t kWgs84 = 4326;

}  // namespace

GeoReference Resampled(const GeoReference& geo, double left, double top, double cellsX,
                       double cellsY) {
    GeoReference out = geo;
    const auto& t = geo.transform;
    out.transform = {t[0] + left * t[1] + top * t[2], t[1] * cellsX, t[2] * cellsY,
                     t[3] + left * t[4] + top * t[5], t[4] * cellsX, t[5] * cellsY};
    return out;
}

namespace {

// The directory's keys: after a header of version, revision, minor revision and key count,
// 4 shorts a key: id, tag location (0: the value is the 4th short), count, value or offset.
// 0 keys when the directory is not well formed.
std::size_t KeyCount(const std::vector<std::uint16_t>& keys) {
    if (keys.size() < 4 || keys.size() - 4 < std::size_t{keys[3]} * 4) return 0;
    return keys[3];
}

}  // namespace

int GeoKeyValue(const std::vector<std::uint16_t>& keys, std::uint16_t id) {
    for (std::size_t k = 0; k < KeyCount(keys); ++k) {
        const std::uint16_t* key = &keys[4 + 4 * k];
        if (key[0] == id) return key[1] == 0 ? key[3] : -1;
    }
    return -1;
}

std::vector<std::uint16_t> KeysAsPixelIsArea(const std::vector<std::uint16_t>& keys) {
    if (KeyCount(keys) == 0) return {};
    std::vector<std::uint16_t> out = keys;
    for (std::size_t k = 0; k < KeyCount(keys); ++k) {
        std::uint16_t* key = &out[4 + 4 * k];
        if (key[0] == kRasterTypeKey && key[1] == 0) key[3] = kRasterPixelIsArea;
    }
    return out;
}

std::string WorldFileText(const GeoReference& geo) {
    const auto& t = geo.transform;
    char text[256];
    std::snprintf(text, sizeof text, "%.17g\n%.17g\n%.17g\n%.17g\n%.17g\n%.17g\n", t[1], t[4], t[2],
                  t[5], t[0] + 0.5 * t[1] + 0.5 * t[2], t[3] + 0.5 * t[4] + 0.5 * t[5]);
    return text;
}

std::string WorldFilePath(const std::string& picturePath) {
    const std::size_t dot = picturePath.rfind('.');
    const std::size_t slash = picturePath.find_last_of("/\\");
    if (dot == std::string::npos || dot + 1 == picturePath.size() ||
        (slash != std::string::npos && dot < slash))
        return picturePath + ".wld";
    return picturePath.substr(0, dot + 1) + picturePath[dot + 1] + picturePath.back() + 'w';
}

bool HgtGeoReference(const std::string& path, int side, GeoReference& geo) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    // Letter, two digits, letter, three digits, ".hgt".
    auto digits = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t k = at; k < at + n; ++k) {
            if (!std::isdigit(static_cast<unsigned char>(name[k]))) return -1;
            v = v * 10 + (name[k] - '0');
        }
        return v;
    };
    if (name.size() != 11) return false;
    const char ns = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    const char ew = static_cast<char>(std::toupper(static_cast<unsigned char>(name[3])));
    const int lat = digits(1, 2), lon = digits(4, 3);
    if ((ns != 'N' && ns != 'S') || (ew != 'E' && ew != 'W') || lat < 0 || lat > 89 || lon < 0 ||
        lon > 180)
        return false;
    const double south = ns == 'S' ? -lat : lat, west = ew == 'W' ? -lon : lon;
    const double cell = 1.0 / (side - 1);
    geo.transform = {west - cell / 2, cell, 0, south + 1 + cell / 2, 0, -cell};
    geo.keys = {1,
                1,
                0,
                3,
                kModelTypeKey,
                0,
                1,
                kModelTypeGeographic,
                kRasterTypeKey,
                0,
                1,
                kRasterPixelIsArea,
                kGeographicTypeKey,
                0,
                1,
                kWgs84};
    geo.doubles.clear();
    geo.ascii.clear();
    return true;
}

}  // namespace zumeld_formats
