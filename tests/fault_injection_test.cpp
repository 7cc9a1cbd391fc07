// Fault injection: the n-th allocation (C++ new and the global-memory table) or the n-th file
// read or write fails, for every n a scenario reaches. After each failure the map is as it
// was, or without a grid where a load was cut short; the files the scenario writes are whole
// or untouched; nothing leaks (the global-memory table's count here, every block under ASan).
// Scenarios: load (three encodings), store, Save3djFile, OpenDIB, WriteDIB, every transform.

#include <execinfo.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/platform/files_p.h"
#include "zumeld/platform/memory_p.h"

// ---- C++ allocation hook: while armed, the n-th operator new (scalar or array) throws ----------
namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_newCalls{0};
std::atomic<long> g_newFailAt{-1};  // the call index (counted from 0 while counting) that fails

void* CountedAllocate(std::size_t n) {
    if (g_counting.load(std::memory_order_relaxed)) {
        const long index = g_newCalls.fetch_add(1);
        if (index == g_newFailAt.load()) {
            // ZUMELD_FAULT_TRACE=1 prints where each injected failure strikes.
            static const bool trace = std::getenv("ZUMELD_FAULT_TRACE") != nullptr;
            if (trace) {
                void* frames[48];
                backtrace_symbols_fd(frames, backtrace(frames, 48), 2);
            }
            throw std::bad_alloc();
        }
    }
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) {
    return CountedAllocate(n);
}
void* operator new[](std::size_t n) {
    return CountedAllocate(n);
}
// The nothrow forms must come from the same allocator as the forms above, or a block from
// one would be released by the other.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return CountedAllocate(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept {
    return operator new(n, tag);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace Zumeld;
using Zumeld::Platform::LiveBlockCount;
using Zumeld::Platform::SetAllocationFailureCountdown;
using Zumeld::Platform::SetFileFailureCountdown;

// Which fault a sweep injects.
enum class Fault { CppNew, GlobalMemory, FileTransfer };

// The largest n swept for the faults whose hooks do not count calls: far above the global
// allocations and the buffered file transfers any scenario here makes (checked: the last
// run must then succeed).
constexpr long kUncountedSweep = 48;

// Arms the fault for failure index n (the n-th call fails), runs body, disarms.
// Returns true when body finished without an exception.
bool RunWithFault(Fault fault, long n, const std::function<void()>& body) {
    switch (fault) {
        case Fault::CppNew:
            g_newCalls = 0;
            g_newFailAt = n;
            g_counting = true;
            break;
        case Fault::GlobalMemory:
            SetAllocationFailureCountdown(n);
            break;
        case Fault::FileTransfer:
            SetFileFailureCountdown(n);
            break;
    }
    bool finished = true;
    try {
        body();
    } catch (const std::bad_alloc&) {
        finished = false;
    } catch (const CFileException&) {
        finished = false;
    } catch (const CArchiveException&) {
        finished = false;
    }
    g_counting = false;
    g_newFailAt = -1;
    SetAllocationFailureCountdown(-1);
    SetFileFailureCountdown(-1);
    return finished;
}

// For n = 0 .. the last index the scenario reaches, then once more past it (which must
// finish): runs setup unarmed, body with the n-th call failing, and check(n, finished).
// For C++ new the calls are counted in a clean run first.
void Sweep(Fault fault, const std::function<void()>& setup, const std::function<void()>& body,
           const std::function<void(long, bool)>& check) {
    long last = kUncountedSweep;
    if (fault == Fault::CppNew) {
        setup();
        ASSERT_TRUE(RunWithFault(fault, -1, body));
        last = g_newCalls.load();
        check(-1, true);  // the clean run gives the full result (and releases it)
        if (last == 0) return;  // nothing to inject
    }
    for (long n = 0; n <= last; ++n) {
        setup();
        const bool finished = RunWithFault(fault, n, body);
        check(n, finished);
        if (n == last) {
            EXPECT_TRUE(finished) << "past the last call the scenario must finish";
        }
    }
}

// ---- Map state ------------------------------------------------------------------------------

struct Snapshot {
    bool hasGrid = false;
    int width = 0, height = 0, bufferWidth = 0, bufferHeight = 0;
    std::vector<short> cells;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const CCtrlElvMap& m) {
    Snapshot s;
    s.hasGrid = static_cast<bool>(m.m_pElevation);
    s.width = m.m_nWidth;
    s.height = m.m_nHeight;
    s.bufferWidth = m.m_nBufferWidth;
    s.bufferHeight = m.m_nBufferHeight;
    if (s.hasGrid)
        s.cells.assign(
            m.m_pElevation.get(),
            m.m_pElevation.get() + static_cast<std::ptrdiff_t>(s.bufferWidth) * s.bufferHeight);
    return s;
}

// A 23 x 17 island with sea around it and a few cells below sea level.
std::vector<short> IslandCells(int w, int h) {
    std::vector<short> cells(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int dx = 2 * x - w, dy = 2 * y - h;
            const int v = 150 - (dx * dx + dy * dy) / 2;
            cells[static_cast<std::size_t>(y) * w + x] =
                static_cast<short>(v > 0                   ? v * 9
                                   : (x * 7 + y) % 11 == 0 ? -4
                                                           : 0);
        }
    return cells;
}

constexpr int kW = 23, kH = 17;

const CCtrlElvMap& Prototype() {
    static const CCtrlElvMap* proto = [] {
        auto* m = new CCtrlElvMap();
        const std::vector<short> cells = IslandCells(kW, kH);
        m->SetElevationData(kW, kH, cells.data());
        return m;
    }();
    return *proto;
}

std::vector<char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Writes the map through the archive's store side: Serialize, or Save3djFile when jpeg.
void StoreToFile(const CCtrlElvMap& map, const std::string& path, bool jpeg) {
    CFile file;
    if (!file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite))
        throw CFileException(CFileException::accessDenied);
    CArchive ar(&file, CArchive::store);
    try {
        CCtrlElvMap& m = const_cast<CCtrlElvMap&>(map);
        if (jpeg) {
            if (!m.Save3djFile(ar, 75))
                throw CArchiveException(CArchiveException::genericException);
        } else {
            m.Serialize(ar);
        }
        ar.Close();
    } catch (...) {
        ar.Abort();
        throw;
    }
}

void LoadFromFile(CCtrlElvMap& map, const std::string& path) {
    CString name(path.c_str());
    if (!map.LoadElevationFile(name)) throw CFileException(CFileException::fileNotFound);
}

constexpr Fault kAllFaults[] = {Fault::CppNew, Fault::GlobalMemory, Fault::FileTransfer};
const char* Name(Fault f) {
    return f == Fault::CppNew         ? "new"
           : f == Fault::GlobalMemory ? "global memory"
                                      : "file transfer";
}

class FaultInjection : public ::testing::Test {
  protected:
    void SetUp() override {
        Prototype();
        m_liveAtStart = LiveBlockCount();
    }
    void TearDown() override {
        EXPECT_EQ(LiveBlockCount(), m_liveAtStart) << "global blocks leaked";
    }
    std::size_t m_liveAtStart = 0;
    TempDir m_dir;
};

// ---- Load -------------------------------------------------------------------------------------

TEST_F(FaultInjection, FailedLoadLeavesTheMapWithoutAGridOrLoadedWhole) {
    const Snapshot source = Take(Prototype());
    // Raw rows, built by hand; the delta-run stream and the compressed record, by the map.
    const std::string raw = m_dir.File("raw.elv"), delta = m_dir.File("delta.elv"),
                      jpeg = m_dir.File("jpeg.elv");
    {
        std::vector<char> b;
        auto put16 = [&b](int v) {
            b.push_back(static_cast<char>(v & 0xFF));
            b.push_back(static_cast<char>(v >> 8 & 0xFF));
        };
        put16(0), put16(kW), put16(kH);
        for (short c : IslandCells(kW, kH)) put16(c);
        WriteAll(raw, b);
    }
    StoreToFile(Prototype(), delta, false);
    StoreToFile(Prototype(), jpeg, true);

    for (const std::string& path : {raw, delta, jpeg}) {
        CCtrlElvMap reference(Prototype());
        LoadFromFile(reference, path);
        const Snapshot loaded = Take(reference);
        if (path != jpeg) {
            EXPECT_EQ(loaded, source) << path;  // the exact encodings give the cells back
        }
        for (Fault fault : kAllFaults) {
            std::unique_ptr<CCtrlElvMap> map;
            Sweep(
                fault, [&] { map = std::make_unique<CCtrlElvMap>(Prototype()); },
                [&] { LoadFromFile(*map, path); },
                [&](long n, bool finished) {
                    const Snapshot after = Take(*map);
                    if (finished)
                        EXPECT_EQ(after, loaded) << path << " " << Name(fault) << " n=" << n;
                    else
                        EXPECT_TRUE(!after.hasGrid || after == source)
                            << "a failed load must leave the map as it was or without a grid, "
                            << path << " " << Name(fault) << " n=" << n;
                });
        }
    }
}

// ---- Store and Save3djFile -------------------------------------------------------------------

TEST_F(FaultInjection, FailedStoreLeavesTheMapUnchangedAndAFinishedFileLoadsBack) {
    const Snapshot before = Take(Prototype());
    for (bool jpeg : {false, true}) {
        const std::string path = m_dir.File(jpeg ? "out3dj.elv" : "out.elv");
        StoreToFile(Prototype(), path, jpeg);
        const std::vector<char> expected = ReadAll(path);
        for (Fault fault : kAllFaults) {
            CCtrlElvMap map(Prototype());
            Sweep(
                fault, [] {}, [&] { StoreToFile(map, path, jpeg); },
                [&](long n, bool finished) {
                    EXPECT_EQ(Take(map), before) << Name(fault) << " n=" << n;
                    if (finished) {
                        EXPECT_EQ(ReadAll(path), expected) << Name(fault) << " n=" << n;
                    }
                });
        }
    }
}

// ---- DIB files --------------------------------------------------------------------------------

// A 24-bit 13 x 7 DIB with varied pixels.
void* SampleDib(CCtrlDib& dib) {
    CControlBmp picture;
    if (!picture.CreateBitmap(13, 7, 24, 0, nullptr)) return nullptr;
    BYTE* p = picture.GetBufferPtr();
    for (int i = 0; i < picture.GetWidthBytes() * 7; ++i) p[i] = static_cast<BYTE>(i * 29 + 3);
    return dib.DibFromBitmap(picture.GetHbmp(), BI_RGB, 24, nullptr);
}

std::vector<BYTE> DibBytes(void* h) {
    const auto* p = static_cast<const BYTE*>(GlobalLock(h));
    std::vector<BYTE> bytes(p, p + GlobalSize(h));
    GlobalUnlock(h);
    return bytes;
}

TEST_F(FaultInjection, FailedOpenDibGivesNullOrTheWholePicture) {
    CCtrlDib dib;
    void* source = SampleDib(dib);
    ASSERT_NE(source, nullptr);
    std::string path = m_dir.File("in.bmp");
    ASSERT_EQ(dib.WriteDIB(path.data(), source), 1);
    const std::vector<BYTE> expected = DibBytes(source);
    GlobalFree(source);

    const std::size_t live = LiveBlockCount();
    for (Fault fault : kAllFaults) {
        void* opened = nullptr;
        Sweep(
            fault, [] {}, [&] { opened = dib.OpenDIB(path.data()); },
            [&](long n, bool finished) {
                EXPECT_TRUE(finished)
                    << "OpenDIB reports failures as null, " << Name(fault) << " n=" << n;
                if (opened) {
                    EXPECT_EQ(DibBytes(opened), expected) << Name(fault) << " n=" << n;
                    GlobalFree(opened);
                }
                opened = nullptr;
                EXPECT_EQ(LiveBlockCount(), live) << "blocks leaked, " << Name(fault) << " n=" << n;
            });
    }
}

TEST_F(FaultInjection, FailedWriteDibLeavesTheExistingFileAndNoTemporary) {
    CCtrlDib dib;
    void* source = SampleDib(dib);
    ASSERT_NE(source, nullptr);
    std::string fresh = m_dir.File("fresh.bmp");
    ASSERT_EQ(dib.WriteDIB(fresh.data(), source), 1);
    const std::vector<char> expected = ReadAll(fresh);

    std::string path = m_dir.File("out.bmp");
    const std::vector<char> old{'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
    for (Fault fault : kAllFaults) {
        int result = 0;
        Sweep(
            fault,
            [&] {
                WriteAll(path, old);
                result = 0;
            },
            [&] { result = dib.WriteDIB(path.data(), source); },
            [&](long n, bool finished) {
                // Running out of C++ memory throws std::bad_alloc, as everywhere in the library;
                // the other faults give 0.
                if (fault != Fault::CppNew) {
                    EXPECT_TRUE(finished) << Name(fault) << " n=" << n;
                }
                EXPECT_EQ(ReadAll(path), result ? expected : old) << Name(fault) << " n=" << n;
                EXPECT_FALSE(std::filesystem::exists(path + ".tmp")) << Name(fault) << " n=" << n;
            });
    }
    GlobalFree(source);
}

// ---- Transforms -------------------------------------------------------------------------------

TEST_F(FaultInjection, FailedTransformLeavesTheMapUnchanged) {
    struct Case {
        const char* name;
        std::function<void(CCtrlElvMap&)> call;
    };
    const Case cases[] = {
        {"sink", [](CCtrlElvMap& m) { m.TransSink(200, 3, 2, 10, 8, true, true); }},
        {"size up", [](CCtrlElvMap& m) { m.TransSize(31, 22, true); }},
        {"size down", [](CCtrlElvMap& m) { m.TransSize(9, 6, false); }},
        {"rotate 90", [](CCtrlElvMap& m) { m.TransRotate(90, true); }},
        {"rotate 33", [](CCtrlElvMap& m) { m.TransRotate(33, true); }},
        {"sector", [](CCtrlElvMap& m) { m.TransSector(120.0, 25.0, true); }},
        {"barrel", [](CCtrlElvMap& m) { m.TransBarrel(0.01, 0.0, -9.0, true); }},
        {"clip", [](CCtrlElvMap& m) { m.ClipArea(2, 3, 15, 9); }},
        {"canvas", [](CCtrlElvMap& m) { m.ChangeCanvasSize(30, 20); }},
        {"stretch", [](CCtrlElvMap& m) { m.StretchElevationData(0, 0, kW, kH, 46, 34); }},
    };
    const Snapshot before = Take(Prototype());
    for (const Case& c : cases) {
        CCtrlElvMap reference(Prototype());
        c.call(reference);
        const Snapshot done = Take(reference);
        std::unique_ptr<CCtrlElvMap> map;
        Sweep(
            Fault::CppNew, [&] { map = std::make_unique<CCtrlElvMap>(Prototype()); },
            [&] { c.call(*map); },
            [&](long n, bool finished) {
                const Snapshot after = Take(*map);
                if (finished)
                    EXPECT_EQ(after, done) << c.name << " n=" << n;
                else
                    EXPECT_TRUE(after == before)
                        << c.name << " changed the map and failed, n=" << n;
            });
    }
}

}  // namespace
