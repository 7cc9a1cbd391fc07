// zumeld export IN.elv OUT: writes a map's cells as a heightmap other terrain tools read.
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "cli.h"
#include "elv.h"
#include "geotiff.h"
#include "heightmap.h"
#include "zumeld/zumeld.h"

namespace zumeld_cli {

namespace {

const char kHelp[] =
    "usage: zumeld export IN.elv OUT [options]\n"
    "\n"
    "Writes the cells of map IN (any format import reads) to OUT, whose extension picks the\n"
    "format: .png (16-bit greyscale, or 8-bit with --bits 8), .pgm (P5, 16-bit maxval 65535,\n"
    "or 8-bit with --bits 8), .raw (little-endian signed 16-bit, row by row from the top),\n"
    ".asc (ESRI ASCII grid, whole numbers), .tif/.tiff (GeoTIFF: one band of int16, Deflate,\n"
    "256 x 256 tiles) or .elv. Each sample is round(elevation * scale + offset), halves away\n"
    "from zero; a sample outside the format's range is refused.\n"
    "\n"
    "PNG and PGM samples are unsigned: elevations 0..32767 are written as they are, and a map\n"
    "with negative elevations needs --offset (e.g. --offset 32768, read back with\n"
    "'import --offset -32768'). With the default scale and offset, export then import gives\n"
    "back the same .elv file through 16-bit PNG, PGM, raw, ASCII grid and GeoTIFF.\n"
    "\n"
    "A GeoTIFF OUT carries IN's georeferencing when IN has one (a GeoTIFF, a named .hgt tile);\n"
    "an .elv file holds none, and --like names a GeoTIFF to take it from.\n"
    "\n"
    "options:\n"
    "  --bits N          8 or 16: sample size of .png and .pgm (default 16)\n"
    "  --scale S         multiply elevations by S (default 1)\n"
    "  --offset O        then add O (default 0)\n"
    "  --like DEM.tif    a .tif OUT takes its georeferencing from DEM.tif\n"
    "  --raw-size WxH    the grid size of a .raw IN\n"
    "  -h, --help        show this text\n";

const std::vector<OptionRule> kRules = {{"bits", 0, true},
                                        {"scale", 0, true},
                                        {"offset", 0, true},
                                        {"like", 0, true},
                                        {"raw-size", 0, true}};

}  // namespace

int CmdExport(const std::vector<std::string>& args) {
    const ParsedArgs parsed = ParseArgs("export", kRules, args);
    if (parsed.help) return ShowHelp(kHelp);
    int bits = 16;
    bool bitsGiven = false, mapped = false;
    double scale = 1.0, offset = 0.0;
    std::string like;
    std::vector<std::string> files;
    ImportOptions import;  // --raw-size of a .raw input
    for (const ParsedArg& a : parsed.items) {
        if (a.option.empty()) {
            files.push_back(a.value);
        } else if (a.option == "--raw-size") {
            TakeImportOption(a, import);
        } else if (a.option == "--like") {
            like = a.value;
        } else if (a.option == "--bits") {
            const long long b = ParseInteger(a.option, a.value);
            if (b != 8 && b != 16) throw UsageError(a.option, "must be 8 or 16, not " + a.value);
            bits = static_cast<int>(b);
            bitsGiven = true;
        } else {
            const double v = ParseNumber(a.option, a.value);
            if (!std::isfinite(v))
                throw UsageError(a.option, "not a finite number: '" + a.value + "'");
            (a.option == "--scale" ? scale : offset) = v;
            mapped = true;
        }
    }
    if (files.size() != 2)
        throw UsageError("export", "needs IN.elv and OUT (see 'zumeld export --help')");
    const std::string& out = files[1];
    CheckOutput(out, {files[0], like});
    const HeightFormat format = HeightFormatOfPath(out, out);
    if (format == HeightFormat::kElv && mapped)
        throw UsageError(out, "--scale and --offset do not apply to an .elv output");
    if (format == HeightFormat::kHgt) throw UsageError(out, "export does not write .hgt files");
    if (!like.empty() && format != HeightFormat::kTiff)
        throw UsageError("--like", "applies to a .tif output only");
    if (bitsGiven && format != HeightFormat::kPng && format != HeightFormat::kPgm)
        throw UsageError("--bits",
                         "applies to a .png or .pgm output only (" + out + " has one sample size)");

    Zumeld::CCtrlElvMap map;
    CommandProgress progress("export", 3, parsed.quiet);
    std::optional<GeoReference> geo = LoadMapFile(files[0], import, map, progress);
    if (!like.empty()) {
        geo = ReadGeoTiffGeoReference(like);
        if (!geo) throw CliError(like, "has no georeferencing to copy");
    }
    const int w = map.m_nWidth, h = map.m_nHeight;
    if (w < 1 || h < 1 || !map.m_pElevation) throw CliError(files[0], "the map has no cells");
    progress.Step("writing " + out);
    if (format == HeightFormat::kElv) {
        SaveMapElv(out, map);
        return kExitOk;
    }
    const GeoReference* place = geo ? &*geo : nullptr;
    if (format == HeightFormat::kTiff && !mapped) {  // the map's own cells, as they are
        const ElevationView cells{map.m_pElevation.get(), map.m_nBufferWidth, w, h};
        WriteFileAtomically(out, EncodeGeoTiff(out, cells, place));
        return kExitOk;
    }

    std::int64_t lo = 0, hi = (std::int64_t{1} << bits) - 1;
    if (format == HeightFormat::kRaw || format == HeightFormat::kTiff) lo = -32768, hi = 32767;
    if (format == HeightFormat::kAsc)
        lo = std::numeric_limits<std::int32_t>::min(),
        hi = std::numeric_limits<std::int32_t>::max();
    std::vector<std::int32_t> samples(static_cast<std::size_t>(w) * h);

    for (int y = 0; y < h; ++y) {
        const short* row =
            map.m_pElevation.get() + static_cast<std::ptrdiff_t>(y) * map.m_nBufferWidth;
        for (int x = 0; x < w; ++x)
            samples[static_cast<std::size_t>(y) * w + x] =
                ElevationToSample(files[0], row[x], scale, offset, lo, hi);
        progress.Update(static_cast<std::uint64_t>(y + 1) * w, samples.size());
    }
    std::vector<std::uint8_t> bytes;
    switch (format) {
        case HeightFormat::kPng:
            bytes = WritePngGrey(out, samples, w, h, bits);
            break;
        case HeightFormat::kPgm:
            bytes = WritePgm(samples, w, h, bits);
            break;
        case HeightFormat::kRaw:
            bytes = WriteRawInt16(samples);
            break;
        case HeightFormat::kTiff: {
            const std::vector<short> cells(samples.begin(), samples.end());
            bytes = EncodeGeoTiff(out, ElevationView{cells.data(), w, w, h}, place);
            break;
        }
        default:
            bytes = WriteAsciiGrid(samples, w, h);
            break;
    }
    WriteFileAtomically(out, bytes);
    return kExitOk;
}

}  // namespace zumeld_cli
