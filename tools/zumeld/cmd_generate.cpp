// zumeld generate [--size WxH] [--seed N] -o OUT.elv: writes the built-in sample map.
#include <cstdio>
#include <string>

#include "cli.h"
#include "elv.h"
#include "sample_map.h"

namespace zumeld_cli {

namespace {

const char kGenerateUsage[] =
    "usage: zumeld generate [--size WxH] [--seed N] -o OUT.elv\n"
    "\n"
    "Writes the built-in sample terrain (an island with coasts, valleys and peaks) as an\n"
    "elevation file in the delta-and-run encoding. The same size and seed give the same map.\n"
    "\n"
    "  --size WxH     map size in cells, within the limits below (default 1024x768)\n"
    "  --seed N       terrain seed 0..4294967295 (default 1)\n"
    "  -o, --output   the file to write\n";

long long SizePart(const std::string& text) {
    long long v = ParseInteger("--size", text);
    if (v < 1 || v > kMaxGridSide)
        throw UsageError("--size",
                         "each side must be 1.." + std::to_string(kMaxGridSide) + ", not " + text);
    return v;
}

}  // namespace

int CmdGenerate(const std::vector<std::string>& args) {
    int width = kSampleWidth, height = kSampleHeight;
    std::uint32_t seed = 1;
    std::string out;
    const ParsedArgs parsed =
        ParseArgs("generate", {{"size", 0, true}, {"seed", 0, true}, {"output", 'o', true}}, args);
    if (parsed.help) return ShowHelp(kGenerateUsage);
    for (const ParsedArg& arg : parsed.items) {
        const std::string& a = arg.option;
        const std::string& v = arg.value;
        if (a.empty()) {
            throw UsageError("generate", "unexpected argument '" + v + "'");
        } else if (a == "--size") {
            std::vector<std::string> parts = SplitList(v, true);
            if (parts.size() != 2) throw UsageError("--size", "expected WxH, not '" + v + "'");
            width = static_cast<int>(SizePart(parts[0]));
            height = static_cast<int>(SizePart(parts[1]));
        } else if (a == "--seed") {
            long long s = ParseInteger("--seed", v);
            if (s < 0 || s > 4294967295LL) throw UsageError("--seed", "must be 0..4294967295");
            seed = static_cast<std::uint32_t>(s);
        } else {
            if (!out.empty())
                throw UsageError("--output", "given twice ('" + out + "', '" + v + "')");
            out = v;
        }
    }
    if (out.empty()) throw UsageError("generate", "no output file (-o OUT.elv)");
    CheckOutput(out);
    CheckElvOutput("generate", out);

    if (!MapCanHold(width, height))
        throw UsageError("--size", "a " + std::to_string(width) + "x" + std::to_string(height) +
                                       " map is more than a map holds (see --help's limits)");
    CommandProgress progress("generate", 2, parsed.quiet);
    progress.Step("making the map");
    const std::vector<short> cells = MakeSampleMap(width, height, seed, progress.Reporter());
    Zumeld::CCtrlElvMap map;
    map.SetElevationData(width, height, cells.data());
    if (map.m_nWidth != width || map.m_nHeight != height)
        throw CliError("generate", "the map could not be made");
    progress.Step("writing " + out);
    SaveMapElv(out, map);
    return kExitOk;
}

}  // namespace zumeld_cli
