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
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: zumeld [--version] [--help] <command> [<args>]\n\ncommands:\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\nRun 'zumeld <command> --help' for a command's options.\n");
}

}  // namespace

int main(int argc, char** argv) {
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
