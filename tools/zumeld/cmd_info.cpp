// zumeld info MAP.elv: the header, sizes and elevation range of an elevation file.
#include <algorithm>
#include <cstdio>
#include <string>

#include "cli.h"
#include "elv.h"

namespace zumeld_cli {

namespace {

const char kInfoUsage[] =
    "usage: zumeld info MAP.elv\n"
    "\n"
    "Describes an elevation file: encoding, width, height, lowest and highest elevation,\n"
    "share of sea cells and of cells below sea level (drawn as sea), file and body sizes, and\n"
    "whether it holds a compressed image. A heightmap (.png, .tif, ...) is read with\n"
    "'zumeld import' first.\n";

const char* EncodingName(int encoding) {
    switch (encoding) {
        case 0:
            return "raw rows";
        case 1:
            return "sea runs";
        case 2:
            return "delta and run";
        default:
            return "compressed image (grey JPEG)";
    }
}

}  // namespace

int CmdInfo(const std::vector<std::string>& args) {
    const ParsedArgs parsed = ParseArgs("info", {}, args);
    if (parsed.help) return ShowHelp(kInfoUsage);
    std::string path;
    for (const ParsedArg& a : parsed.items) {
        if (!path.empty()) throw UsageError("info", "one map file only");
        path = a.value;
    }
    if (path.empty()) throw UsageError("info", "no map file given (see 'zumeld info --help')");

    Zumeld::CCtrlElvMap map;
    ElvFacts facts;
    {
        CommandProgress progress("info", 1, parsed.quiet);  // erased before the description
        progress.Step("reading " + path);
        facts = LoadMapWithFacts(path, map);
    }

    std::printf("file: %s\n", path.c_str());
    std::printf("file size: %llu bytes\n", static_cast<unsigned long long>(facts.fileBytes));
    std::printf("encoding: %d (%s)\n", facts.encoding, EncodingName(facts.encoding));
    std::printf("width: %d\nheight: %d\n", facts.width, facts.height);
    std::printf("body size: %llu bytes\n", static_cast<unsigned long long>(facts.bodyBytes));
    if (map.m_pElevation && map.m_nWidth > 0 && map.m_nHeight > 0) {
        short lo = map.m_pElevation[0], hi = lo;
        unsigned long long sea = 0, below = 0;
        for (int r = 0; r < map.m_nHeight; ++r) {
            const short* row =
                map.m_pElevation.get() + static_cast<std::ptrdiff_t>(r) * map.m_nBufferWidth;
            for (int c = 0; c < map.m_nWidth; ++c) {
                lo = std::min(lo, row[c]);
                hi = std::max(hi, row[c]);
                sea += row[c] == 0;
                below += row[c] < 0;
            }
        }
        const double cells = static_cast<double>(map.m_nWidth) * map.m_nHeight;
        std::printf("minimum: %d\nmaximum: %d\n", lo, hi);
        std::printf("sea: %.1f %% (%llu cells at 0)\n", 100.0 * static_cast<double>(sea) / cells,
                    sea);
        // Negative cells are land to the file but drawn as sea: counted apart, never hidden.
        std::printf("below sea level: %.1f %% (%llu cells below 0, drawn as sea)\n",
                    100.0 * static_cast<double>(below) / cells, below);
        std::printf("raw cells: %.0f bytes (body is %.1f %% of them)\n", cells * 2,
                    100.0 * static_cast<double>(facts.bodyBytes) / (cells * 2));
    } else {
        std::printf("minimum: none\nmaximum: none\nsea: none (the map has no cells)\n");
    }
    if (facts.compressed)
        std::printf("compressed image: yes (JPEG stream of %llu bytes, grey 255 = elevation %d)\n",
                    static_cast<unsigned long long>(facts.bodyBytes), facts.maxElevation);
    else
        std::printf("compressed image: no\n");
    return kExitOk;
}

}  // namespace zumeld_cli
