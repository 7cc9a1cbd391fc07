// The global and local memory handle table: sizes, zero fill, reallocation, lock counts,
// refusal of bad handles and sizes, the failure hook, and threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>

#include "zumeld/platform/memory_p.h"
#include "zumeld/platform/win32.h"

namespace {

using Zumeld::Platform::LiveBlockCount;
using Zumeld::Platform::SetAllocationFailureCountdown;

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

}  // namespace
