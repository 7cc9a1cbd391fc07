// The old file calls over POSIX descriptors: OpenFile's modes and failures, and the
// transfers, seeks and closes on what it returns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include "temp_dir.h"
#include "zumeld/platform/win32.h"

namespace {

constexpr WORD kFileNotFound = 2;  // Windows ERROR_FILE_NOT_FOUND
constexpr WORD kAccessDenied = 5;  // Windows ERROR_ACCESS_DENIED

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PlatformFiles, OpenFileModesAndRefusals) {
    TempDir dir;
    const std::string path = dir.File("data.bin");
    // exists: the file holds "hello" before the call; err: OFSTRUCT::nErrCode after it (not 0:
    // the call fails); read: what a read of 16 bytes delivers; after: the content once "XY" is
    // written.
    const struct {
        UINT style;
        bool exists;
        WORD err;
        const char *read, *after;
    } cases[] = {{OF_READ, true, 0, "hello", "hello"},
                 {OF_READ, false, kFileNotFound, nullptr, nullptr},
                 {OF_READWRITE, true, 0, "hello", "helloXY"},
                 {OF_CREATE | OF_READWRITE, true, 0, "", "XY"},
                 {OF_CREATE | OF_READWRITE, false, 0, "", "XY"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style << (c.exists ? ", exists" : ""));
        std::remove(path.c_str());
        if (c.exists) std::ofstream(path, std::ios::binary) << "hello";
        OFSTRUCT of;
        std::memset(&of, 0xCC, sizeof of);
        const HFILE h = OpenFile(path.c_str(), &of, c.style);
        EXPECT_EQ(of.nErrCode, c.err);
        EXPECT_NE(std::memchr(of.szPathName, '\0', sizeof of.szPathName), nullptr);
        if (c.err != 0) {
            EXPECT_EQ(h, HFILE_ERROR);
            continue;
        }
        ASSERT_NE(h, HFILE_ERROR);
        EXPECT_EQ(std::string(of.szPathName), path) << "the full path of the file opened";
        char buf[16] = {};
        const UINT got = _lread(h, buf, sizeof buf);
        EXPECT_EQ(std::string(buf, std::min<UINT>(got, sizeof buf)), c.read);
        const bool writable = (c.style & OF_READWRITE) != 0;
        EXPECT_EQ(_lwrite(h, "XY", 2), writable ? 2u : static_cast<UINT>(HFILE_ERROR));
        EXPECT_EQ(_lclose(h), 0);
        EXPECT_EQ(ReadText(path), c.after);
    }
    OFSTRUCT of;
    EXPECT_EQ(OpenFile(dir.path().string().c_str(), &of, OF_READ), HFILE_ERROR);
    EXPECT_EQ(of.nErrCode, kAccessDenied);
    EXPECT_EQ(OpenFile(dir.path().string().c_str(), &of, OF_READWRITE), HFILE_ERROR);
    EXPECT_EQ(OpenFile(dir.File("no/such/file").c_str(), &of, OF_CREATE | OF_READWRITE),
              HFILE_ERROR);
    EXPECT_NE(of.nErrCode, 0);
    EXPECT_EQ(OpenFile(nullptr, &of, OF_READ), HFILE_ERROR);
}

TEST(PlatformFiles, SeekReadAndWriteOnADescriptorAndFailOnOneNotOpen) {
    TempDir dir;
    const std::string path = dir.File("f.bin");
    OFSTRUCT of;
    const HFILE h = OpenFile(path.c_str(), &of, OF_CREATE | OF_READWRITE);
    ASSERT_NE(h, HFILE_ERROR);
    EXPECT_EQ(_lwrite(h, "0123456789", 10), 10u);
    EXPECT_EQ(_lwrite(h, "", 0), 0u);
    EXPECT_EQ(_llseek(h, 0, FILE_CURRENT), 10);
    EXPECT_EQ(_llseek(h, -4, FILE_END), 6);
    char buf[8] = {};
    EXPECT_EQ(_lread(h, buf, 8), 4u) << "fewer bytes at the end of the file";
    EXPECT_STREQ(buf, "6789");
    EXPECT_EQ(_lread(h, buf, 8), 0u);
    EXPECT_EQ(_llseek(h, 2, FILE_BEGIN), 2);
    EXPECT_EQ(_lread(h, buf, 1), 1u);
    EXPECT_EQ(buf[0], '2');
    EXPECT_EQ(_llseek(h, -1, FILE_BEGIN), HFILE_ERROR);
    EXPECT_EQ(_llseek(h, 0, 3), HFILE_ERROR) << "no such origin";
    EXPECT_EQ(_lread(h, nullptr, 1), static_cast<UINT>(HFILE_ERROR));
    EXPECT_EQ(_lclose(h), 0);
    EXPECT_EQ(ReadText(path), "0123456789") << "a zero-byte write cuts nothing";
    for (HFILE bad : {HFILE_ERROR, -7}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(_lread(bad, buf, 4), static_cast<UINT>(HFILE_ERROR));
        EXPECT_EQ(_lwrite(bad, "abcd", 4), static_cast<UINT>(HFILE_ERROR));
        EXPECT_EQ(_llseek(bad, 0, FILE_BEGIN), HFILE_ERROR);
    }
    // (Windows reports closing HFILE_ERROR, the process's own pseudo-handle, as done.)
    EXPECT_EQ(_lclose(-7), HFILE_ERROR);
}

}  // namespace
