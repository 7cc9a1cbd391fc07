// Runs of the zumeld tool as a child process, through the POSIX shell (tests labelled
// posix-only).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace elv_test {

struct ToolRun {
    int status;
    std::string out;
};

// Runs the zumeld tool with the arguments; stdout is captured, stderr dropped.
inline ToolRun RunTool(const std::string& arguments) {
    const std::string command = std::string(ZUMELD_CLI_PATH) + " " + arguments + " 2>/dev/null";
    ToolRun run{-1, ""};
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p)) run.out += buf;
        const int status = pclose(p);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return run;
}

}  // namespace elv_test
