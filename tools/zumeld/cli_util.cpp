#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "cli.h"

namespace zumeld_cli {

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

ParsedArgs ParseArgs(const std::string& command, const std::vector<OptionSpec>& options,
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
        const OptionSpec* option = nullptr;
        std::string name, value;
        bool inlineValue = false;
        if (a[1] == '-') {
            const std::size_t eq = a.find('=');
            name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
            if (eq != std::string::npos) {
                value = a.substr(eq + 1);
                inlineValue = true;
            }
            for (const OptionSpec& s : options)
                if (name == s.name) option = &s;
        } else {
            for (const OptionSpec& s : options)
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

Progress::Progress(const char* label, std::uint64_t total, std::uint64_t threshold)
    : label_(label), total_(total), shown_(total >= threshold && total > 0 && ::isatty(2) == 1) {}

Progress::~Progress() {
    if (shown_ && lastPercent_ >= 0) std::fputs("\n", stderr);
}

void Progress::Update(std::uint64_t done) {
    if (!shown_) return;
    const int percent = static_cast<int>(std::min<std::uint64_t>(done, total_) * 100 / total_);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    constexpr int kWidth = 40;
    char bar[kWidth + 1];
    const int filled = percent * kWidth / 100;
    for (int k = 0; k < kWidth; ++k) bar[k] = k < filled ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r%s [%s] %3d%%", label_, bar, percent);
    std::fflush(stderr);
}

}  // namespace zumeld_cli
