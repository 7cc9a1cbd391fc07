// The elevation file through Serialize and LoadElevationFile: stored bytes of worked
// examples, loading of every encoding, the message for bad headers, the state after a load
// and after a file cut short, the round trip of random maps, and the tool commands over them.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <fstream>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "elv_test_support.h"
#include "test_random.h"
#include "zumeld/zumeld.h"

using namespace Zumeld;
using namespace elv_test;

namespace {

const char kBadFileText[] = "標高データファイル(.elv)の内容が異常です";

// The margin column repeats each row's last cell; the margin row repeats the last row.
void ExpectMarginRule(const CCtrlElvMap& map, const std::string& what) {
    const int bw = map.m_nBufferWidth, w = map.m_nWidth, h = map.m_nHeight;
    for (int r = 0; r < h; ++r)
        EXPECT_EQ(map.m_pElevation[r * bw + w], map.m_pElevation[r * bw + w - 1])
            << what << ": margin of row " << r;
    for (int c = 0; c <= w; ++c)
        EXPECT_EQ(map.m_pElevation[h * bw + c], map.m_pElevation[(h - 1) * bw + c])
            << what << ": margin row, column " << c;
}

void SetMap(CCtrlElvMap& map, int width, int height, const std::vector<short>& cells) {
    map.SetElevationData(width, height, cells.data());
}

Bytes Header(int encoding, int width, int height) {
    auto w16 = [](int v) {
        return std::vector<std::uint8_t>{std::uint8_t(v), std::uint8_t(v >> 8)};
    };
    Bytes b = w16(encoding);
    for (int v : {width, height}) {
        Bytes f = w16(v);
        b.insert(b.end(), f.begin(), f.end());
    }
    return b;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Makes the display cache look built, so a test can see a load drop it.
void FakeDisplayCache(CCtrlElvMap& map) {
    map.m_pDisplayElevation = SharedBlock<short>::AllocateZeroed(4);
    map.m_nStretchLeft = map.m_nStretchTop = 3;
    map.m_nStretchWidth = map.m_nStretchHeight = 5;
    map.m_nDisplayWidth = map.m_nDisplayHeight = 7;
}

void ExpectDisplayCacheReset(const CCtrlElvMap& map, const std::string& what) {
    EXPECT_FALSE(map.m_pDisplayElevation) << what;
    for (int v : {map.m_nStretchLeft, map.m_nStretchTop, map.m_nStretchWidth, map.m_nStretchHeight,
                  map.m_nDisplayWidth, map.m_nDisplayHeight})
        EXPECT_EQ(v, 0) << what;
}

void ExpectNoGrid(const CCtrlElvMap& map, const std::string& what) {
    EXPECT_FALSE(map.m_pElevation) << what;
    EXPECT_EQ(map.m_nWidth, 0) << what;
    EXPECT_EQ(map.m_nHeight, 0) << what;
}

// Records the messages shown while it lives.
class MessageRecorder {
  public:
    struct Shown {
        std::string text;
        UINT type, help;
    };
    MessageRecorder() {
        m_previous = AfxSetMessageBoxHandler([this](const char* text, UINT type, UINT help) {
            shown.push_back({text, type, help});
            return IDOK;
        });
    }
    ~MessageRecorder() { AfxSetMessageBoxHandler(m_previous); }
    std::vector<Shown> shown;

  private:
    AfxMessageBoxHandler m_previous;
};

}  // namespace

// ---- Encoding 2: storing --------------------------------------------------------------------

TEST(ElvFileStore, WorkedExamples) {
    struct Case {
        const char* name;
        int width, height;
        std::vector<short> cells;
        Bytes file;
    };
    const Case cases[] = {
        {"3 x 1 sea",
         3,
         1,
         {0, 0, 0},
         {0x02, 0x00, 0x03, 0x00, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {"run and absolute",
         6,
         1,
         {5, 5, 5, 5, 5, 300},
         {0x02, 0x00, 0x06, 0x00, 0x01, 0x00, 0x07, 0x00, 0x00, 0x00, 0x05, 0x81, 0x04, 0x00, 0x7F,
          0x2C, 0x01}},
        {"deltas",
         2,
         1,
         {10, 3},
         {0x02, 0x00, 0x02, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x0A, 0xF9}},
        {"run across rows",
         2,
         2,
         {7, 7, 7, 7},
         {0x02, 0x00, 0x02, 0x00, 0x02, 0x00, 0x04, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        CCtrlElvMap map;
        SetMap(map, c.width, c.height, c.cells);
        EXPECT_EQ(Store(map), c.file) << c.name;
        // Save type 1 without a cached record stores the same.
        map.SetSaveType(1);
        EXPECT_EQ(Store(map), c.file) << c.name << " (save type 1)";
    }
}

TEST(ElvFileStore, MapsWithoutCellsStoreOnlyTheHeader) {
    CCtrlElvMap fresh;
    EXPECT_EQ(Store(fresh), Header(2, 0, 0));
    CCtrlElvMap empty;
    empty.CreateNewMap(0, 0);
    EXPECT_EQ(Store(empty), Header(2, 0, 0));
    CCtrlElvMap column;
    column.CreateNewMap(0, 5);
    EXPECT_EQ(Store(column), Header(2, 0, 5));

    // And load back as a map without a grid.
    CCtrlElvMap back;
    SetMap(back, 2, 1, {1, 2});
    Load(back, Store(empty));
    ExpectNoGrid(back, "empty map");
}

TEST(ElvFileStore, MapsBeyond16BitSizesRaiseBeforeWritingAnything) {
    for (auto [w, h] : {std::pair{32768, 1}, std::pair{1, 32768}}) {
        CCtrlElvMap map;
        map.CreateNewMap(w, h);
        CMemFile file;
        {
            CArchive ar(&file, CArchive::store);
            EXPECT_THROW(map.Serialize(ar), CArchiveException) << w << "x" << h;
            ar.Close();
        }
        EXPECT_TRUE(file.Data().empty()) << w << "x" << h;
        EXPECT_EQ(map.m_nWidth, w);  // storing changes nothing
    }
    CCtrlElvMap largest;
    largest.CreateNewMap(32767, 1);
    Bytes file = Store(largest);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), Header(2, 32767, 1));
}

// ---- Loading, by encoding ---------------------------------------------------------------------

TEST(ElvFileLoad, EveryEncodingFillsCellsAndMargin) {
    struct Case {
        const char* name;
        Bytes file;
        int width, height;
        std::vector<short> cells;
    };
    const Case cases[] = {
        {"raw rows",
         Concat(Header(0, 2, 2), {0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0xFF, 0xFF}),
         2,
         2,
         {1, 2, 3, -1}},
        {"raw rows cut inside a cell",
         Concat(Header(0, 2, 2), {0x01, 0x00, 0x02}),
         2,
         2,
         {1, 0, 0, 0}},
        {"raw rows missing", Header(0, 3, 1), 3, 1, {0, 0, 0}},
        {"sea runs",
         Concat(Header(1, 4, 1), {0x05, 0x00, 0x00, 0x00, 0x81, 0x02, 0x00, 0x05, 0xFB}),
         4,
         1,
         {0, 0, 5, 1}},
        {"delta and run",
         Concat(Header(2, 3, 1), {0x04, 0x00, 0x00, 0x00, 0x09, 0x81, 0x02, 0x00}),
         3,
         1,
         {9, 9, 9}},
        {"stream shorter than its count",
         Concat(Header(2, 2, 2), {0xFF, 0x00, 0x00, 0x00, 0x09}),
         2,
         2,
         {9, 0, 0, 0}},
        {"stream describing fewer cells",
         Concat(Header(2, 3, 1), {0x01, 0x00, 0x00, 0x00, 0x09}),
         3,
         1,
         {9, 0, 0}},
        {"count far beyond the file",
         Concat(Header(2, 2, 1), {0xFF, 0xFF, 0xFF, 0xFF, 0x03, 0x01}),
         2,
         1,
         {3, 4}},
    };
    for (const Case& c : cases) {
        CCtrlElvMap map;
        map.CreateNewMap(c.width, c.height);
        for (int i = 0; i < map.m_nBufferWidth * map.m_nBufferHeight; ++i)
            map.m_pElevation[i] = 0x3333;
        FakeDisplayCache(map);
        Load(map, c.file);
        ASSERT_TRUE(map.m_pElevation) << c.name;
        EXPECT_EQ(map.m_nWidth, c.width) << c.name;
        EXPECT_EQ(map.m_nHeight, c.height) << c.name;
        EXPECT_EQ(map.m_nBufferWidth, c.width + 1) << c.name;
        EXPECT_EQ(map.m_nBufferHeight, c.height + 1) << c.name;
        EXPECT_EQ(map.m_nRowBytes, (c.width + 1) * 2) << c.name;
        EXPECT_EQ(Cells(map), c.cells) << c.name;
        ExpectMarginRule(map, c.name);
        ExpectDisplayCacheReset(map, c.name);
    }
}

TEST(ElvFileLoad, UnknownEncodingShowsTheMessageOnceAndGivesSea) {
    MessageRecorder messages;
    CCtrlElvMap map;
    FakeDisplayCache(map);
    Load(map, Concat(Header(4, 3, 2), {0x01, 0x02, 0x03}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, kBadFileText);
    EXPECT_EQ(messages.shown[0].type, MB_OK);
    EXPECT_EQ(messages.shown[0].help, 0u);
    ASSERT_TRUE(map.m_pElevation);
    EXPECT_EQ(map.m_nWidth, 3);
    EXPECT_EQ(map.m_nHeight, 2);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(map.m_pElevation[i], 0) << "cell " << i;
    ExpectDisplayCacheReset(map, "encoding 4");
}

TEST(ElvFileLoad, HeadersWithoutCells) {
    struct Case {
        const char* name;
        Bytes file;
        int width, height;
        std::size_t messages;
    };
    const Case cases[] = {
        {"width 0, encoding 2", Header(2, 0, 4), 0, 4, 0},
        {"width 0, encoding 4", Header(4, 0, 4), 0, 4, 0},
        {"height 0, encoding 0", Header(0, 5, 0), 5, 0, 0},
        {"negative width", Concat(Header(2, -3, 2), {0x00, 0x00, 0x00, 0x00}), 0, 0, 1},
        {"negative height, encoding 9", Header(9, 3, -1), 0, 0, 1},
    };
    for (const Case& c : cases) {
        MessageRecorder messages;
        CCtrlElvMap map;
        SetMap(map, 2, 1, {4, 5});
        FakeDisplayCache(map);
        Load(map, c.file);
        EXPECT_FALSE(map.m_pElevation) << c.name;
        EXPECT_EQ(map.m_nWidth, c.width) << c.name;
        EXPECT_EQ(map.m_nHeight, c.height) << c.name;
        EXPECT_EQ(messages.shown.size(), c.messages) << c.name;
        if (!messages.shown.empty()) {
            EXPECT_EQ(messages.shown[0].text, kBadFileText) << c.name;
        }
        ExpectDisplayCacheReset(map, c.name);
    }
}

TEST(ElvFileLoad, FileEndingInsideAFieldRaises) {
    struct Case {
        const char* name;
        Bytes file;
        bool gridReleased;
    };
    const Case cases[] = {
        {"inside the encoding", {0x02}, false},
        {"inside the height", {0x02, 0x00, 0x02, 0x00, 0x02}, false},
        {"inside the count", Concat(Header(2, 2, 2), {0x01, 0x00}), true},
        {"no count at all", Header(1, 2, 2), true},
        {"inside the maximum", Concat(Header(3, 2, 2), {0x10}), true},
        {"inside the stream length", Concat(Header(3, 2, 2), {0x10, 0x00, 0x05, 0x00, 0x00}), true},
    };
    for (const Case& c : cases) {
        CCtrlElvMap map;
        SetMap(map, 2, 1, {4, 5});
        FakeDisplayCache(map);
        EXPECT_THROW(Load(map, c.file), CArchiveException) << c.name;
        if (c.gridReleased) {
            ExpectNoGrid(map, c.name);
            EXPECT_EQ(map.m_nBufferWidth, 0) << c.name;
            ExpectDisplayCacheReset(map, c.name);
        } else {
            EXPECT_EQ(Cells(map), (std::vector<short>{4, 5})) << c.name;
        }
    }
}

// ---- LoadElevationFile ----------------------------------------------------------------------

namespace {

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST(ElvFileLoadElevationFile, ReadsAFile) {
    TempDir dir;
    const std::string path = dir.File("map.elv");
    WriteFile(path, Concat(Header(2, 3, 1), {0x04, 0x00, 0x00, 0x00, 0x09, 0x81, 0x02, 0x00}));
    CCtrlElvMap map;
    CString name(path.c_str());
    EXPECT_TRUE(map.LoadElevationFile(name));
    EXPECT_EQ(Cells(map), (std::vector<short>{9, 9, 9}));
}

TEST(ElvFileLoadElevationFile, UnopenablePathsLeaveTheMapAlone) {
    TempDir dir;
    for (const std::string& path : {dir.File("missing.elv"), dir.path().string()}) {
        CCtrlElvMap map;
        SetMap(map, 2, 1, {4, 5});
        FakeDisplayCache(map);
        CString name(path.c_str());
        EXPECT_FALSE(map.LoadElevationFile(name)) << path;
        EXPECT_EQ(Cells(map), (std::vector<short>{4, 5})) << path;
        EXPECT_EQ(map.m_nStretchLeft, 3) << path;
    }
}

TEST(ElvFileLoadElevationFile, ClosesTheFileWhenTheLoadRaises) {
    TempDir dir;
    const std::string path = dir.File("cut.elv");
    WriteFile(path, Concat(Header(2, 2, 2), {0x01}));
    CCtrlElvMap map;
    SetMap(map, 2, 1, {4, 5});
    CString name(path.c_str());
    const int before = OpenDescriptors();
    EXPECT_THROW(map.LoadElevationFile(name), CArchiveException);
    EXPECT_EQ(OpenDescriptors(), before);
    ExpectNoGrid(map, "cut file");
}

// ---- Properties -----------------------------------------------------------------------------

namespace {

std::vector<short> RandomCells(zumeld_test::TestRandom& rng, int width, int height) {
    std::vector<short> cells(static_cast<std::size_t>(width) * height);
    short v = 0;
    for (std::size_t i = 0; i < cells.size();) {
        switch (rng.Below(5)) {
            case 0:
                v = 0;
                break;  // sea
            case 1:
                v = static_cast<short>(v + rng.Range(-126, 126));
                break;
            case 2:
                v = static_cast<short>(v + (rng.Chance(50) ? 1 : -1) * rng.Range(127, 2000));
                break;
            case 3:
                v = static_cast<short>(rng.Range(-32768, 32767));
                break;
            default:
                break;  // plateau continues
        }
        std::size_t len = rng.Chance(25) ? 1 + rng.Below(3 * width) : 1 + rng.Below(3);
        for (std::size_t k = 0; k < len && i < cells.size(); ++k) cells[i++] = v;
    }
    return cells;
}

}  // namespace

TEST(ElvFileProperty, RandomMapsStoreAndLoadBackIdentical) {
    zumeld_test::TestRandom rng(0x5EED0E1F);
    CCtrlElvMap map, back;  // reused: each store and load replaces the grid
    for (int n = 0; n < 500; ++n) {
        const int w = 1 + static_cast<int>(rng.Below(40)), h = 1 + static_cast<int>(rng.Below(40));
        std::vector<short> cells = RandomCells(rng, w, h);
        SetMap(map, w, h, cells);
        Bytes file = Store(map);
        Load(back, file);
        ASSERT_EQ(back.m_nWidth, w);
        ASSERT_EQ(back.m_nHeight, h);
        ASSERT_EQ(Cells(back), cells) << "seed " << rng.Seed() << " case " << n;
        ExpectMarginRule(back, "round trip");
    }
}

// Cutting a valid file anywhere: the load raises (file ended inside a field) or gives a map
// whose every cell is the stored one or sea; nothing of the map loaded before survives.
TEST(ElvFileProperty, TruncatedFilesNeverLeaveStaleCells) {
    zumeld_test::TestRandom rng(0x7C07);
    CCtrlElvMap map, back;
    for (int n = 0; n < 40; ++n) {
        const int w = 1 + static_cast<int>(rng.Below(12)), h = 1 + static_cast<int>(rng.Below(12));
        std::vector<short> cells = RandomCells(rng, w, h);
        for (short& v : cells)
            if (v == 0x7777) v = 1;
        SetMap(map, w, h, cells);
        Bytes stored = Store(map);
        // The same cells as raw rows (encoding 0).
        Bytes raw = Header(0, w, h);
        for (short v : cells)
            raw.insert(raw.end(), {std::uint8_t(v), std::uint8_t(std::uint16_t(v) >> 8)});

        for (const Bytes* file : {&stored, &raw}) {
            for (std::size_t cut = 0; cut < file->size(); ++cut) {
                std::vector<short> stale(cells.size(), 0x7777);
                SetMap(back, w, h, stale);
                Bytes prefix(file->begin(), file->begin() + static_cast<std::ptrdiff_t>(cut));
                try {
                    Load(back, prefix);
                } catch (const CArchiveException&) {
                    if (cut >= 6) ExpectNoGrid(back, "raised after the header");
                    continue;
                }
                ASSERT_TRUE(back.m_pElevation) << "cut " << cut;
                std::vector<short> got = Cells(back);
                for (std::size_t i = 0; i < got.size(); ++i)
                    ASSERT_TRUE(got[i] == cells[i] || got[i] == 0)
                        << "seed " << rng.Seed() << " case " << n << " cut " << cut << " cell " << i
                        << " = " << got[i];
                ExpectMarginRule(back, "truncated");
            }
        }
    }
}

// ---- The tool: generate, info, convert ------------------------------------------------------

namespace {

struct ToolRun {
    int status;
    std::string out;
};

// Runs the tool with the arguments; stdout is captured, stderr dropped.
ToolRun RunTool(const std::string& arguments) {
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

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ElvFileTool, GenerateInfoAndConvert) {
    TempDir dir;
    const std::string a = dir.File("a.elv"), b = dir.File("b.elv"), c = dir.File("c.elv");
    ASSERT_EQ(RunTool("generate --size 40x30 --seed 3 -o " + a).status, 0);
    ToolRun info = RunTool("info " + a);
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("encoding: 2 (delta and run)"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("width: 40\nheight: 30\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("compressed image: no"), std::string::npos) << info.out;

    ASSERT_EQ(RunTool("convert " + a + " " + b + " --jpeg --quality 80").status, 0);
    EXPECT_EQ(ReadBytes(b).at(0), 3);
    info = RunTool("info " + b);
    EXPECT_NE(info.out.find("compressed image: yes"), std::string::npos) << info.out;

    // Back to delta-and-run: the file holds what the compressed record reads as.
    ASSERT_EQ(RunTool("convert " + b + " " + c).status, 0);
    CCtrlElvMap fromJpeg, converted;
    Load(fromJpeg, ReadBytes(b));
    Load(converted, ReadBytes(c));
    EXPECT_EQ(ReadBytes(c).at(0), 2);
    EXPECT_EQ(Cells(converted), Cells(fromJpeg));
}

TEST(ElvFileTool, DamagedInputFailsAndLeavesTheOutputAlone) {
    TempDir dir;
    const std::string good = dir.File("good.elv"), out = dir.File("out.elv");
    ASSERT_EQ(RunTool("generate --size 20x20 -o " + good).status, 0);
    Bytes bytes = ReadBytes(good);
    WriteFile(out, {1, 2, 3});
    struct Case {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        {"cut short", Bytes(bytes.begin(), bytes.begin() + 20)},
        {"unknown encoding", Concat(Header(7, 2, 2), {0, 0, 0, 0})},
        {"too short for a header", {0x02, 0x00}},
        {"stream ends early", Concat(Header(2, 2, 2), {0x01, 0x00, 0x00, 0x00, 0x05})},
    };
    for (const Case& c : cases) {
        const std::string in = dir.File("in.elv");
        WriteFile(in, c.file);
        EXPECT_EQ(RunTool("info " + in).status, 1) << c.name;
        EXPECT_EQ(RunTool("convert " + in + " " + out).status, 1) << c.name;
        EXPECT_EQ(ReadBytes(out), (Bytes{1, 2, 3})) << c.name;
    }
}

TEST(ElvFileTool, BadUsageExitsWithTwo) {
    const char* const cases[] = {
        "info",
        "info a.elv b.elv",
        "convert a.elv",
        "convert a.elv b.elv --quality 50",
        "convert a.elv b.elv --jpeg --quality 101",
        "generate",
        "generate --size 0x4 -o x.elv",
        "generate --size 40000x4 -o x.elv",
        "generate --seed -1 -o x.elv",
    };
    for (const char* c : cases) EXPECT_EQ(RunTool(c).status, 2) << c;
    for (const char* c : {"info --help", "convert --help", "generate --help"}) {
        ToolRun run = RunTool(c);
        EXPECT_EQ(run.status, 0) << c;
        EXPECT_EQ(run.out.rfind("usage: zumeld ", 0), 0u) << c;
    }
}
