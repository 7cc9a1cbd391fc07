// Small TIFF files made with libtiff for the GeoTIFF reader tests: any sample type,
// strips or tiles, any codec and byte order, classic or BigTIFF, with GDAL no-data and
// georeferencing.
#pragma once

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

struct TiffLayout {
    int format = SAMPLEFORMAT_INT, bits = 16, bands = 1;  // values in the first band
    int width = 37, height = 23;
    int tile = 0, rowsPerStrip = 4;  // tile side, 0 for strips
    int compression = COMPRESSION_NONE, predictor = PREDICTOR_NONE;
    const char* mode = "w";  // "wb": big-endian, "w8": BigTIFF
    const char* nodata = nullptr;
    int photometric = PHOTOMETRIC_MINISBLACK;
    std::vector<double> scale = {}, tie = {};  // ModelPixelScale, ModelTiepoint
    std::vector<std::uint16_t> keys = {};      // GeoKeyDirectory
};

// Writes the file and returns its bytes; sample (x, y) is value(x, y) converted to the sample
// type (integers cut to their low bytes, on a little-endian host).
inline std::vector<std::uint8_t> WriteTiff(const std::string& path, const TiffLayout& s,
                                           const std::function<double(int, int)>& value) {
    static const TIFFFieldInfo kTags[] = {
        {42113, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char*>("GDALNoData")},
        {33550, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("PixelScale")},
        {33922, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("Tiepoint")},
        {34735, -1, -1, TIFF_SHORT, FIELD_CUSTOM, 1, 1, const_cast<char*>("GeoKeys")}};
    TIFF* t = TIFFOpen(path.c_str(), s.mode);
    if (!t) return {};
    TIFFMergeFieldInfo(t, kTags, 4);
    const int tw = s.tile ? s.tile : s.width, th = s.tile ? s.tile : 1;
    // clang-format off
    const std::pair<int, int> fields[] = {
        {TIFFTAG_IMAGEWIDTH, s.width}, {TIFFTAG_IMAGELENGTH, s.height}, {TIFFTAG_SAMPLESPERPIXEL, s.bands},
        {TIFFTAG_BITSPERSAMPLE, s.bits},
        {TIFFTAG_SAMPLEFORMAT, s.format}, {TIFFTAG_PHOTOMETRIC, s.photometric},
        {TIFFTAG_COMPRESSION, s.compression}, {TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG},
        {s.tile ? TIFFTAG_TILEWIDTH : TIFFTAG_ROWSPERSTRIP, s.tile ? tw : s.rowsPerStrip},
        {s.tile ? TIFFTAG_TILELENGTH : TIFFTAG_ROWSPERSTRIP, s.tile ? th : s.rowsPerStrip}};
    // clang-format on
    for (const auto& [tag, v] : fields) TIFFSetField(t, tag, v);
    if (s.predictor != PREDICTOR_NONE) TIFFSetField(t, TIFFTAG_PREDICTOR, s.predictor);
    if (s.nodata) TIFFSetField(t, 42113, s.nodata);
    if (!s.scale.empty()) TIFFSetField(t, 33550, static_cast<int>(s.scale.size()), s.scale.data());
    if (!s.tie.empty()) TIFFSetField(t, 33922, static_cast<int>(s.tie.size()), s.tie.data());
    if (!s.keys.empty()) TIFFSetField(t, 34735, static_cast<int>(s.keys.size()), s.keys.data());
    std::vector<std::uint16_t> colours(256);  // a palette of black
    if (s.photometric == PHOTOMETRIC_PALETTE)
        TIFFSetField(t, TIFFTAG_COLORMAP, colours.data(), colours.data(), colours.data());
    // One tile, or one row of a strip, at a time; tiles padded with zeros.
    const int bytes = std::max(s.bits / 8, 1), pixel = bytes * s.bands;
    std::vector<unsigned char> piece(static_cast<std::size_t>(tw) * th * pixel);
    for (int y0 = 0; y0 < s.height; y0 += th)
        for (int x0 = 0; x0 < s.width; x0 += tw) {
            std::fill(piece.begin(), piece.end(), 0);
            for (int y = y0; y < std::min(y0 + th, s.height); ++y)
                for (int x = x0; x < std::min(x0 + tw, s.width); ++x) {
                    const double v = value(x, y);
                    const float f = static_cast<float>(v);
                    const auto i = static_cast<std::int64_t>(v);
                    const void* sources[] = {&i, &f, &v};
                    std::memcpy(&piece[((y - y0) * tw + x - x0) * pixel],
                                sources[s.format == SAMPLEFORMAT_IEEEFP ? s.bits / 32 : 0], bytes);
                }
            s.tile ? TIFFWriteTile(t, piece.data(), x0, y0, 0, 0)  // a failure shows in the file
                   : TIFFWriteScanline(t, piece.data(), y0, 0);
        }
    TIFFClose(t);
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}
