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
    "format follows its extension: .png (greyscale, 1 to 16 bits), .pgm (P5, 8 or 16 bits),\n"
    ".raw (little-endian signed 16-bit samples, needs --size), .asc (ESRI ASCII grid; NODATA\n"
    "cells become sea), .tif/.tiff (GeoTIFF: one band of 8, 16 or 32-bit integers or 32 or\n"
    "64-bit floats, any compression libtiff reads, BigTIFF too; no-data and NaN cells become\n"
    "sea), .hgt (SRTM tile, 1201 or 3601 cells a side; voids become sea) or .elv. Each\n"
    "elevation is round(value * scale + offset), halves away from zero, clamped to\n"
    "-32768..32767. A map holds at most 32767 cells a side; --fit reduces a larger raster.\n"
    "\n"
    "options:\n"
    "  --scale S         multiply source values by S (default 1)\n"
    "  --offset O        then add O (default 0)\n"
    "  --sea-level V     elevations at or below V become 0 (sea)\n"
    "  --size WxH        the grid size of a .raw file\n"
    "  --fit WxH         reduce a larger raster to at most W x H cells, keeping its shape:\n"
    "                    each cell the area average of the values it covers\n"
    "  -h, --help        show this text\n";

const std::vector<OptionSpec> kSpecs = {{"scale", 0, true},     {"offset", 0, true},
                                        {"sea-level", 0, true}, {"size", 0, true},
                                        {"raw-size", 0, true},  {"fit", 0, true}};

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
    const ParsedArgs parsed = ParseArgs("import", kSpecs, args);
    if (parsed.help) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
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
    if (HeightFormatOfPath(files[1], files[1]) != HeightFormat::kElv)
        throw UsageError(files[1], "the output of import is an .elv file");
    HeightFormatOfPath(files[0], files[0]);  // refuse an unknown input format before reading

    Zumeld::CCtrlElvMap map;
    LoadBar bar("import");
    LoadAnyMap(files[0], o, map, std::ref(bar));
    SaveMapElv(files[1], map);
    return kExitOk;
}

}  // namespace zumeld_cli
