// zumeld import IN OUT.elv: reads a heightmap (16- or 8-bit greyscale PNG, PGM, raw int16,
// ESRI ASCII grid, GeoTIFF, SRTM .hgt, or an .elv file) and stores it as an elevation file.
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "cli.h"
#include "elv.h"
#include "heightmap.h"
#include "zumeld/zumeld.h"

namespace zumeld_cli {

namespace {

const char kHelp[] =
    "usage: zumeld import IN OUT.elv [options]\n"
    "\n"
    "Reads a heightmap and writes it as an elevation file (delta-and-run encoding). IN's\n"
    "format follows its extension: .png (grey, 1 to 16 bits, or colour whose every pixel is\n"
    "grey), .pgm (P5, 8 or 16 bits), .raw (little-endian signed 16-bit samples, needs\n"
    "--raw-size), .asc (ESRI ASCII grid; NODATA cells become sea), .tif/.tiff (GeoTIFF: one\n"
    "band of 8, 16 or 32-bit integers or 32 or 64-bit floats, any compression libtiff reads,\n"
    "BigTIFF too; no-data and NaN cells become sea), .hgt (SRTM tile, 1201 or 3601 cells a\n"
    "side; voids become sea) or .elv. Each elevation is round(value * scale + offset), halves\n"
    "away from zero, clamped to -32768..32767: cells clamped are counted in a warning that\n"
    "names the scale that fits them. --fit reduces a raster larger than a map holds.\n"
    "\n"
    "options:\n"
    "  --scale S         multiply source values by S (default 1)\n"
    "  --offset O        then add O (default 0)\n"
    "  --fit-range       choose the scale that maps the largest value to 32767 (or the\n"
    "                    smallest to -32768), 0 staying 0; the file is read twice\n"
    "  --sea-level V     elevations at or below V become 0 (sea)\n"
    "  --raw-size WxH    the grid size of a .raw file (--size WxH is the same)\n"
    "  --fit WxH         reduce a larger raster to at most W x H cells, keeping its shape:\n"
    "                    each cell the area average of the values it covers\n"
    "  -h, --help        show this text\n";

const std::vector<OptionRule> kRules = {
    {"scale", 0, true},    {"offset", 0, true}, {"sea-level", 0, true}, {"size", 0, true},
    {"raw-size", 0, true}, {"fit", 0, true},    {"fit-range", 0, false}};

double FiniteNumber(const std::string& option, const std::string& text) {
    const double v = ParseNumber(option, text);
    if (!std::isfinite(v)) throw UsageError(option, "not a finite number: '" + text + "'");
    return v;
}

}  // namespace

// Options shared by every command that reads a heightmap (import, render).
bool TakeImportOption(const ParsedArg& a, ImportOptions& o) {
    if (a.option == "--scale") {
        o.scale = FiniteNumber(a.option, a.value);
    } else if (a.option == "--offset") {
        o.offset = FiniteNumber(a.option, a.value);
    } else if (a.option == "--fit-range") {
        o.fitRange = true;
    } else if (a.option == "--sea-level") {
        o.seaLevel = FiniteNumber(a.option, a.value);
        o.hasSeaLevel = true;
    } else if (a.option == "--size" || a.option == "--raw-size" || a.option == "--fit") {
        const std::vector<std::string> wh = SplitList(a.value, true);
        if (wh.size() != 2) throw UsageError(a.option, "needs WxH, not '" + a.value + "'");
        const long long w = ParseInteger(a.option, wh[0]), h = ParseInteger(a.option, wh[1]);
        if (w < 1 || h < 1 || w > kMaxGridSide || h > kMaxGridSide)
            throw UsageError(a.option, "each side must be 1.." + std::to_string(kMaxGridSide));
        (a.option == "--fit" ? o.fitWidth : o.rawWidth) = static_cast<int>(w);
        (a.option == "--fit" ? o.fitHeight : o.rawHeight) = static_cast<int>(h);
    } else {
        return false;
    }
    return true;
}

int CmdImport(const std::vector<std::string>& args) {
    const ParsedArgs parsed = ParseArgs("import", kRules, args);
    if (parsed.help) return ShowHelp(kHelp);
    ImportOptions o;
    std::vector<std::string> files;
    for (const ParsedArg& a : parsed.items) {
        if (a.option.empty())
            files.push_back(a.value);
        else
            TakeImportOption(a, o);
    }
    if (files.size() != 2)
        throw UsageError("import", "needs IN and OUT.elv (see 'zumeld import --help')");
    CheckOutput(files[1], {files[0]});
    CheckElvOutput("import", files[1]);
    HeightFormatOfPath(files[0], files[0]);  // refuse an unknown input format before reading

    Zumeld::CCtrlElvMap map;
    CommandProgress progress("import", 2, parsed.quiet);
    LoadMapFile(files[0], o, map, progress);
    progress.Step("writing " + files[1]);
    SaveMapElv(files[1], map);
    return kExitOk;
}

}  // namespace zumeld_cli
