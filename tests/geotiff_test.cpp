// The GeoTIFF and .hgt readers on files made with libtiff: every sample type and layout,
// no-data, refusals with their reasons, the area average of --fit and georeferencing.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <tuple>

#include "error.h"
#include "geotiff.h"
#include "temp_dir.h"
#include "tiff_test_support.h"
#include "zumeld/zumeld.h"

using namespace zumeld_formats;

namespace {

// Writes the file and reads it back.
ElevationRaster WriteAndRead(const TempDir& dir, const TiffLayout& s,
                             const std::function<double(int, int)>& value,
                             const ImportOptions& o = {}) {
    return ReadGeoTiffRaster("t.tif", WriteTiff(dir.File("t.tif"), s, value), o);
}

// The reason a read is refused with ("read" when it is not), checked to be one line.
std::string Refusal(const std::function<void()>& read) {
    try {
        read();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
        return e.what();
    }
    return "read";
}

// Sets the type and value of a tag of the first directory of a classic little-endian TIFF.
void Patch(std::vector<std::uint8_t>& b, int tag, int type, std::uint32_t value) {
    const auto u16 = [&](std::size_t at) { return b[at] | b[at + 1] << 8; };
    const std::size_t ifd = b[4] | b[5] << 8 | b[6] << 16 | b[7] << 24;
    for (int k = 0; k < u16(ifd); ++k) {
        const std::size_t e = ifd + 2 + 12 * k;
        if (u16(e) != tag) continue;
        const std::uint32_t words[] = {static_cast<std::uint32_t>(tag | type << 16), 1, value};
        std::memcpy(&b[e], words, sizeof words);
        return;
    }
    FAIL() << "no tag " << tag;
}

TEST(GeoTiffReader, EverySampleTypeAndLayoutReadsBack) {
    TempDir dir;
    // clang-format off
    const TiffLayout cases[] = {
        {.format = SAMPLEFORMAT_UINT, .bits = 8},
        {.bits = 8, .compression = COMPRESSION_PACKBITS, .mode = "wb"},
        {.format = SAMPLEFORMAT_UINT, .tile = 16, .compression = COMPRESSION_LZW, .predictor = 2, .mode = "wb"},
        {.compression = COMPRESSION_ADOBE_DEFLATE, .predictor = 2, .mode = "w8"},
        {.format = SAMPLEFORMAT_UINT, .bits = 32, .tile = 16, .compression = COMPRESSION_ADOBE_DEFLATE},
        {.bits = 32, .compression = COMPRESSION_LZW, .predictor = 2, .mode = "wb8"},
        {.format = SAMPLEFORMAT_IEEEFP, .bits = 32, .tile = 16, .compression = COMPRESSION_ADOBE_DEFLATE, .predictor = 3},
        {.format = SAMPLEFORMAT_IEEEFP, .bits = 64, .compression = COMPRESSION_LZW, .mode = "wb8"},
    };
    // clang-format on
    // 37 x 23 in 16 x 16 tiles leaves partly filled tiles at the right and bottom.
    for (const TiffLayout& c : cases) {
        const bool isSigned = c.format != SAMPLEFORMAT_UINT,
                   isFloat = c.format == SAMPLEFORMAT_IEEEFP;
        // Floats fall on halves, which round away from zero: -39.5 -> -40, 0.5 -> 1.
        const auto value = [&](int x, int y) {
            return (x * 3 + y * 5) % 90 - (isSigned ? 40 : 0) + (isFloat ? 0.5 : 0);
        };
        const ElevationRaster r = WriteAndRead(dir, c, value);
        ASSERT_TRUE(r.width == 37 && r.height == 23 && !r.geo);
        for (int i = 0; i < 37 * 23; ++i) {
            const double v = value(i % 37, i / 37);
            ASSERT_EQ(r.cells[i], isFloat ? v + std::copysign(0.5, v) : v)
                << &c - cases << ": " << i;
        }
    }
}

TEST(GeoTiffReader, NoDataAndNanAreSea) {
    TempDir dir;
    // float32's lowest as no-data, written the way GDAL writes it; scaled 1e30 clamps.
    const double values[] = {NAN, -3.4028234663852886e+38, 7.25, 1e30, -7.5, 100};
    // clang-format off
    const TiffLayout s{.format = SAMPLEFORMAT_IEEEFP, .bits = 32, .width = 3, .height = 2,
                     .nodata = "-3.4028234663852886e+38"};
    // clang-format on
    const ElevationRaster r = WriteAndRead(dir, s, [&](int x, int y) { return values[y * 3 + x]; },
                                           {.scale = 2, .hasSeaLevel = true});
    EXPECT_EQ(r.cells, (std::vector<short>{0, 0, 15, 32767, 0, 200}));
}

TEST(GeoTiffReader, RefusesWithTheReason) {
    TempDir dir;
    const std::string path = dir.File("r.tif");
    const auto ramp = [](int x, int y) { return x + y; };
    // The file, a patch to its directory (tag, type, value; none when 0), --fit, the reason.
    // clang-format off
    const std::tuple<TiffLayout, std::array<std::uint32_t, 3>, int, const char*> cases[] = {
        {{.bits = 8, .bands = 3, .photometric = PHOTOMETRIC_RGB}, {}, 0, "3 bands; a heightmap has one"},
        {{.bits = 8, .photometric = PHOTOMETRIC_PALETTE}, {}, 0, "a palette picture"},
        {{.format = SAMPLEFORMAT_UINT, .bits = 1}, {}, 0, "1-bit unsigned samples"},
        {{}, {339, 3, SAMPLEFORMAT_COMPLEXINT}, 0, "complex samples"},
        {{.bits = 64}, {}, 0, "64-bit signed samples"},
        {{}, {259, 3, 34712}, 0, "compression 34712 is not one"},
        {{.tile = 64}, {325, 4, 1u << 30}, 0, "truncated: tile 0 of 1 lies past the end"},
        {{}, {256, 4, 1u << 31}, 0, "2147483648 x 23 cells is more than a map holds"},
        {{}, {256, 4, 1u << 31}, 64, "a strip of 2147483648 x 4 samples is more than"},
        {{}, {257, 4, 1u << 31}, 64, "Incorrect count for \"StripOffsets\""},  // libtiff's
    };
    // clang-format on
    for (const auto& [layout, patch, fit, reason] : cases) {
        std::vector<std::uint8_t> bytes = WriteTiff(path, layout, ramp);
        if (patch[0]) Patch(bytes, patch[0], patch[1], patch[2]);
        const ImportOptions o{.fitWidth = fit, .fitHeight = fit};
        const std::string why = Refusal([&] { ReadGeoTiffRaster("r.tif", bytes, o); });
        EXPECT_NE(why.find(reason), std::string::npos) << reason << ": " << why;
    }
    // A file cut short (libtiff writes the directory last), and bytes that are no TIFF.
    std::vector<std::uint8_t> cut = WriteTiff(path, {}, ramp);
    for (std::size_t keep : {cut.size() - 100, std::size_t{3}}) {
        cut.resize(keep);
        EXPECT_NE(Refusal([&] { ReadGeoTiffRaster("r.tif", cut, {}); }), "read");
    }
}

TEST(GeoTiffReader, FitAveragesByAreaAndScalesTheGeoreferencing) {
    TempDir dir;
    // 5 x 5 cells into 2 x 2: each output cell covers 2.5 x 2.5 source cells, so source rows
    // and columns 0, 1 count fully (weight 2), 2 by half (weight 1) for the first output.
    // Pixel-is-point: tie point (1, 1) at (100, 200) is a cell centre, corners half a cell off.
    // clang-format off
    const TiffLayout s{.format = SAMPLEFORMAT_IEEEFP, .bits = 64, .width = 5, .height = 5,
                     .nodata = "-1", .scale = {2, 4, 0}, .tie = {1, 1, 0, 100, 200, 0},
                     .keys = {1, 1, 0, 2, 1024, 0, 1, 1, 1025, 0, 1, 2}};
    // clang-format on
    const ElevationRaster r =
        WriteAndRead(dir, s, [](int x, int y) { return x == 4 && y == 4 ? -1 : x * 10 + y; },
                     {.fitWidth = 2, .fitHeight = 2});
    // Top left: x average (0*2 + 10*2 + 20*1) / 5 = 8, y average (0*2 + 1*2 + 2*1) / 5 = 0.8.
    // Top right 32 + 0.8, bottom left 8 + 3.2. Bottom right: weights 1, 2, 2 on x = 2, 3, 4
    // and y = 2, 3, 4; the no-data cell (4, 4) of weight 4 is left out: (880 - 44 * 4) / 21.
    EXPECT_EQ(r.cells, (std::vector<short>{9, 33, 11, 34}));
    EXPECT_EQ(r.geo.value().transform, (std::array<double, 6>{97, 5, 0, 206, 0, -10}));
    EXPECT_EQ(r.geo->keys, (std::vector<std::uint16_t>{1, 1, 0, 2, 1024, 0, 1, 1, 1025, 0, 1, 1}));
}

TEST(HgtReader, BothTileSizesWithVoidsAsSea) {
    TempDir dir;
    for (int side : {1201, 3601}) {
        std::string bytes(static_cast<std::size_t>(side) * side * 2, '\0');
        bytes.replace(0, 6, "\x80\x00\x01\x02\xff\xfe", 6);  // void, 258, -2
        const std::string path = dir.File("S12W077.hgt");
        std::ofstream(path, std::ios::binary) << bytes;
        Zumeld::CCtrlElvMap map;
        const auto geo = LoadAnyMap(path, {}, map);
        EXPECT_EQ(map.m_nWidth, side);
        EXPECT_EQ(std::vector<short>(map.m_pElevation.get(), map.m_pElevation.get() + 4),
                  (std::vector<short>{0, 258, -2, 0}));
        const double cell = 1.0 / (side - 1);
        EXPECT_EQ(geo.value().transform,
                  (std::array<double, 6>{-77 - cell / 2, cell, 0, -11 + cell / 2, 0, -cell}));
    }
    std::ofstream(dir.File("x.hgt"), std::ios::binary) << "short";
    EXPECT_EQ(Refusal([&] { ReadHgtFile(dir.File("x.hgt"), {}, nullptr); }),
              "holds 5 bytes; an .hgt tile holds 2884802 (1201 x 1201) or 25934402 (3601 x 3601)");
}

}  // namespace
