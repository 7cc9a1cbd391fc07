// The global and local memory handle table: sizes, zero fill, reallocation, lock counts,
// refusal of bad handles and sizes, and the failure hook.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

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

// Two maps on two threads make and free blocks and pictures at once: every block is whole
// and zeroed (page-sized ones too), and nothing leaks.
TEST_F(PlatformMemory, HandleTablesServeThreadsAtOnce) {
    auto work = [](std::size_t bytes, int* bad) {
        for (int i = 0; i < 40; ++i) {
            HGLOBAL h = GlobalAlloc(GHND, bytes);
            auto* p = static_cast<BYTE*>(GlobalLock(h));
            *bad += p == nullptr || !AllZero(p, bytes) || GlobalSize(h) != bytes;
            if (p != nullptr) p[bytes - 1] = 1;
            GlobalUnlock(h);
            *bad += GlobalFree(h) != nullptr;
            HBITMAP bmp = CreateBitmap(700, 1000, 1, 32, nullptr);
            *bad += bmp == nullptr || DeleteObject(bmp) != TRUE;
        }
    };
    int bad[2] = {0, 0};
    std::thread other(work, std::size_t{3} << 20, &bad[0]);
    work(1000, &bad[1]);
    other.join();
    EXPECT_EQ(bad[0] + bad[1], 0);
}

TEST_F(PlatformMemory, AllocReportsTheSizeAskedForAndZeroes) {
    const struct {
        bool local;
        UINT flags;
        std::size_t bytes;
    } cases[] = {{false, GHND, 100}, {false, GHND, 0}, {true, LPTR, 1032}, {true, LPTR, 70000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "flags " << c.flags << " bytes " << c.bytes);
        HGLOBAL h = c.local ? LocalAlloc(c.flags, c.bytes) : GlobalAlloc(c.flags, c.bytes);
        EXPECT_EQ(GlobalSize(h), c.bytes);
        auto* p = static_cast<BYTE*>(GlobalLock(h));
        ASSERT_NE(p, nullptr) << "even an empty block locks";
        EXPECT_NE(static_cast<void*>(p), h) << "a handle is not the block's address";
        EXPECT_TRUE(AllZero(p, c.bytes));
        GlobalUnlock(h);
        EXPECT_EQ(c.local ? LocalFree(h) : GlobalFree(h), nullptr);
    }
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
        SCOPED_TRACE(s.bytes);
        ASSERT_EQ(GlobalReAlloc(h, s.bytes, GMEM_MOVEABLE | GMEM_ZEROINIT), h);
        EXPECT_EQ(GlobalSize(h), s.bytes);
        p = static_cast<BYTE*>(GlobalLock(h));
        for (std::size_t i = 0; i < s.kept; ++i) ASSERT_EQ(p[i], 0xA0 + i) << i;
        EXPECT_TRUE(AllZero(p + s.kept, s.bytes - s.kept));
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

TEST_F(PlatformMemory, BadHandlesGiveNullOrFailureAndLeaveOtherBlocksAlone) {
    HGLOBAL freed = GlobalAlloc(GHND, 8);
    ASSERT_EQ(GlobalFree(freed), nullptr);
    HGLOBAL reused = GlobalAlloc(GHND, 12);  // may take the freed handle's slot
    ASSERT_NE(reused, freed);
    int local = 0;
    HGLOBAL live = GlobalAlloc(GHND, 8);
    // Null, freed, made up, a stack address, a block's address, the largest address.
    auto at = [](std::uintptr_t v) { return reinterpret_cast<HGLOBAL>(v); };
    const HGLOBAL bad[] = {nullptr,          freed,          at(0x12345678), &local,
                           GlobalLock(live), at(UINTPTR_MAX)};
    GlobalUnlock(live);
    for (HGLOBAL h : bad) {
        SCOPED_TRACE(h);
        EXPECT_EQ(GlobalLock(h), nullptr);
        EXPECT_FALSE(GlobalUnlock(h));
        EXPECT_EQ(GlobalSize(h), 0u);
        EXPECT_EQ(GlobalReAlloc(h, 16, GHND), nullptr);
        EXPECT_EQ(GlobalFree(h), h) << "freeing a bad handle fails (null: nothing to free)";
        EXPECT_EQ(LocalFree(h), h);
    }
    EXPECT_TRUE(GlobalSize(live) == 8 && GlobalSize(reused) == 12);
    EXPECT_EQ(GlobalFree(live), nullptr);
    EXPECT_EQ(GlobalFree(reused), nullptr);
}

TEST_F(PlatformMemory, FailedAllocationsLeaveTheBlockIntact) {
    HGLOBAL h = GlobalAlloc(GHND, 4);
    static_cast<BYTE*>(GlobalLock(h))[3] = 9;
    GlobalUnlock(h);
    auto expectIntact = [h] {
        EXPECT_EQ(GlobalSize(h), 4u);
        EXPECT_EQ(static_cast<BYTE*>(GlobalLock(h))[3], 9);
        GlobalUnlock(h);
    };
    // Too big: a negative int converted, a 4 GiB int product, one past the limit.
    for (std::size_t bytes : {static_cast<std::size_t>(-1), std::size_t{0x10000} * 0x10000,
                              Zumeld::Platform::kMaxBlockBytes + 1}) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(GlobalAlloc(GHND, bytes), nullptr);
        EXPECT_EQ(LocalAlloc(LPTR, bytes), nullptr);
        EXPECT_EQ(GlobalReAlloc(h, bytes, GHND), nullptr);
        expectIntact();
    }
    // The failure hook fails exactly the chosen allocation: here the third.
    SetAllocationFailureCountdown(2);
    HGLOBAL a = GlobalAlloc(GHND, 8), b = LocalAlloc(LPTR, 8);
    EXPECT_TRUE(a && b);
    EXPECT_EQ(GlobalReAlloc(h, 64, GHND), nullptr);
    expectIntact();
    EXPECT_EQ(GlobalReAlloc(h, 64, GHND), h);
    GlobalFree(a);
    LocalFree(b);
    GlobalFree(h);
}

}  // namespace
