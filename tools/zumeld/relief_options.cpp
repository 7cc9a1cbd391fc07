// The relief options render and tiles share (cli.h).
#include <cstdint>
#include <string>

#include "cli.h"
#include "look.h"

namespace zumeld_cli {

const std::vector<OptionRule> kReliefRules = {
    {"relief", 0, true},    {"season", 0, true},      {"colors", 0, true}, {"exaggerate", 0, true},
    {"no-shade", 0, false}, {"no-texture", 0, false}, {"color", 0, true},  {"dim", 0, false}};

const char kReliefHelp[] =
    "  --relief N                relief level, 1 or more: the shading gain is divided by N\n"
    "                            (default 1)\n"
    "  --season S                season 0..3 of a four-season texture set (default 0); the\n"
    "                            sets zumeld draws with have one season: others warn\n"
    "  --colors auto|default     auto: the default textures with their blend elevation and\n"
    "                            fade lines placed where 95 % of the map's land lies below\n"
    "                            (where 2000, the default's, falls on the sample map), so any\n"
    "                            terrain shows green low land, brown high land and grey tops\n"
    "  --exaggerate F            multiply elevations by F (above 0) before drawing: steeper\n"
    "                            shading and, with --colors auto, more grey on flat terrain\n"
    "  --no-shade                no slope shading\n"
    "  --no-texture              colour land flat with --color instead of the textures\n"
    "  --color RRGGBB            the flat land colour with --no-texture, hex (default C0C0C0)\n"
    "  --dim                     draw land at three quarters of its brightness\n";

COLORREF ParseColor(const std::string& option, const std::string& text) {
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw UsageError(option, "not a colour RRGGBB: '" + text + "'");
    const unsigned long rgb = std::stoul(text, nullptr, 16);
    return RGB(static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb));
}

bool TakeReliefOption(const ParsedArg& arg, ReliefOptions& o) {
    const std::string& a = arg.option;
    const auto inRange = [&](long long lo, long long hi) {
        const long long v = ParseInteger(a, arg.value);
        if (v < lo || v > hi)
            throw UsageError(a, std::to_string(v) + " is outside " + std::to_string(lo) + ".." +
                                    std::to_string(hi));
        return static_cast<int>(v);
    };
    if (a == "--relief") {
        o.style.relief = inRange(1, zumeld_tiles::kMaxReliefLevel);
    } else if (a == "--season") {
        o.style.season = inRange(0, zumeld_tiles::kMaxSeason);
    } else if (a == "--colors") {
        if (arg.value != "auto" && arg.value != "default")
            throw UsageError(a, "is 'auto' or 'default', not '" + arg.value + "'");
        o.autoColors = arg.value == "auto";
    } else if (a == "--exaggerate") {
        o.exaggerate = ParseNumber(a, arg.value);
        if (!(o.exaggerate > 0 && o.exaggerate <= zumeld_tiles::kMaxExaggerate))
            throw UsageError(a, "must be above 0 and at most " +
                                    std::to_string(zumeld_tiles::kMaxExaggerate) + ", not '" +
                                    arg.value + "'");
    } else if (a == "--no-shade") {
        o.style.shade = false;
    } else if (a == "--no-texture") {
        o.style.texture = false;
    } else if (a == "--color") {
        o.style.color = ParseColor(a, arg.value);
        o.colorGiven = true;
    } else if (a == "--dim") {
        o.style.dim = true;
    } else {
        return false;
    }
    return true;
}

void CheckReliefOptions(const ReliefOptions& o) {
    if (o.colorGiven && o.style.texture)
        throw UsageError("--color",
                         "colours land only with --no-texture (the textures colour it "
                         "otherwise)");
    if (o.autoColors && !o.style.texture)
        throw UsageError("--colors",
                         "places the textures' colours; --no-texture draws without "
                         "them");
}

void ApplyReliefOptions(const ReliefOptions& o, Zumeld::CCtrlElvMap& map,
                        CommandProgress& progress) {
    if (o.style.season != 0)  // taken, as the server's tiles take it, but said to change nothing
        progress.Say(
            "zumeld: --season: warning: the texture sets zumeld draws with have one season; "
            "season " +
            std::to_string(o.style.season) + " looks as season 0");
    if (o.exaggerate != 1.0) {
        if (const std::uint64_t clamped = zumeld_tiles::ExaggerateElevations(map, o.exaggerate))
            progress.Say("zumeld: --exaggerate: warning: " + std::to_string(clamped) +
                         " cells clamped to -32768..32767");
    }
    if (o.autoColors && !zumeld_tiles::UseAutoColors(map, zumeld_tiles::AutoColorElevation(map)))
        throw CliError("--colors", "cannot make the texture set");
}

}  // namespace zumeld_cli
