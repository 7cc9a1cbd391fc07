#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "cli.h"

namespace zumeld_cli {

namespace {

// A scale for people to type: s rounded down to three significant digits.
std::string ScaleText(double s) {
    const double unit = std::pow(10.0, std::floor(std::log10(s)) - 2);
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", std::floor(s / unit) * unit);
    return text;
}

void WarnClamped(const std::string& path, const MappingReport& r, const ImportOptions& o,
                 CommandProgress& progress) {
    if (r.clamped == 0) return;
    // The source values that map highest and lowest (a negative scale swaps them).
    const double top = o.scale < 0 ? r.lowest : r.highest;
    const double bottom = o.scale < 0 ? r.highest : r.lowest;
    char text[160];
    std::string what;
    if (std::round(top * o.scale + o.offset) > 32767) {
        std::snprintf(text, sizeof text, "values reaching %.15g map above 32767", top);
        what = text;
    }
    if (std::round(bottom * o.scale + o.offset) < -32768) {
        std::snprintf(text, sizeof text, "values reaching %.15g map below -32768", bottom);
        what += (what.empty() ? "" : ", ") + std::string(text);
    }
    // The scale of the same sign that maps the whole range without clamping.
    const double fit = o.scale < 0 ? FittingScale(-r.highest, -r.lowest, o.offset)
                                   : FittingScale(r.lowest, r.highest, o.offset);
    std::string advice;
    if (fit > 0)
        advice = "; --scale " + std::string(o.scale < 0 ? "-" : "") + ScaleText(fit) +
                 " fits them" + (o.offset == 0 ? " (or --fit-range)" : "");
    std::snprintf(text, sizeof text, "%llu of %llu cells (%.1f %%) clamped: ",
                  static_cast<unsigned long long>(r.clamped),
                  static_cast<unsigned long long>(r.mapped),
                  100.0 * static_cast<double>(r.clamped) / static_cast<double>(r.mapped));
    progress.Say("zumeld: " + path + ": warning: " + text + what + advice);
}

}  // namespace

std::optional<GeoReference> LoadMapFile(const std::string& path, const ImportOptions& options,
                                        Zumeld::CCtrlElvMap& map, CommandProgress& progress) {
    MappingReport report;
    ImportOptions o = options;
    o.report = &report;
    progress.Step("reading " + path);
    const std::optional<GeoReference> geo = LoadAnyMap(path, o, map, progress.Reporter());
    WarnClamped(path, report, options, progress);
    return geo;
}

int ShowHelp(const char* text) {
    std::printf(
        "%s\nprogress: a command that runs for more than half a second shows its progress on\n"
        "one line of stderr when that is a terminal; -q or --quiet silences it.\n\n"
        "output: written beside and renamed into place, keeping a replaced file's mode (a\n"
        "symlink is followed; a read-only file is refused); a FIFO or device is written\n"
        "straight through, and '-' is standard output (a PNG from render, an .elv file from\n"
        "the commands that write maps).\n\n%s",
        text, kLimitsText);
    return kExitOk;
}

void CheckOutput(const std::string& path, const std::vector<std::string>& inputs) {
    if (path == "-") {
        if (::isatty(STDOUT_FILENO) == 1)
            throw UsageError("-", "standard output is a terminal: redirect it, or name a file");
        return;
    }
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (path.back() == '/' || (exists && S_ISDIR(st.st_mode)))
        throw UsageError(path, "is a folder; name the file to write in it");
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    struct stat fs {};
    if (::stat(folder.c_str(), &fs) != 0)
        throw CliError(path, "the folder '" + folder + "' " +
                                 (errno == ENOENT ? "does not exist" : std::strerror(errno)));
    if (!S_ISDIR(fs.st_mode)) throw CliError(path, "'" + folder + "' is not a folder");
    if (::access(folder.c_str(), W_OK) != 0)
        throw CliError(path,
                       "cannot write in the folder '" + folder + "': " + std::strerror(errno));
    if (!exists) return;
    if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0)
        throw CliError(path, "is read-only; it is not replaced");
    for (const std::string& input : inputs) {
        struct stat in {};
        // Windows reports no file numbers (st_ino 0): there the check cannot tell files apart.
        if (::stat(input.c_str(), &in) == 0 && in.st_ino != 0 && in.st_dev == st.st_dev &&
            in.st_ino == st.st_ino)
            throw UsageError(path, "is also an input of the command ('" + input +
                                       "'); writing it would replace what is read");
    }
}

void CheckElvOutput(const std::string& command, const std::string& path) {
    bool elv = false;
    try {
        elv = IsStream(path) || HeightFormatOfPath(path, path) == HeightFormat::kElv;
    } catch (const CliError&) {
    }
    if (!elv)
        throw UsageError(path, command +
                                   " writes an .elv map file: the name must end in .elv ('zumeld "
                                   "export' writes heightmaps, 'zumeld render' pictures)");
}

long long ParseInteger(const std::string& option, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        throw UsageError(option, "not a whole number: '" + text + "'");
    return v;
}

double ParseNumber(const std::string& option, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        throw UsageError(option, "not a number: '" + text + "'");
    return v;
}

std::vector<std::string> SplitList(const std::string& text, bool splitOnX) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (c == ',' || (splitOnX && (c == 'x' || c == 'X'))) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    return parts;
}

ParsedArgs ParseArgs(const std::string& command, const std::vector<OptionRule>& options,
                     const std::vector<std::string>& args) {
    ParsedArgs out;
    bool operandsOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (operandsOnly || a.size() < 2 || a[0] != '-') {
            out.items.push_back({"", a});
            continue;
        }
        if (a == "--") {
            operandsOnly = true;
            continue;
        }
        if (a == "-h" || a == "--help") {
            out.help = true;
            continue;
        }
        if (a == "-q" || a == "--quiet") {
            out.quiet = true;
            continue;
        }
        const OptionRule* option = nullptr;
        std::string name, value;
        bool inlineValue = false;
        if (a[1] == '-') {
            const std::size_t eq = a.find('=');
            name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
            if (eq != std::string::npos) {
                value = a.substr(eq + 1);
                inlineValue = true;
            }
            for (const OptionRule& s : options)
                if (name == s.name) option = &s;
        } else {
            for (const OptionRule& s : options)
                if (s.shortName != 0 && a[1] == s.shortName) option = &s;
            if (option && a.size() > 2) {  // -oFILE
                value = a.substr(2);
                inlineValue = true;
            }
        }
        if (!option)
            throw UsageError(command,
                             "unknown option '" + a + "' (see 'zumeld " + command + " --help')");
        const std::string shown = std::string("--") + option->name;
        if (option->takesValue && !inlineValue) {
            if (i + 1 >= args.size()) throw UsageError(shown, "needs a value");
            value = args[++i];
        } else if (!option->takesValue && inlineValue) {
            throw UsageError(shown, "takes no value");
        }
        out.items.push_back({shown, value});
    }
    return out;
}

}  // namespace zumeld_cli
