// zumeld convert IN.elv OUT.elv [--jpeg [--quality Q]]: rewrites an elevation file in the
// delta-and-run encoding, or as the compressed record.
#include <cstdio>
#include <string>

#include "cli.h"
#include "elv.h"

namespace zumeld_cli {

namespace {

constexpr int kDefaultQuality = 90;

const char kConvertUsage[] =
    "usage: zumeld convert IN.elv OUT.elv [--jpeg [--quality Q]]\n"
    "\n"
    "Reads IN (any encoding) and writes OUT in the delta-and-run encoding, which keeps every\n"
    "elevation; with --jpeg, as a grey JPEG picture of the elevations (smaller, but close\n"
    "rather than exact).\n"
    "\n"
    "  --jpeg         store the compressed record\n"
    "  --quality Q    JPEG quality 1..100 (default 90); only with --jpeg\n";

}  // namespace

int CmdConvert(const std::vector<std::string>& args) {
    const ParsedArgs parsed =
        ParseArgs("convert", {{"jpeg", 0, false}, {"quality", 0, true}}, args);
    if (parsed.help) return ShowHelp(kConvertUsage);
    std::vector<std::string> files;
    bool jpeg = false;
    int quality = -1;
    for (const ParsedArg& a : parsed.items) {
        if (a.option.empty()) {
            files.push_back(a.value);
        } else if (a.option == "--jpeg") {
            jpeg = true;
        } else {  // --quality
            const long long q = ParseInteger(a.option, a.value);
            if (q < 1 || q > 100) throw UsageError(a.option, "must be 1..100, not " + a.value);
            quality = static_cast<int>(q);
        }
    }
    if (files.size() != 2)
        throw UsageError("convert", "needs IN.elv and OUT.elv (see 'zumeld convert --help')");
    if (quality != -1 && !jpeg) throw UsageError("--quality", "only with --jpeg");
    CheckOutput(files[1]);  // convert A.elv A.elv rewrites A in place
    CheckElvOutput("convert", files[1]);

    Zumeld::CCtrlElvMap map;
    CommandProgress progress("convert", 2, parsed.quiet);
    progress.Step("reading " + files[0]);
    LoadMap(files[0], map);
    progress.Step("writing " + files[1]);
    SaveMapElv(files[1], map, jpeg ? (quality == -1 ? kDefaultQuality : quality) : 0);
    return kExitOk;
}

}  // namespace zumeld_cli
