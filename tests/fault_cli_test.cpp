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

// Runs the tool; files it writes cannot grow past `fileSizeLimit` bytes. Returns the exit
// status, or -1 when the tool did not exit normally.
int RunTool(std::vector<std::string> args, rlim_t fileSizeLimit) {
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        std::vector<char*> argv{const_cast<char*>("zumeld")};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::freopen("/dev/null", "w", stderr);
        execv(ZUMELD_CLI_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FaultCli, FullDiskFailsEveryWritingCommandAndKeepsTheExistingOutput) {
    TempDir dir;
    const std::string in = dir.File("in.elv"), elv = dir.File("out.elv"), png = dir.File("out.png"),
                      bmp = dir.File("out.bmp");
    ASSERT_EQ(RunTool({"generate", "--size", "160x120", "-o", in}, RLIM_INFINITY), 0);
    ASSERT_GT(std::filesystem::file_size(in), 4096u);

    const struct {
        std::string output;
        std::vector<std::string> args;
    } cases[] = {
        {elv, {"generate", "--size", "160x120", "-o", elv}},
        {elv, {"convert", in, elv}},
        {elv, {"convert", in, elv, "--jpeg"}},
        {png, {"render", in, "-o", png}},
        {bmp, {"render", in, "-o", bmp}},
    };
    const std::string existing = "the existing output, which must survive";
    for (const auto& [output, args] : cases) {
        std::ofstream(output, std::ios::binary) << existing;
        EXPECT_NE(RunTool(args, 1024), 0) << args[0] << " " << output;
        std::ifstream back(output, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(back), {}), existing) << output;
        const auto listing = std::filesystem::directory_iterator(dir.path());
        EXPECT_EQ(std::distance(begin(listing), end(listing)), 2) << output << ": a temporary left";
        std::filesystem::remove(output);
    }
}

}  // namespace
