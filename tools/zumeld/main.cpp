// zumeld: the command-line tool. Dispatches to one subcommand; every error is reported as
// one line "zumeld: <what>: <why>" on stderr with exit status 1 (bad input or failed work)
// or 2 (bad usage).
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli.h"
#include "zumeld/zumeld.h"

using namespace zumeld_cli;

namespace {

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>&);
    const char* summary;
};

const Command kCommands[] = {
    {"generate", CmdGenerate, "write the built-in sample map"},
    {"render", CmdRender, "draw a map as a picture (.png, .bmp or GeoTIFF .tif)"},
    {"info", CmdInfo, "describe an .elv file"},
    {"convert", CmdConvert, "rewrite an .elv file in another encoding"},
    {"edit", CmdEdit, "apply terrain edits to a map"},
    {"import", CmdImport,
     "read a heightmap (.png, .pgm, .raw, .asc, .tif, .hgt) into an .elv file"},
    {"export", CmdExport, "write a map as a heightmap (.png, .pgm, .raw, .asc, .tif)"},
#ifdef ZUMELD_HAVE_SERVE
    {"serve", CmdServe, "show and edit a map in the browser"},
#endif
#ifdef ZUMELD_HAVE_TILES
    {"tiles", CmdTiles, "write a map's tile pyramid (.mbtiles or a folder with a page)"},
#endif
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: zumeld [--version] [--help] [--threads N] <command> [<args>]\n\n"
                 "  --threads N  threads to draw, resample, encode and compress with (1 = none;\n"
                 "               default: the processor's thread count); the output is the\n"
                 "               same for every count\n\ncommands:\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\nRun 'zumeld <command> --help' for a command's options.\n");
}

}  // namespace

int main(int argc, char** argv) {
    zumeld_formats::RemoveTemporariesOnSignals();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    if (args[0] == "--version" || args[0] == "-V") {
        std::printf("zumeld %s\n", Zumeld::GetVersionString());
        return kExitOk;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        PrintUsage(stdout);
        return kExitOk;
    }
    // Options before the command that apply to every command.
    while (!args.empty() && (args[0] == "--threads" || args[0].rfind("--threads=", 0) == 0)) {
        const bool joined = args[0] != "--threads";
        if (!joined && args.size() < 2) {
            std::fprintf(stderr, "zumeld: --threads: needs a thread count\n");
            return kExitUsage;
        }
        const std::string value = joined ? args[0].substr(10) : args[1];
        try {
            const long long n = ParseInteger("--threads", value);
            if (n < 1 || n > 64) throw UsageError("--threads", value + " is outside 1..64");
            Zumeld::SetThreadCount(static_cast<int>(n));
        } catch (const CliError& e) {
            std::fprintf(stderr, "zumeld: %s: %s\n", e.what_.c_str(), e.what());
            return kExitUsage;
        }
        args.erase(args.begin(), args.begin() + (joined ? 1 : 2));
    }
    if (args.empty()) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    for (const Command& c : kCommands) {
        if (args[0] != c.name) continue;
        try {
            return c.run(std::vector<std::string>(args.begin() + 1, args.end()));
        } catch (const CliError& e) {
            std::fprintf(stderr, "zumeld: %s: %s\n", e.what_.c_str(), e.what());
            return e.usage_ ? kExitUsage : kExitFailure;
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "zumeld: %s: out of memory\n", c.name);
            return kExitFailure;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zumeld: %s: %s\n", c.name, e.what());
            return kExitFailure;
        } catch (...) {
            std::fprintf(stderr, "zumeld: %s: failed\n", c.name);
            return kExitFailure;
        }
    }
    std::fprintf(stderr, "zumeld: %s: unknown command (see 'zumeld --help')\n", args[0].c_str());
    return kExitUsage;
}
