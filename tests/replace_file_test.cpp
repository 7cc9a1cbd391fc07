// WriteFileReplacing: whole files or nothing, the replaced file's mode and links kept, FIFOs
// and standard output written straight through, read-only files and folders refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "temp_dir.h"
#include "zumeld/platform/files_p.h"
#include "zumeld/util/ReplaceFile.h"

namespace {

namespace fs = std::filesystem;

int Write(const std::string& path, const std::string& text, bool dashIsStdout = false) {
    const Zumeld::ByteRun run{text.data(), text.size()};
    return Zumeld::WriteFileReplacing(path.c_str(), {&run, 1}, {dashIsStdout});
}

using zumeld_test::ReadText;

TEST(ReplaceFile, KeepsModeAndLinksAndLeavesNothingBehindOnFailure) {
    TempDir dir;
    const std::string file = dir.File("a.txt"), link = dir.File("link"), dangling = dir.File("d");
    ASSERT_EQ(Write(file, "old"), 0);
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(file, mode);
    fs::create_symlink("a.txt", link);
    fs::create_symlink("b.txt", dangling);
    EXPECT_EQ(Write(link, "new"), 0);
    EXPECT_EQ(Write(dangling, "made"), 0);
    EXPECT_TRUE(fs::is_symlink(link) && fs::is_symlink(dangling));
    EXPECT_EQ(ReadText(file), "new");
    EXPECT_EQ(ReadText(dir.File("b.txt")), "made");
    EXPECT_EQ(fs::status(file).permissions(), mode);

    Zumeld::Platform::SetFileFailureCountdown(0);  // the write fails
    EXPECT_EQ(Write(file, "lost"), EIO);
    Zumeld::Platform::SetFileFailureCountdown(-1);
    EXPECT_EQ(ReadText(file), "new");
    fs::permissions(file, fs::perms::owner_read);  // read-only, even for root
    EXPECT_EQ(Write(file, "refused"), EACCES);
    EXPECT_EQ(Write(dir.path().string(), "folder"), EISDIR);
    EXPECT_EQ(ReadText(file), "new");
    EXPECT_EQ(dir.Entries(), 4) << "a temporary was left";
}

TEST(ReplaceFile, FifoAndStandardOutputAreWrittenStraightThrough) {
    TempDir dir;
    const std::string fifo = dir.File("pipe"), out = dir.File("stdout");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Write(fifo, "through"), 0);
    char got[16] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 7);
    EXPECT_STREQ(got, "through");
    EXPECT_TRUE(fs::is_fifo(fifo));
    ::close(reader);

    const int saved = ::dup(STDOUT_FILENO), file = ::open(out.c_str(), O_WRONLY | O_CREAT, 0600);
    ::dup2(file, STDOUT_FILENO);
    const int written = Write("-", "to stdout", true);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(file);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(ReadText(out), "to stdout");
    EXPECT_FALSE(fs::exists("-"));
}

}  // namespace
