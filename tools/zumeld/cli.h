// Shared pieces of the zumeld command-line tool: the error every command reports with,
// number and option parsing, and the progress bar. The readers and writers of files are
// the formats layer's (tools/formats/), which the commands see here unqualified.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <string>
#include <vector>

#include "error.h"
#include "files.h"
#include "heightmap.h"
#include "map_limits.h"
#include "style.h"

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
struct OptionRule {
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
    bool quiet = false;            // -q or --quiet was given: no progress line
    std::vector<ParsedArg> items;  // in the order given
};
// Throws UsageError for an unknown option, a missing value, or a value given to a flag.
ParsedArgs ParseArgs(const std::string& command, const std::vector<OptionRule>& options,
                     const std::vector<std::string>& args);

// The progress of one command on stderr: one line, "zumeld render: drawing (3/4) [####...]
// 42% 2.5 s", redrawn ten times a second by a thread of its own once the command has run
// for half a second, only when stderr is a terminal and --quiet was not given; erased when
// the object goes, so that an error line or the prompt follows on a clean line. Every member
// may be called from any thread.
class CommandProgress {
  public:
    CommandProgress(const char* command, int steps, bool quiet);
    ~CommandProgress();
    CommandProgress(const CommandProgress&) = delete;
    CommandProgress& operator=(const CommandProgress&) = delete;
    // Starts the next step; how far it has come is unknown until Update. A step counted in
    // units ("tiles") also shows the units done of the total, their rate and the time left.
    void Step(const std::string& name, const char* unit = nullptr);
    // How far the current step has come.
    void Update(std::uint64_t done, std::uint64_t total);
    // Update as a LoadProgress, for the readers. Valid while the object lives.
    LoadProgress Reporter();
    // Prints a line on stderr (a warning) without mixing it into the progress line.
    void Say(const std::string& line);

  private:
    void Run();
    void Draw();  // with mutex_ held

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false, drawn_ = false;
    const char* command_;
    int steps_, step_ = 0;
    std::string name_;
    double fraction_ = -1;  // of the current step; below 0 when not known
    const char* unit_ = nullptr;
    std::uint64_t done_ = 0, total_ = 0;  // of a counted step
    std::chrono::steady_clock::time_point start_, stepStart_;
    std::thread thread_;
};

// Checks, before any work, that the command can write `path`: it names a file, not a folder;
// its folder exists and may be written in; an existing file there is not read-only; and it
// is none of `inputs`, the files the command reads (a command whose purpose is to rewrite
// its input in place passes none). "-" (standard output) passes unless it is a terminal.
// Throws UsageError for a folder, a terminal or an input named as the output, CliError for a
// place that cannot be written.
void CheckOutput(const std::string& path, const std::vector<std::string>& inputs = {});

// Refuses (UsageError) an output name that does not end in .elv (nor is "-", a FIFO or a
// device), for the commands that write map files: `command` names the command in the
// message.
void CheckElvOutput(const std::string& command, const std::string& path);

// Takes --scale, --offset, --sea-level, --raw-size (or --size), --fit or --fit-range into
// options; false for any other option. Throws UsageError for a bad value.
bool TakeImportOption(const ParsedArg& arg, ImportOptions& options);

// "RRGGBB" as a COLORREF (0x00BBGGRR); throws UsageError naming the option.
COLORREF ParseColor(const std::string& option, const std::string& text);

// The relief options render and tiles share: how the relief is drawn (--relief, --season,
// --no-shade, --no-texture, --color, --dim) and how the map is made to show (--colors,
// --exaggerate).
struct ReliefOptions {
    zumeld_tiles::ReliefStyle style;
    bool autoColors = false;  // --colors auto
    double exaggerate = 1.0;
    bool colorGiven = false;
};
extern const std::vector<OptionRule> kReliefRules;
// Their lines for a command's help text.
extern const char kReliefHelp[];
// Takes one of them into options; false for any other option. Throws UsageError for a bad
// value.
bool TakeReliefOption(const ParsedArg& arg, ReliefOptions& options);
// Refuses (UsageError) the options that would do nothing: --color with the textures,
// --colors auto without them.
void CheckReliefOptions(const ReliefOptions& options);
// Makes a loaded map show as the options ask, once, before it is drawn: exaggerated
// elevations (a warning for clamped cells) and the auto colours (CliError when their texture
// set cannot be made); warns for a season the texture sets do not have.
void ApplyReliefOptions(const ReliefOptions& options, Zumeld::CCtrlElvMap& map,
                        CommandProgress& progress);

// Loads any map file for a command as a step of its progress (LoadAnyMap), then warns on
// stderr, in one line, when the value mapping clamped cells, naming the scale that fits
// them. Returns the georeferencing of the map's cells, when the file has one.
std::optional<GeoReference> LoadMapFile(const std::string& path, const ImportOptions& options,
                                        Zumeld::CCtrlElvMap& map, CommandProgress& progress);

// The subcommands. Each takes the arguments after its own name and returns an exit status.
int CmdGenerate(const std::vector<std::string>& args);
int CmdRender(const std::vector<std::string>& args);
int CmdInfo(const std::vector<std::string>& args);
int CmdConvert(const std::vector<std::string>& args);
int CmdEdit(const std::vector<std::string>& args);
int CmdImport(const std::vector<std::string>& args);
int CmdExport(const std::vector<std::string>& args);
int CmdServe(const std::vector<std::string>& args);  // in builds with the server
int CmdTiles(const std::vector<std::string>& args);  // in builds with the page

}  // namespace zumeld_cli
