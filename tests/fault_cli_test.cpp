// The command-line tool when its output cannot be written: run with a file-size limit (as on
// a full disk, every write past the limit fails with EFBIG), each writing command exits
// non-zero and leaves the existing output file exactly as it was, with nothing else behind.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace {

// Runs the tool with the arguments; with a limit, files it writes cannot grow past that
// many bytes. Returns the exit status, or -1 when the tool did not exit normally.
int RunTool(const std::vector<std::string>& args, rlim_t fileSizeLimit) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (fileSizeLimit != RLIM_INFINITY) {
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>("zumeld"));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::freopen("/dev/null", "w", stderr);
        execv(ZUMELD_CLI_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FaultCli, FullDiskFailsEveryWritingCommandAndKeepsTheExistingOutput) {
    TempDir dir;
    const std::string in = dir.File("in.elv");
    ASSERT_EQ(RunTool({"generate", "--size", "160x120", "-o", in}, RLIM_INFINITY), 0);
    ASSERT_GT(std::filesystem::file_size(in), 4096u);

    struct Case {
        const char* name;
        std::string output;
        std::vector<std::string> args;
    };
    const std::string elv = dir.File("out.elv"), png = dir.File("out.png"),
                      bmp = dir.File("out.bmp");
    const Case cases[] = {
        {"generate", elv, {"generate", "--size", "160x120", "-o", elv}},
        {"convert", elv, {"convert", in, elv}},
        {"convert --jpeg", elv, {"convert", in, elv, "--jpeg"}},
        {"render png", png, {"render", in, "-o", png}},
        {"render bmp", bmp, {"render", in, "-o", bmp}},
    };
    const std::string existing = "the existing output, which must survive";
    for (const Case& c : cases) {
        std::ofstream(c.output, std::ios::binary) << existing;
        EXPECT_NE(RunTool(c.args, 1024), 0) << c.name;
        EXPECT_EQ(ReadAll(c.output), existing) << c.name;
        // Nothing but the input and the existing output is left in the folder.
        int entries = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            (void)e;
            ++entries;
        }
        EXPECT_EQ(entries, 2) << c.name << " left a temporary file";
        std::filesystem::remove(c.output);
    }
}

}  // namespace
