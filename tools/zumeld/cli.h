// Shared pieces of the zumeld command-line tool: the error every command reports with,
// number and option parsing, and the progress bar. The readers and writers of files are
// the formats layer's (tools/formats/), which the commands see here unqualified.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "error.h"
#include "files.h"
#include "heightmap.h"
#include "map_limits.h"

namespace zumeld_cli {

using namespace zumeld_formats;

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // bad input or failed work
constexpr int kExitUsage = 2;    // bad usage

// Commands throw the formats layer's error; main prints "zumeld: <what>: <why>" and exits
// with kExitUsage for a usage fault, kExitFailure otherwise.
using CliError = zumeld_formats::Error;
using zumeld_formats::UsageError;

// Prints a command's help text and the tool's limits (map_limits.h) on stdout; returns kExitOk.
int ShowHelp(const char* text);

// Parses a whole decimal integer (optionally signed); throws UsageError naming the option.
long long ParseInteger(const std::string& option, const std::string& text);
// Parses a floating-point number; throws UsageError naming the option.
double ParseNumber(const std::string& option, const std::string& text);
// Splits "a,b,c" on commas (or 'x' when splitOnX, for "WxH").
std::vector<std::string> SplitList(const std::string& text, bool splitOnX = false);

// One parser for every subcommand, GNU style: "--name value", "--name=value", "-x value",
// flags without a value, "--" ending the options, and -h/--help. Options may repeat and
// come in any order among the operands; what they mean is up to the command.
struct OptionSpec {
    const char* name;  // long name without the dashes, e.g. "output"
    char shortName;    // e.g. 'o', or 0
    bool takesValue;
};
struct ParsedArg {
    std::string option;  // "--name" as the user would write it; empty for an operand
    std::string value;   // the option's value, or the operand
};
struct ParsedArgs {
    bool help = false;             // -h or --help was given
    std::vector<ParsedArg> items;  // in the order given
};
// Throws UsageError for an unknown option, a missing value, or a value given to a flag.
ParsedArgs ParseArgs(const std::string& command, const std::vector<OptionSpec>& options,
                     const std::vector<std::string>& args);

// A progress bar on stderr for long work, drawn only when stderr is a terminal.
class Progress {
  public:
    // Shown only when total reaches `threshold` (units of work) and stderr is a terminal.
    Progress(const char* label, std::uint64_t total, std::uint64_t threshold);
    ~Progress();
    void Update(std::uint64_t done);

  private:
    const char* label_;
    std::uint64_t total_;
    bool shown_;
    int lastPercent_ = -1;
};
// Work of this many map cells or more is long enough for a progress bar.
constexpr std::uint64_t kLongWorkCells = 16u * 1024u * 1024u;

// A load's progress (LoadProgress) shown on a bar labelled `label`, made on the first
// report once the total is known. Pass it as std::ref(bar).
class LoadBar {
  public:
    explicit LoadBar(const char* label) : label_(label) {}
    void operator()(std::uint64_t done, std::uint64_t total) {
        if (!bar_) bar_.emplace(label_, total, kLongWorkCells);
        bar_->Update(done);
    }

  private:
    const char* label_;
    std::optional<Progress> bar_;
};

// Checks, before any work, that the command can write `path`: it names a file, not a folder;
// its folder exists and may be written in; an existing file there is not read-only; and it
// is none of `inputs`, the files the command reads (a command whose purpose is to rewrite
// its input in place passes none). "-" (standard output) passes. Throws UsageError for a
// folder or an input named as the output, CliError for a place that cannot be written.
void CheckOutput(const std::string& path, const std::vector<std::string>& inputs = {});

// Refuses (UsageError) an output name that does not end in .elv, for the commands that write
// map files: `command` names the command in the message.
void CheckElvOutput(const std::string& command, const std::string& path);

// Takes --scale, --offset, --sea-level, --raw-size (or --size), --fit or --fit-range into
// options; false for any other option. Throws UsageError for a bad value.
bool TakeImportOption(const ParsedArg& arg, ImportOptions& options);

// Loads any map file for a command (LoadAnyMap, with a progress bar on a terminal), then
// warns on stderr, in one line, when the value mapping clamped cells, naming the scale
// that fits them. Returns the georeferencing of the map's cells, when the file has one.
std::optional<GeoReference> LoadMapFile(const std::string& path, const ImportOptions& options,
                                        Zumeld::CCtrlElvMap& map);

// The subcommands. Each takes the arguments after its own name and returns an exit status.
int CmdGenerate(const std::vector<std::string>& args);
int CmdRender(const std::vector<std::string>& args);
int CmdInfo(const std::vector<std::string>& args);
int CmdConvert(const std::vector<std::string>& args);
int CmdEdit(const std::vector<std::string>& args);
int CmdImport(const std::vector<std::string>& args);
int CmdExport(const std::vector<std::string>& args);
int CmdServe(const std::vector<std::string>& args);  // in builds with the server

}  // namespace zumeld_cli
