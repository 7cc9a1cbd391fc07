// Faults: the n-th allocation (C++ new or the global-memory table) or the n-th file read or
// write fails, for every n a scenario reaches; the tool run with a file-size limit, as on a full
// disk. (Every prefix of the loaders' seed files is left to the fuzzers, which start from them.)
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "dib_test_support.h"
#include "elv_test_support.h"
#include "error.h"
#include "geotiff.h"
#include "heightmap.h"
#include "picture.h"
#include "temp_dir.h"
#include "zumeld/platform/files_p.h"
#include "zumeld/platform/memory_p.h"

// ---- C++ allocation hook: while armed, the n-th operator new (scalar or array) throws ----------
namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_newCalls{0};
std::atomic<long> g_newFailAt{-1};  // the call index (counted from 0 while counting) that fails

void* CountedAllocate(std::size_t n) {
    if (g_counting.load(std::memory_order_relaxed) && g_newCalls.fetch_add(1) == g_newFailAt)
        throw std::bad_alloc();
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}

}  // namespace

// Every form comes from the same allocator, or a block from one would be released by another.
// clang-format off
void* operator new(std::size_t n) { return CountedAllocate(n); }
void* operator new[](std::size_t n) { return CountedAllocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try { return CountedAllocate(n); } catch (const std::bad_alloc&) { return nullptr; }
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
// clang-format on

namespace {

using namespace Zumeld;
using elv_test::Bytes;
using elv_test::ReadBytes;
using elv_test::WriteBytes;

enum class Fault { CppNew, GlobalMemory, FileTransfer };
const std::vector<Fault> kAllFaults = {Fault::CppNew, Fault::GlobalMemory, Fault::FileTransfer};
const char* const kFaultNames[] = {"new", "global memory", "file transfer"};

// Arms the fault so that call n fails (-1: none), runs body, disarms. True when body finished.
bool RunWithFault(Fault fault, long n, const std::function<void()>& body) {
    g_newCalls = 0;
    g_newFailAt = fault == Fault::CppNew ? n : -1;
    g_counting = fault == Fault::CppNew;
    Platform::SetAllocationFailureCountdown(fault == Fault::GlobalMemory ? n : -1);
    Platform::SetFileFailureCountdown(fault == Fault::FileTransfer ? n : -1);
    bool finished = false;
    try {
        body();
        finished = true;
    } catch (const std::bad_alloc&) {
    } catch (const CFileException&) {
    } catch (const CArchiveException&) {
    }
    g_counting = false;
    Platform::SetAllocationFailureCountdown(-1);
    Platform::SetFileFailureCountdown(-1);
    return finished;
}

// For each fault, n = 0 .. the last call the scenario reaches and once past it (where the
// scenario must finish): setup unarmed, body with call n failing, then check. C++ allocations
// are counted in a clean run first; the other hooks do not count, so they are swept to 48, far
// past the global allocations and buffered transfers any scenario here makes.
void Sweep(const std::vector<Fault>& faults, const std::function<void()>& setup,
           const std::function<void()>& body, const std::function<void(Fault, bool)>& check) {
    for (Fault fault : faults) {
        long last = 48;
        if (fault == Fault::CppNew) {
            setup();
            ASSERT_TRUE(RunWithFault(fault, -1, body));
            last = g_newCalls.load();
            check(fault, true);
        }
        for (long n = 0; n <= last; ++n) {
            SCOPED_TRACE(testing::Message() << kFaultNames[static_cast<int>(fault)] << " n=" << n);
            setup();
            const bool finished = RunWithFault(fault, n, body);
            check(fault, finished);
            if (n == last) {
                EXPECT_TRUE(finished) << "past the last call the scenario must finish";
            }
        }
    }
}

// The sizes, whether there is a grid, the display blocks and their key, and the whole grid.
std::vector<int> State(const CCtrlElvMap& m) {
    std::vector<int> s = {m.m_nWidth,
                          m.m_nHeight,
                          m.m_nBufferWidth,
                          m.m_nBufferHeight,
                          m.m_pElevation != nullptr,
                          m.m_pDisplayElevation != nullptr,
                          m.m_pDisplayOverlap != nullptr,
                          m.m_nStretchWidth,
                          m.m_nDisplayWidth};
    for (short v : elv_test::WholeGrid(m)) s.push_back(v);
    return s;
}

// Random terrain of 23 x 17 cells: sea, land, runs and the 16-bit extremes.
constexpr int kW = 23, kH = 17;
std::vector<short> MapCells() {
    zumeld_test::TestRandom rng(0xFA017);
    return elv_test::RandomTerrain(rng, kW, kH);
}

const CCtrlElvMap& Prototype() {
    static const CCtrlElvMap* proto = [] {
        auto* m = new CCtrlElvMap();
        m->SetElevationData(kW, kH, MapCells().data());
        HBITMAP overlay = CreateBitmap(kW, kH, 1, 32, nullptr);  // stretching resamples it too
        m->SetOverlapBitmap(overlay, 0, 0);
        DeleteObject(overlay);
        return m;
    }();
    return *proto;
}

// Writes the map through the archive's store side: Serialize, or Save3djFile when jpeg.
void StoreToFile(const CCtrlElvMap& map, const std::string& path, bool jpeg) {
    CFile file;
    if (!file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite))
        throw CFileException(CFileException::accessDenied);
    CArchive ar(&file, CArchive::store);
    try {
        CCtrlElvMap& m = const_cast<CCtrlElvMap&>(map);
        if (!jpeg)
            m.Serialize(ar);
        else if (!m.Save3djFile(ar, 75))
            throw CArchiveException(CArchiveException::genericException);
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

// A 24-bit 13 x 7 DIB with varied pixels (a global block), written to path as well.
HGLOBAL SampleDib(CCtrlDib& dib, std::string path) {
    using namespace dib_test;
    HGLOBAL h = ToBlock(
        Cat(InfoHeader({.width = 13, .height = 7, .bits = 24}), PixelBytes(RowBytes(13, 24) * 7)));
    EXPECT_EQ(dib.WriteDIB(path.data(), h), 1);
    return h;
}

class FaultInjection : public ::testing::Test {
  protected:
    void SetUp() override {
        Prototype();
        m_liveAtStart = Platform::LiveBlockCount();
    }
    void TearDown() override {
        EXPECT_EQ(Platform::LiveBlockCount(), m_liveAtStart) << "global blocks leaked";
    }
    std::size_t m_liveAtStart = 0;
    TempDir m_dir;
};

TEST_F(FaultInjection, FailedLoadLeavesTheMapWithoutAGridOrLoadedWhole) {
    const std::vector<int> source = State(Prototype());
    const std::string raw = m_dir.File("raw.elv"), jpeg = m_dir.File("jpeg.elv");
    Bytes rows = elv_test::Header(0, kW, kH);  // raw rows built by hand, the others by the map
    for (short c : MapCells())
        rows.insert(rows.end(), {Bytes::value_type(c), Bytes::value_type(c >> 8)});
    WriteBytes(raw, rows);
    StoreToFile(Prototype(), m_dir.File("delta.elv"), false);
    StoreToFile(Prototype(), jpeg, true);

    for (const std::string& path : {raw, m_dir.File("delta.elv"), jpeg}) {
        SCOPED_TRACE(path);
        CCtrlElvMap reference(Prototype());
        LoadFromFile(reference, path);
        const std::vector<int> loaded = State(reference);
        if (path != jpeg) {
            EXPECT_EQ(loaded, source);  // the exact encodings give the cells back
        }
        std::unique_ptr<CCtrlElvMap> map;
        Sweep(
            kAllFaults, [&] { map = std::make_unique<CCtrlElvMap>(Prototype()); },
            [&] { LoadFromFile(*map, path); },
            [&](Fault, bool finished) {
                const std::vector<int> after = State(*map);
                // Unfinished: no grid (State's fifth entry) or the map as it was.
                EXPECT_TRUE(finished ? after == loaded : after[4] == 0 || after == source);
            });
    }
}

TEST_F(FaultInjection, FailedStoreLeavesTheMapUnchangedAndAFinishedFileLoadsBack) {
    const std::vector<int> before = State(Prototype());
    const std::string path = m_dir.File("out.elv");
    for (bool jpeg : {false, true}) {
        StoreToFile(Prototype(), path, jpeg);
        const Bytes expected = ReadBytes(path);
        CCtrlElvMap map(Prototype());
        Sweep(
            kAllFaults, [] {}, [&] { StoreToFile(map, path, jpeg); },
            [&](Fault, bool finished) {
                EXPECT_EQ(State(map), before);
                if (finished) {
                    EXPECT_EQ(ReadBytes(path), expected);
                }
            });
    }
}

TEST_F(FaultInjection, FailedSave3djFileLeavesTheArchiveEmpty) {
    CCtrlElvMap map(Prototype());
    std::unique_ptr<CMemFile> file;
    bool saved = false;
    const auto save = [&] {
        CArchive ar(file.get(), CArchive::store);  // flushes what it holds also on a throw
        saved = map.Save3djFile(ar, 75);
        ar.Close();
    };
    file = std::make_unique<CMemFile>();
    save();
    const Bytes expected = file->Data();
    Sweep(
        {Fault::CppNew},
        [&] {
            file = std::make_unique<CMemFile>();
            saved = false;
        },
        save, [&](Fault, bool) { EXPECT_EQ(file->Data(), saved ? expected : Bytes{}); });
}

// Running out of memory inside libpng's or libtiff's write callback is reported through the
// library's error path (under the sanitizers a leak shows an exception that skipped libpng).
TEST_F(FaultInjection, FailedPictureEncodingThrowsNothingThroughLibpngOrLibtiff) {
    CControlBmp picture;
    ASSERT_TRUE(picture.CreateBitmap(300, 200, 24, 0, nullptr));
    for (int i = 0; i < picture.GetWidthBytes() * 200; ++i)
        picture.GetBufferPtr()[i] = static_cast<BYTE>(i * 7 ^ i >> 5);
    std::vector<std::int32_t> samples(300 * 200);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int>(i * 7 % 65536);
    Sweep(
        {Fault::CppNew}, [] {},
        [&] {
            try {
                zumeld_formats::EncodePng(picture);
                zumeld_formats::WritePngGrey("grey", samples, 300, 200, 16);
                zumeld_formats::EncodeGeoTiffPicture("tiff", picture, nullptr);
            } catch (const zumeld_formats::Error&) {
            }
        },
        [](Fault, bool) {});
}

TEST_F(FaultInjection, FailedOpenDibGivesNullOrTheWholePicture) {
    CCtrlDib dib;
    std::string path = m_dir.File("in.bmp");
    GlobalFree(SampleDib(dib, path));
    const Bytes expected = dib_test::Dib(dib.OpenDIB(path.data())).bytes();
    const std::size_t live = Platform::LiveBlockCount();
    void* opened = nullptr;
    Sweep(
        kAllFaults, [] {}, [&] { opened = dib.OpenDIB(path.data()); },
        [&](Fault, bool finished) {
            EXPECT_TRUE(finished) << "OpenDIB reports failures as null";
            if (opened) {
                EXPECT_EQ(dib_test::Dib(opened).bytes(), expected);
            }
            opened = nullptr;
            EXPECT_EQ(Platform::LiveBlockCount(), live) << "blocks leaked";
        });
}

TEST_F(FaultInjection, FailedDibConversionGivesNullAndReleasesEverything) {
    CCtrlDib dib;
    HBITMAP bmp = CreateBitmap(8, 8, 1, 32, nullptr);
    const std::size_t live = Platform::LiveBlockCount();
    for (long successes : {0L, 1L}) {  // the first allocation fails, then the resize
        Platform::SetAllocationFailureCountdown(successes);
        EXPECT_EQ(dib.DibFromBitmap(bmp, BI_RGB, 24, nullptr), nullptr) << successes;
        Platform::SetAllocationFailureCountdown(-1);
    }
    EXPECT_EQ(Platform::LiveBlockCount(), live);
    DeleteObject(bmp);
}

TEST_F(FaultInjection, FailedWriteDibLeavesTheExistingFileAndNoTemporary) {
    CCtrlDib dib;
    std::string path = m_dir.File("out.bmp");
    const dib_test::Dib source(SampleDib(dib, path));
    const Bytes expected = ReadBytes(path), old = {'o', 'l', 'd'};
    int result = 0;
    Sweep(
        kAllFaults,
        [&] {
            WriteBytes(path, old);
            result = 0;
        },
        [&] { result = dib.WriteDIB(path.data(), source.h); },
        [&](Fault fault, bool finished) {
            // Running out of C++ memory throws std::bad_alloc; the other faults give 0.
            EXPECT_TRUE(finished || fault == Fault::CppNew);
            EXPECT_EQ(ReadBytes(path), result ? expected : old);
            EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
        });
}

TEST_F(FaultInjection, FailedTransformLeavesTheMapUnchanged) {
    struct Case {
        const char* name;
        void (*call)(CCtrlElvMap&);
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
    const std::vector<int> before = State(Prototype());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CCtrlElvMap reference(Prototype());
        c.call(reference);
        const std::vector<int> done = State(reference);
        std::unique_ptr<CCtrlElvMap> map;
        Sweep(
            {Fault::CppNew}, [&] { map = std::make_unique<CCtrlElvMap>(Prototype()); },
            [&] { c.call(*map); },
            [&](Fault, bool finished) { EXPECT_EQ(State(*map), finished ? done : before); });
    }
}

// ---- The command-line tool when its output cannot be written: run with a file-size limit (as on
// a full disk, every write past the limit fails with EFBIG), each writing command exits
// non-zero and leaves the existing output file exactly as it was, with nothing else behind.

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
        EXPECT_EQ(zumeld_test::ReadText(output), existing) << output;
        EXPECT_EQ(dir.Entries(), 2) << output << ": a temporary left";
        std::filesystem::remove(output);
    }
}

}  // namespace
