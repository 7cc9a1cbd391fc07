// zumeld import IN OUT.elv: reads a heightmap (16- or 8-bit greyscale PNG, PGM, raw int16,
// ESRI ASCII grid, or an .elv file) and stores it as an elevation file.
#include <cmath>
#include <cstdio>
#include <string>

#include "cli.h"
#include "heightmap_io.h"
#include "map_io.h"
#include "zumeld/zumeld.h"

namespace zumeld_cli {

namespace {

const char kHelp[] =
    "usage: zumeld import IN OUT.elv [options]\n"
    "\n"
    "Reads a heightmap and writes it as an elevation file (delta-and-run encoding). IN's\n"
    "format follows its extension: .png (greyscale, 1 to 16 bits), .pgm (P5, 8 or 16 bits),\n"
    ".raw (little-endian signed 16-bit samples, needs --size), .asc (ESRI ASCII grid; NODATA\n"
    "cells become sea) or .elv. Each elevation is round(value * scale + offset), halves away\n"
    "from zero, clamped to -32768..32767.\n"
    "\n"
    "options:\n"
    "  --scale S         multiply source values by S (default 1)\n"
    "  --offset O        then add O (default 0)\n"
    "  --sea-level V     elevations at or below V become 0 (sea)\n"
    "  --size WxH        the grid size of a .raw file\n"
    "  -h, --help        show this text\n";

const std::vector<OptionSpec> kSpecs = {{"scale", 0, true},
                                        {"offset", 0, true},
                                        {"sea-level", 0, true},
                                        {"size", 0, true},
                                        {"raw-size", 0, true}};

double FiniteNumber(const std::string& option, const std::string& text) {
    const double v = ParseNumber(option, text);
    if (!std::isfinite(v)) throw UsageError(option, "not a finite number: '" + text + "'");
    return v;
}

// Maps the grid's values to elevations and gives them to the map.
void InstallElevations(const std::string& path, const SampleGrid& grid, const ImportOptions& o,
                       Zumeld::CCtrlElvMap& map) {
    Progress progress("import", grid.values.size(), kLongWorkCells);
    const std::vector<short> cells =
        SamplesToElevations(grid, o.scale, o.offset, o.hasSeaLevel, o.seaLevel,
                            [&](std::uint64_t done) { progress.Update(done); });
    map.SetElevationData(grid.width, grid.height, cells.data());
    if (map.m_nWidth != grid.width || map.m_nHeight != grid.height)
        throw CliError(path, "out of memory for " + std::to_string(grid.width) + " x " +
                                 std::to_string(grid.height) + " cells");
}

}  // namespace

void LoadAnyMap(const std::string& path, const ImportOptions& o, Zumeld::CCtrlElvMap& map) {
    const HeightFormat format = HeightFormatOfPath(path, path);
    if (format == HeightFormat::kElv) {
        LoadMap(path, map);
        const bool identity = o.scale == 1.0 && o.offset == 0.0 && !o.hasSeaLevel;
        if (identity || map.m_nWidth < 1 || map.m_nHeight < 1 || !map.m_pElevation) return;
        // The map's own cells are the source values.
        SampleGrid cells;
        cells.width = map.m_nWidth;
        cells.height = map.m_nHeight;
        cells.values.reserve(static_cast<std::size_t>(cells.width) * cells.height);
        for (int y = 0; y < cells.height; ++y) {
            const short* row =
                map.m_pElevation.get() + static_cast<std::ptrdiff_t>(y) * map.m_nBufferWidth;
            cells.values.insert(cells.values.end(), row, row + cells.width);
        }
        InstallElevations(path, cells, o, map);
        return;
    }
    if (format == HeightFormat::kRaw && o.rawWidth == 0)
        throw UsageError(path,
                         "a .raw file needs its grid size (import --size WxH, render "
                         "--raw-size WxH)");
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    SampleGrid grid;
    switch (format) {
        case HeightFormat::kPng:
            grid = ReadPngGrey(path, bytes);
            break;
        case HeightFormat::kPgm:
            grid = ReadPgm(path, bytes);
            break;
        case HeightFormat::kRaw:
            grid = ReadRawInt16(path, bytes, o.rawWidth, o.rawHeight);
            break;
        default:
            grid = ReadAsciiGrid(path, bytes);
            break;
    }
    InstallElevations(path, grid, o, map);
}

// Options shared by every command that reads a heightmap (import, render).
bool TakeImportOption(const ParsedArg& a, ImportOptions& o) {
    if (a.option == "--scale") {
        o.scale = FiniteNumber(a.option, a.value);
    } else if (a.option == "--offset") {
        o.offset = FiniteNumber(a.option, a.value);
    } else if (a.option == "--sea-level") {
        o.seaLevel = FiniteNumber(a.option, a.value);
        o.hasSeaLevel = true;
    } else if (a.option == "--size" || a.option == "--raw-size") {
        const std::vector<std::string> wh = SplitList(a.value, true);
        if (wh.size() != 2) throw UsageError(a.option, "needs WxH, not '" + a.value + "'");
        const long long w = ParseInteger(a.option, wh[0]), h = ParseInteger(a.option, wh[1]);
        if (w < 1 || h < 1 || w > kMaxGridSide || h > kMaxGridSide)
            throw UsageError(a.option, "each side must be 1.." + std::to_string(kMaxGridSide));
        o.rawWidth = static_cast<int>(w);
        o.rawHeight = static_cast<int>(h);
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
    LoadAnyMap(files[0], o, map);
    SaveMapElv(files[1], map);
    return kExitOk;
}

}  // namespace zumeld_cli
