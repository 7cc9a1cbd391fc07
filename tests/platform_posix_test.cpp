// The stand-ins' own hooks and tables on POSIX: the global and local memory handle table (sizes,
// zero fill, reallocation, lock counts, bad handles and sizes, the failure hook, threads), the
// module's embedded resources and the message box, and WriteFileReplacing (whole files or
// nothing, modes and links kept, FIFOs and standard output written straight through).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

#include "dib_test_support.h"
#include "temp_dir.h"
#include "zumeld/platform/afx.h"
#include "zumeld/platform/files_p.h"
#include "zumeld/platform/gdi_p.h"
#include "zumeld/platform/memory_p.h"
#include "zumeld/platform/module_p.h"
#include "zumeld/platform/win32.h"
#include "zumeld/util/ReplaceFile.h"

using Zumeld::Platform::LiveBlockCount;
using Zumeld::Platform::ModuleInstanceHandle;
using Zumeld::Platform::SetAllocationFailureCountdown;

namespace {

// ---- The global and local memory handle table: sizes, zero fill, reallocation, lock counts,
// refusal of bad handles and sizes, the failure hook, and threads.

bool AllZero(const BYTE* p, std::size_t n) {
    return std::all_of(p, p + n, [](BYTE b) { return b == 0; });
}

// Checks that the table holds no more blocks at the end of the test than at its start.
class PlatformMemory : public ::testing::Test {
  protected:
    void TearDown() override {
        SetAllocationFailureCountdown(-1);
        EXPECT_EQ(LiveBlockCount(), m_liveAtStart) << "blocks leaked";
    }
    std::size_t m_liveAtStart = LiveBlockCount();
};

// Two threads make and free blocks and pictures at once: every block is whole and zeroed
// (page-sized ones too), whatever its size, and its handle is not its address.
TEST_F(PlatformMemory, BlocksAreZeroedAndServeThreadsAtOnce) {
    auto work = [](std::size_t bytes, bool local, int* bad) {
        for (int i = 0; i < 40; ++i) {
            HGLOBAL h = local ? LocalAlloc(LPTR, bytes) : GlobalAlloc(GHND, bytes);
            auto* p = static_cast<BYTE*>(GlobalLock(h));
            *bad += p == nullptr || p == h || !AllZero(p, bytes) || GlobalSize(h) != bytes;
            if (p != nullptr && bytes > 0) p[bytes - 1] = 1;
            GlobalUnlock(h);
            *bad += (local ? LocalFree(h) : GlobalFree(h)) != nullptr;
            HBITMAP bmp = CreateBitmap(700, 1000, 1, 32, nullptr);
            *bad += bmp == nullptr || DeleteObject(bmp) != TRUE;
        }
    };
    int bad[3] = {0, 0, 0};
    std::thread other(work, std::size_t{3} << 20, false, &bad[0]);
    work(1000, true, &bad[1]);
    work(0, false, &bad[2]);  // even an empty block locks
    other.join();
    EXPECT_EQ(bad[0] + bad[1] + bad[2], 0);
}

TEST_F(PlatformMemory, ReAllocKeepsContentsZeroesTheGrownPartAndMovesNoLockedBlock) {
    HGLOBAL h = GlobalAlloc(GHND, 16);
    auto* p = static_cast<BYTE*>(GlobalLock(h));
    for (int i = 0; i < 16; ++i) p[i] = static_cast<BYTE>(0xA0 + i);
    GlobalUnlock(h);
    // Grow (moves), shrink in place, grow back into the room the shrink left, grow again;
    // `kept` leading bytes must still hold 0xA0 + i.
    const struct { std::size_t bytes, kept; } steps[] = {{4096, 16}, {8, 8}, {32, 8}, {70000, 8}};
    for (const auto& s : steps) {
        ASSERT_EQ(GlobalReAlloc(h, s.bytes, GMEM_MOVEABLE | GMEM_ZEROINIT), h);
        EXPECT_EQ(GlobalSize(h), s.bytes);
        p = static_cast<BYTE*>(GlobalLock(h));
        for (std::size_t i = 0; i < s.kept; ++i) ASSERT_EQ(p[i], 0xA0 + i) << i;
        EXPECT_TRUE(AllZero(p + s.kept, s.bytes - s.kept)) << s.bytes;
        GlobalUnlock(h);
    }
    // Locks count, and a locked block cannot move unless the caller allows it.
    void* p2 = GlobalLock(h);
    EXPECT_EQ(GlobalLock(h), p2);
    EXPECT_TRUE(GlobalUnlock(h)) << "still locked once";
    EXPECT_EQ(GlobalReAlloc(h, 200000, 0), nullptr);
    EXPECT_EQ(GlobalSize(h), 70000u);
    EXPECT_FALSE(GlobalUnlock(h) || GlobalUnlock(h));  // now unlocked; then not locked at all
    EXPECT_EQ(GlobalReAlloc(h, 200000, 0), h);
    EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST_F(PlatformMemory, BadHandlesAndSizesAreRefusedAndLeaveOtherBlocksAlone) {
    HGLOBAL freed = GlobalAlloc(GHND, 8);
    ASSERT_EQ(GlobalFree(freed), nullptr);
    HGLOBAL reused = GlobalAlloc(GHND, 12);  // may take the freed handle's slot
    ASSERT_NE(reused, freed);
    int local = 0;
    HGLOBAL live = GlobalAlloc(GHND, 4);
    static_cast<BYTE*>(GlobalLock(live))[3] = 9;
    // Null, freed, made up, a stack address, a block's address, the largest address.
    auto at = [](std::uintptr_t v) { return reinterpret_cast<HGLOBAL>(v); };
    const HGLOBAL bad[] = {nullptr,          freed,          at(0x12345678), &local,
                           GlobalLock(live), at(UINTPTR_MAX)};
    GlobalUnlock(live);
    GlobalUnlock(live);
    for (HGLOBAL h : bad) {
        EXPECT_EQ(GlobalLock(h), nullptr) << h;
        EXPECT_FALSE(GlobalUnlock(h)) << h;
        EXPECT_EQ(GlobalSize(h), 0u) << h;
        EXPECT_EQ(GlobalReAlloc(h, 16, GHND), nullptr) << h;
        EXPECT_EQ(GlobalFree(h), h) << "freeing a bad handle fails (null: nothing to free)";
        EXPECT_EQ(LocalFree(h), h) << h;
    }
    // Too big: a negative int converted, a 4 GiB int product, one past the limit; then the
    // failure hook fails exactly the chosen allocation, here the third.
    for (std::size_t bytes : {static_cast<std::size_t>(-1), std::size_t{0x10000} * 0x10000,
                              Zumeld::Platform::kMaxBlockBytes + 1}) {
        EXPECT_EQ(GlobalAlloc(GHND, bytes), nullptr) << bytes;
        EXPECT_EQ(LocalAlloc(LPTR, bytes), nullptr) << bytes;
        EXPECT_EQ(GlobalReAlloc(live, bytes, GHND), nullptr) << bytes;
    }
    SetAllocationFailureCountdown(2);
    HGLOBAL a = GlobalAlloc(GHND, 8), b = LocalAlloc(LPTR, 8);
    EXPECT_TRUE(a && b);
    EXPECT_EQ(GlobalReAlloc(live, 64, GHND), nullptr);
    EXPECT_TRUE(GlobalSize(live) == 4 && GlobalSize(reused) == 12);
    EXPECT_EQ(static_cast<BYTE*>(GlobalLock(live))[3], 9) << "a failed resize keeps the block";
    GlobalUnlock(live);
    EXPECT_EQ(GlobalReAlloc(live, 64, GHND), live);
    for (HGLOBAL h : {a, b, live, reused}) EXPECT_EQ(GlobalFree(h), nullptr);
}

// ---- The module's embedded resources, their lookup and decoding, and the message-box handler.

TEST(PlatformModule, EmbeddedBitmapsAreFoundInThisModuleAndNothingElseIs) {
    // Unknown ids 0, 1999, 65535; a string name; icon, string and null types.
    const std::pair<LPCSTR, LPCSTR> absent[] = {{MAKEINTRESOURCE(0), RT_BITMAP},
                                                {MAKEINTRESOURCE(1999), RT_BITMAP},
                                                {MAKEINTRESOURCE(65535), RT_BITMAP},
                                                {"2000", RT_BITMAP},
                                                {MAKEINTRESOURCE(2000), MAKEINTRESOURCE(3)},
                                                {MAKEINTRESOURCE(2000), "BITMAP"},
                                                {MAKEINTRESOURCE(2000), nullptr}};
    for (const auto& p : absent)
        EXPECT_EQ(AfxFindResourceHandle(p.first, p.second), nullptr) << "case " << &p - absent;
    EXPECT_NE(ModuleInstanceHandle(), nullptr);
    for (const auto* r = Zumeld::Platform::kEmbeddedResources; r->bytes != nullptr; ++r) {
        EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCE(r->id), RT_BITMAP), ModuleInstanceHandle())
            << r->id;
        EXPECT_EQ(Zumeld::Platform::FindEmbeddedResource(MAKEINTRESOURCE(r->id)), r) << r->id;
    }
}

HBITMAP FromFile(const std::vector<BYTE>& f) {
    return Zumeld::Platform::BitmapFromBmpFile(f.data(), f.size());
}

// The embedded pictures are the library's own; a file cut short is still refused.
TEST(GdiResources, UnknownResourcesAndTruncatedBmpFilesAreRefused) {
    EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCE(1)), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, "2000"), nullptr);
    for (std::size_t n = 0; n < dib_test::kBmpFile.size(); ++n)
        EXPECT_EQ(FromFile({dib_test::kBmpFile.begin(),
                            dib_test::kBmpFile.begin() + static_cast<std::ptrdiff_t>(n)}),
                  nullptr)
            << n << " bytes";
}

// (A handler seeing the text of an MB_OK box, and put back: the elevation file tests' recorder.)
TEST(PlatformMessageBox, HandlerGetsEveryArgumentAndDefaultPrintsTheText) {
    std::tuple<std::string, UINT, UINT> call;
    AfxMessageBoxHandler previous =
        AfxSetMessageBoxHandler([&call](const char* t, UINT type, UINT help) {
            call = {t, type, help};
            return 42;
        });
    EXPECT_EQ(AfxMessageBox(nullptr, MB_ICONERROR, 7), 42);
    EXPECT_EQ(call, std::tuple(std::string(), UINT{MB_ICONERROR}, 7u));
    EXPECT_TRUE(static_cast<bool>(AfxSetMessageBoxHandler(previous)));  // empty: the default
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox("shown on stderr"), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "shown on stderr\n");
}

// ---- WriteFileReplacing: whole files or nothing, the replaced file's mode and links kept, FIFOs
// written straight through, read-only files and folders refused. (Standard output, "-": the
// tool's test writes a map there.)

namespace fs = std::filesystem;

int Write(const std::string& path, const std::string& text) {
    const Zumeld::ByteRun run{text.data(), text.size()};
    return Zumeld::WriteFileReplacing(path.c_str(), {&run, 1}, {});
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

TEST(ReplaceFile, FifoIsWrittenStraightThrough) {
    TempDir dir;
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Write(fifo, "through"), 0);
    char got[16] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 7);
    EXPECT_STREQ(got, "through");
    EXPECT_TRUE(fs::is_fifo(fifo));
    ::close(reader);
}

}  // namespace
