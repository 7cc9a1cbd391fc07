// Writes the seed corpora of the fuzz targets into the folder given (one subfolder per
// target), using the library's own writers: .elv files in every encoding from maps the
// library stores (the raw and sea-run records are rebuilt from the same cells), .bmp files
// of every bit count through CCtrlDib::DibFromBitmap and WriteDIB, and byte strings for the
// geometry and call-sequence targets, and GeoTIFF files from the project's writer and from
// libtiff (each behind the fuzz target's one option byte). Run by hand when the formats change:
//   build/fuzz/fuzz/make_corpus fuzz/corpus
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "geotiff.h"
#include "tiff_test_support.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/platform/afx.h"

using namespace Zumeld;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Save(const fs::path& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

void Put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

// A small island: land rising to a peak, sea around it, a few cells below sea level.
std::vector<short> Island(int w, int h) {
    std::vector<short> cells(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int dx = 2 * x - w, dy = 2 * y - h;
            const int v = w * h / 2 - (dx * dx + dy * dy) * 3;
            cells[static_cast<std::size_t>(y) * w + x] = static_cast<short>(v > 0 ? v * 7
                                                                            : (x + y) % 5 == 0 ? -3
                                                                                               : 0);
        }
    return cells;
}

Bytes Store(CCtrlElvMap& map, int saveType, bool jpeg) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    if (jpeg)
        map.Save3djFile(ar, 60);
    else {
        map.SetSaveType(saveType);
        map.Serialize(ar);
    }
    ar.Close();
    return file.Data();
}

void ElvCorpus(const fs::path& dir) {
    fs::create_directories(dir);
    int n = 0;
    auto name = [&](const char* what) { return dir / (std::to_string(n++) + "-" + what + ".elv"); };
    for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {16, 12}, {33, 9}}) {
        const std::vector<short> cells = Island(w, h);
        CCtrlElvMap map;
        map.SetElevationData(w, h, cells.data());
        const Bytes delta = Store(map, 0, false);
        Save(name("delta"), delta);
        // The same stream read as sea runs.
        Bytes sea = delta;
        sea[0] = 1;
        Save(name("searuns"), sea);
        Bytes raw;
        Put16(raw, 0);
        Put16(raw, static_cast<unsigned>(w));
        Put16(raw, static_cast<unsigned>(h));
        for (short c : cells) Put16(raw, static_cast<std::uint16_t>(c));
        Save(name("raw"), raw);
        if (w * h > 1) Save(name("jpeg"), Store(map, 0, true));
    }
    // Headers alone, an empty map, an unknown encoding and negative sizes.
    Save(name("empty"), Bytes{2, 0, 0, 0, 0, 0});
    Save(name("unknown"), Bytes{9, 0, 3, 0, 2, 0});
    Save(name("negative"), Bytes{2, 0, 0xFF, 0xFF, 2, 0});
    Save(name("short"), Bytes{2, 0, 4, 0});
}

void DibCorpus(const fs::path& dir) {
    fs::create_directories(dir);
    CCtrlDib dib;
    // A 13 x 7 picture with every colour channel varying (odd width: row padding matters).
    CControlBmp source;
    if (!source.CreateBitmap(13, 7, 24, 0, nullptr)) return;
    BYTE* p = source.GetBufferPtr();
    for (int i = 0; i < source.GetWidthBytes() * 7; ++i)
        p[i] = static_cast<BYTE>(i * 37 + (i >> 3));
    struct Form {
        unsigned long style;
        WORD bits;
        const char* name;
    };
    for (const Form f : {Form{BI_RGB, 1, "rgb1"},
                         {BI_RGB, 4, "rgb4"},
                         {BI_RGB, 8, "rgb8"},
                         {BI_RGB, 16, "rgb16"},
                         {BI_RGB, 24, "rgb24"},
                         {BI_RGB, 32, "rgb32"},
                         {BI_RLE8, 8, "rle8"},
                         {BI_RLE4, 4, "rle4"},
                         {BI_BITFIELDS, 16, "bitfields16"}}) {
        void* h = dib.DibFromBitmap(source.GetHbmp(), f.style, f.bits, nullptr);
        if (!h) {
            std::fprintf(stderr, "no %s DIB\n", f.name);
            continue;
        }
        const std::string path = (dir / (std::string(f.name) + ".bmp")).string();
        if (!dib.WriteDIB(const_cast<char*>(path.c_str()), h))
            std::fprintf(stderr, "no %s file\n", f.name);
        GlobalFree(h);
    }
    // A core (12-byte) header file with a 2-entry triple table, 3 x 2 pixels.
    Bytes core{'B', 'M'};
    for (unsigned v : {0u, 0u, 0u, 0u}) Put16(core, v);
    Put16(core, 14 + 12 + 6);
    Put16(core, 0);
    for (unsigned v : {12u, 0u, 3u, 2u, 1u, 1u}) Put16(core, v);
    for (int i = 0; i < 6; ++i) core.push_back(static_cast<std::uint8_t>(i * 50));
    for (int i = 0; i < 8; ++i) core.push_back(static_cast<std::uint8_t>(0xA5 >> i));
    core[2] = static_cast<std::uint8_t>(core.size());
    Save(dir / "core1.bmp", core);
}

void GeometryCorpus(const fs::path& dir) {
    fs::create_directories(dir);
    // Bitmap 16 x 16 at 24 bits, display 20 x 20 (small ints), a triangle and a square,
    // a span buffer of 64, a point inside, two lines.
    Bytes tri{15,   15,   2,    0,    20, 0, 20, 3,  0, 2,  0, 1, 0, 18, 0,    9, 0,
              17,   1,    64,   0,    0,  5, 0,  5,  2, 0,  0, 0, 0, 0,  19,   0, 19,
              0xFF, 0xFF, 0xFF, 0xFF, 0,  0, 0,  19, 0, 19, 0, 0, 0, 0,  0xFF, 0};
    Save(dir / "triangle", tri);
    // Extremes: display at INT32_MAX, points at +-2^31.
    Bytes far{63,         63,         3,          3 | 4 << 2, 3 | 4 << 2, 4,          3 | 5 << 2,
              3 | 5 << 2, 3 | 4 << 2, 3 | 5 << 2, 3 | 4 << 2, 3 | 4 << 2, 3 | 5 << 2, 3 | 4 << 2,
              1,          0,          16,         3 | 0,      3 | 0,      1,          3 | 5 << 2,
              3 | 4 << 2, 3 | 4 << 2, 3 | 5 << 2, 1,          2,          3,          4};
    Save(dir / "extremes", far);
}

void MapApiCorpus(const fs::path& dir) {
    fs::create_directories(dir);
    // Set data 6 x 5, stretch it to 12 x 10, draw, sink, rotate 30, size 9 x 7, sector, barrel,
    // copy, assign, store and load. Op numbers follow the enum in map_api_fuzz.cpp.
    Bytes seq{3, 6, 5};
    for (int i = 0; i < 31; ++i) Put16(seq, static_cast<unsigned>((i * 97) % 900));
    const Bytes stretch{10, 0, 0, 0, 0, 0, 6, 0, 5, 0, 12, 0, 10};
    const Bytes drawAll{12, 1, 1, 0, 0, 0, 0, 0};
    const Bytes sink{19, 0, 40, 0, 1, 0, 1, 0, 3, 0, 3, 1, 0};
    const Bytes rotate{21, 0, 30, 1};
    const Bytes size{20, 0, 9, 0, 7, 0};
    const Bytes sector{22, 0, 90, 0, 30, 0};
    const Bytes barrel{23, 0, 0, 0, 1, 0, (std::uint8_t)-3, 0};
    const Bytes tail{24, 25, 31, 28, 0,  2,  3, 0, 0, 29, 10, 0, 0, 0, 0, 0, 6, 0,
                     5,  0,  12, 0,  10, 14, 2, 1, 1, 3,  1,  3, 1, 3, 9, 0, 9, 1};
    for (const Bytes* b :
         {&stretch, &drawAll, &sink, &stretch, &drawAll, &rotate, &size, &sector, &barrel, &tail})
        seq.insert(seq.end(), b->begin(), b->end());
    Save(dir / "sequence", seq);
    Save(dir / "create", Bytes{0, 0, 40, 0, 30, 1, 0,  0, 0,  1,  0, 0, 0,
                               0, 0, 40, 0, 30, 0, 80, 0, 60, 12, 1, 1, 0});
}

void GeoTiffCorpus(const fs::path& dir) {
    fs::create_directories(dir);
    const auto saveWithOptions = [&](const std::string& name, std::uint8_t options, Bytes tiff) {
        tiff.insert(tiff.begin(), options);
        Save(dir / name, tiff);
    };
    // The project's writer: an island on UTM 32N, and a picture (three bands: refused).
    const std::vector<short> cells = Island(33, 9);
    zumeld_formats::GeoReference geo;
    geo.transform = {500000, 30, 0, 5000000, 0, -30};
    geo.keys = {1, 1, 0, 2, 1025, 0, 1, 1, 3072, 0, 1, 32632};
    saveWithOptions("island.tif", 0,
                    zumeld_formats::EncodeGeoTiff("seed", {cells.data(), 33, 33, 9}, &geo));
    CControlBmp picture;
    if (picture.CreateBitmap(5, 3, 24, 0, nullptr))
        saveWithOptions("picture.tif", 0,
                        zumeld_formats::EncodeGeoTiffPicture("seed", picture, nullptr));
    // libtiff: each sample type once, strips and tiles, codecs, byte orders, BigTIFF, no-data,
    // one raster larger than the fuzz target's --fit.
    const fs::path scratch = dir / "scratch.tif";
    const TiffLayout layouts[] = {
        {.format = SAMPLEFORMAT_UINT, .bits = 8, .width = 13, .height = 7},
        {.bits = 8, .width = 9, .height = 5, .compression = COMPRESSION_PACKBITS, .mode = "wb"},
        {.format = SAMPLEFORMAT_UINT,
         .width = 20,
         .height = 18,
         .tile = 16,
         .compression = COMPRESSION_LZW,
         .predictor = 2,
         .mode = "wb"},
        {.width = 70,
         .height = 66,
         .compression = COMPRESSION_ADOBE_DEFLATE,
         .predictor = 2,
         .mode = "w8",
         .nodata = "-5"},
        {.format = SAMPLEFORMAT_UINT,
         .bits = 32,
         .width = 17,
         .height = 3,
         .tile = 16,
         .compression = COMPRESSION_ADOBE_DEFLATE},
        {.bits = 32, .width = 6, .height = 6, .compression = COMPRESSION_LZW, .mode = "wb8"},
        {.format = SAMPLEFORMAT_IEEEFP,
         .bits = 32,
         .width = 18,
         .height = 17,
         .tile = 16,
         .compression = COMPRESSION_ADOBE_DEFLATE,
         .predictor = 3,
         .nodata = "nan"},
        {.format = SAMPLEFORMAT_IEEEFP,
         .bits = 64,
         .width = 5,
         .height = 4,
         .mode = "wb8",
         .scale = {2, 2, 0},
         .tie = {0, 0, 0, 10, 20, 0}},
    };
    for (int n = 0; n < static_cast<int>(std::size(layouts)); ++n) {
        const Bytes tiff = WriteTiff(scratch.string(), layouts[n], [](int x, int y) {
            return (x * 37 + y * 11) % 300 - 100 + (x % 3) * 0.25;
        });
        saveWithOptions(std::to_string(n) + "-" + std::to_string(layouts[n].bits) + "bit.tif",
                        static_cast<std::uint8_t>(n % 4), tiff);
    }
    fs::remove(scratch);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus DIR\n");
        return 2;
    }
    const fs::path root = argv[1];
    ElvCorpus(root / "elv_loader_fuzz");
    DibCorpus(root / "dib_reader_fuzz");
    GeometryCorpus(root / "geometry_fuzz");
    MapApiCorpus(root / "map_api_fuzz");
    GeoTiffCorpus(root / "geotiff_reader_fuzz");
    return 0;
}
