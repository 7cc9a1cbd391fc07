// zumeld edit: loads a map, applies terrain edits in the order given and stores the result
// as an .elv file (through a temporary file renamed into place). Every argument is checked
// before the map is read; an edit the library refuses (a result too large for a map, a
// map without cells) is an error, never a silent no-op.
#include <climits>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli.h"
#include "heightmap.h"
#include "elv.h"

namespace zumeld_cli {

namespace {

using Zumeld::CCtrlElvMap;

const char kEditUsage[] =
    "usage: zumeld edit IN.elv OUT.elv [EDIT ...]\n"
    "\n"
    "Applies the edits to the map in IN.elv (or any heightmap import reads) in the order given\n"
    "and writes OUT.elv.\n"
    "\n"
    "edits:\n"
    "  --canvas W,H                 resize the canvas, keeping the top-left part (new cells sea)\n"
    "  --crop L,T,W,H               crop to a rectangle (clipped to the map)\n"
    "  --flatten                    flatten all land to elevation 1\n"
    "  --sink DEPTH,L,T,W,H[,keep]  lower the land in a rectangle by DEPTH (-32768..32767);\n"
    "                               with 'keep' land stops at 1 instead of turning to sea\n"
    "  --resize W,H                 stretch or squeeze the terrain to W x H cells\n"
    "  --rotate DEG                 turn counterclockwise by whole degrees\n"
    "  --sector ANGLE,INNER         bend into a ring sector spanning ANGLE degrees (0 < ANGLE\n"
    "                               <= 360) with an inner radius of INNER % (0 <= INNER < 100)\n"
    "  --barrel A,B,C               squeeze each row into the centred span whose half-width is\n"
    "                               -(A y^2 + B y + C), y = row - height / 2\n";

struct Edit {
    std::string option;
    std::function<void(CCtrlElvMap&)> apply;
};

// The comma-separated values of an option, between minCount and maxCount of them.
std::vector<std::string> OptionValues(const std::string& option, const std::string& text,
                                      std::size_t minCount, std::size_t maxCount) {
    std::vector<std::string> values = SplitList(text);
    if (values.size() < minCount || values.size() > maxCount) {
        const std::string count =
            minCount == maxCount ? std::to_string(minCount)
                                 : std::to_string(minCount) + " or " + std::to_string(maxCount);
        throw UsageError(option,
                         "expects " + count + " comma-separated values, got '" + text + "'");
    }
    return values;
}

int IntIn(const std::string& option, const std::string& text, long long lo, long long hi) {
    const long long v = ParseInteger(option, text);
    if (v < lo || v > hi)
        throw UsageError(
            option, "'" + text + "' is outside " + std::to_string(lo) + ".." + std::to_string(hi));
    return static_cast<int>(v);
}

double FiniteNumber(const std::string& option, const std::string& text) {
    const double v = ParseNumber(option, text);
    if (!std::isfinite(v)) throw UsageError(option, "not a finite number: '" + text + "'");
    return v;
}

// Runs one library edit and reports it when the library left the grid as it was: every
// transform installs a new grid when it does its work.
void Transform(const std::string& option, CCtrlElvMap& map,
               const std::function<void(CCtrlElvMap&)>& edit) {
    if (!map.m_pElevation || map.m_nWidth < 1 || map.m_nHeight < 1)
        throw CliError(option, "the map has no cells to edit");
    const short* before = map.m_pElevation.get();
    edit(map);
    if (map.m_pElevation.get() == before)
        throw CliError(option, "the result would be too large for a map");
}

const std::vector<OptionSpec> kEditSpecs = {
    {"flatten", 0, false}, {"canvas", 0, true}, {"crop", 0, true},   {"sink", 0, true},
    {"resize", 0, true},   {"rotate", 0, true}, {"sector", 0, true}, {"barrel", 0, true}};

Edit ParseEdit(const std::string& option, const std::string& text) {
    if (option == "--flatten") return {option, [](CCtrlElvMap& m) { m.EraseLandTopography(); }};
    if (option == "--canvas") {
        const auto v = OptionValues(option, text, 2, 2);
        const int w = IntIn(option, v[0], 1, INT_MAX), h = IntIn(option, v[1], 1, INT_MAX);
        return {option, [=](CCtrlElvMap& m) {
                    m.ChangeCanvasSize(w, h);
                    if (m.m_nWidth != w || m.m_nHeight != h)
                        throw CliError(option, "the result would be too large for a map");
                }};
    }
    if (option == "--crop") {
        const auto v = OptionValues(option, text, 4, 4);
        const int l = IntIn(option, v[0], INT_MIN, INT_MAX),
                  t = IntIn(option, v[1], INT_MIN, INT_MAX);
        const int w = IntIn(option, v[2], 1, INT_MAX), h = IntIn(option, v[3], 1, INT_MAX);
        return {option, [=](CCtrlElvMap& m) {
                    if (!m.m_pElevation) throw CliError(option, "the map has no cells to edit");
                    m.ClipArea(l, t, w, h);
                }};
    }
    if (option == "--sink") {
        const auto v = OptionValues(option, text, 5, 6);
        const int depth = IntIn(option, v[0], -32768, 32767);
        const int l = IntIn(option, v[1], INT_MIN, INT_MAX),
                  t = IntIn(option, v[2], INT_MIN, INT_MAX);
        const int w = IntIn(option, v[3], 0, INT_MAX), h = IntIn(option, v[4], 0, INT_MAX);
        if (v.size() == 6 && v[5] != "keep")
            throw UsageError(option, "the sixth value can only be 'keep', got '" + v[5] + "'");
        const bool keep = v.size() == 6;
        return {option, [=](CCtrlElvMap& m) {
                    Transform(option, m, [=](CCtrlElvMap& mm) {
                        mm.TransSink(depth, l, t, w, h, keep, true);
                    });
                }};
    }
    if (option == "--resize") {
        const auto v = OptionValues(option, text, 2, 2);
        const int w = IntIn(option, v[0], 1, INT_MAX), h = IntIn(option, v[1], 1, INT_MAX);
        return {option, [=](CCtrlElvMap& m) {
                    Transform(option, m, [=](CCtrlElvMap& mm) { mm.TransSize(w, h, true); });
                }};
    }
    if (option == "--rotate") {
        const int deg = IntIn(option, text, INT_MIN, INT_MAX);
        return {option, [=](CCtrlElvMap& m) {
                    Transform(option, m, [=](CCtrlElvMap& mm) { mm.TransRotate(deg, true); });
                }};
    }
    if (option == "--sector") {
        const auto v = OptionValues(option, text, 2, 2);
        const double angle = FiniteNumber(option, v[0]), inner = FiniteNumber(option, v[1]);
        if (!(angle > 0 && angle <= 360))
            throw UsageError(option, "ANGLE must be above 0 and at most 360, got '" + v[0] + "'");
        if (!(inner >= 0 && inner < 100))
            throw UsageError(option, "INNER must be from 0 to below 100, got '" + v[1] + "'");
        return {option, [=](CCtrlElvMap& m) {
                    Transform(option, m,
                              [=](CCtrlElvMap& mm) { mm.TransSector(angle, inner, true); });
                }};
    }
    if (option == "--barrel") {
        const auto v = OptionValues(option, text, 3, 3);
        const double a = FiniteNumber(option, v[0]), b = FiniteNumber(option, v[1]),
                     c = FiniteNumber(option, v[2]);
        return {option, [=](CCtrlElvMap& m) {
                    Transform(option, m, [=](CCtrlElvMap& mm) { mm.TransBarrel(a, b, c, true); });
                }};
    }
    throw UsageError("edit", "unknown option '" + option + "' (see 'zumeld edit --help')");
}

}  // namespace

int CmdEdit(const std::vector<std::string>& args) {
    const ParsedArgs parsed = ParseArgs("edit", kEditSpecs, args);
    if (parsed.help) {
        std::fputs(kEditUsage, stdout);
        return kExitOk;
    }
    std::vector<std::string> files;
    std::vector<Edit> edits;  // run in the order given
    for (const ParsedArg& a : parsed.items) {
        if (a.option.empty())
            files.push_back(a.value);
        else
            edits.push_back(ParseEdit(a.option, a.value));
    }
    if (files.size() != 2)
        throw UsageError("edit", "expects an input and an output file (see 'zumeld edit --help')");

    CCtrlElvMap map;
    LoadBar bar("import");
    LoadAnyMap(files[0], ImportOptions{}, map, std::ref(bar));  // an .elv file or any heightmap
    for (const Edit& e : edits) e.apply(map);
    SaveMapElv(files[1], map);
    return kExitOk;
}

}  // namespace zumeld_cli
