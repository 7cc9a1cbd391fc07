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
#include "map_edit.h"

namespace zumeld_cli {

namespace {

using Zumeld::CCtrlElvMap;
using zumeld_edits::MapEdit;

const char kEditUsage[] =
    "usage: zumeld edit IN.elv OUT.elv [EDIT ...]\n"
    "\n"
    "Applies the edits to the map in IN.elv (or any heightmap import reads) in the order given\n"
    "and writes OUT.elv (which may be IN itself).\n"
    "\n"
    "  --raw-size WxH               the grid size of a .raw IN\n"
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

const std::vector<OptionRule> kEditRules = {
    {"flatten", 0, false}, {"canvas", 0, true}, {"crop", 0, true},
    {"sink", 0, true},     {"resize", 0, true}, {"rotate", 0, true},
    {"sector", 0, true},   {"barrel", 0, true}, {"raw-size", 0, true}};

// The edit an option asks for, its values parsed and bounded.
MapEdit ParseEdit(const std::string& option, const std::string& text) {
    const auto integer = [&](const std::string& t) { return ParseInteger(option, t); };
    const auto number = [&](const std::string& t) { return ParseNumber(option, t); };
    if (option == "--flatten") return zumeld_edits::Flatten(option);
    if (option == "--canvas") {
        const auto v = OptionValues(option, text, 2, 2);
        return zumeld_edits::Canvas(option, integer(v[0]), integer(v[1]));
    }
    if (option == "--crop") {
        const auto v = OptionValues(option, text, 4, 4);
        return zumeld_edits::Crop(option, integer(v[0]), integer(v[1]), integer(v[2]),
                                  integer(v[3]));
    }
    if (option == "--sink") {
        const auto v = OptionValues(option, text, 5, 6);
        if (v.size() == 6 && v[5] != "keep")
            throw UsageError(option, "the sixth value can only be 'keep', got '" + v[5] + "'");
        return zumeld_edits::Sink(option, integer(v[0]), integer(v[1]), integer(v[2]),
                                  integer(v[3]), integer(v[4]), v.size() == 6);
    }
    if (option == "--resize") {
        const auto v = OptionValues(option, text, 2, 2);
        return zumeld_edits::Resize(option, integer(v[0]), integer(v[1]));
    }
    if (option == "--rotate") return zumeld_edits::Rotate(option, integer(text));
    if (option == "--sector") {
        const auto v = OptionValues(option, text, 2, 2);
        return zumeld_edits::Sector(option, number(v[0]), number(v[1]));
    }
    if (option == "--barrel") {
        const auto v = OptionValues(option, text, 3, 3);
        return zumeld_edits::Barrel(option, number(v[0]), number(v[1]), number(v[2]));
    }
    throw UsageError("edit", "unknown option '" + option + "' (see 'zumeld edit --help')");
}

}  // namespace

int CmdEdit(const std::vector<std::string>& args) {
    const ParsedArgs parsed = ParseArgs("edit", kEditRules, args);
    if (parsed.help) return ShowHelp(kEditUsage);
    std::vector<std::string> files;
    std::vector<MapEdit> edits;  // run in the order given
    ImportOptions import;        // --raw-size of a .raw input
    for (const ParsedArg& a : parsed.items) {
        if (a.option.empty())
            files.push_back(a.value);
        else if (!(a.option == "--raw-size" && TakeImportOption(a, import)))
            edits.push_back(ParseEdit(a.option, a.value));
    }
    if (files.size() != 2)
        throw UsageError("edit", "expects an input and an output file (see 'zumeld edit --help')");
    CheckOutput(files[1]);  // edit A.elv A.elv edits A in place
    CheckElvOutput("edit", files[1]);

    CCtrlElvMap map;
    CommandProgress progress("edit", static_cast<int>(edits.size()) + 2, parsed.quiet);
    LoadMapFile(files[0], import, map, progress);  // an .elv file or any heightmap
    for (const MapEdit& e : edits) {
        progress.Step(e.what);
        e.apply(map, zumeld_edits::EditLimits{});
    }
    progress.Step("writing " + files[1]);
    SaveMapElv(files[1], map);
    return kExitOk;
}

}  // namespace zumeld_cli
