// The elevation file through Serialize and LoadElevationFile: stored bytes, loading of every
// encoding, the message for bad headers, the state after a load and after a file cut short,
// the round trip of random maps, and the tool commands over them.
#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <vector>

#include "elv_test_support.h"
#include "temp_dir.h"

using namespace Zumeld;
using namespace elv_test;

namespace {

using Cells_ = std::vector<short>;

const char kBadFileText[] = "標高データファイル(.elv)の内容が異常です";

// Makes the display cache look built, so a test can see a load drop it.
void FakeDisplayCache(CCtrlElvMap& map) {
    map.m_pDisplayElevation = SharedBlock<short>::AllocateZeroed(4);
    map.m_nStretchLeft = map.m_nStretchTop = map.m_nStretchWidth = map.m_nStretchHeight = 3;
    map.m_nDisplayWidth = map.m_nDisplayHeight = 7;
}

// A 2 x 1 map {4, 5} with a display cache: what a load must replace or leave alone.
void MakeOld(CCtrlElvMap& map) {
    const short cells[2] = {4, 5};
    map.SetElevationData(2, 1, cells);
    FakeDisplayCache(map);
}

// Records the messages shown while it lives.
struct MessageRecorder {
    std::vector<std::string> shown;
    AfxMessageBoxHandler previous =
        AfxSetMessageBoxHandler([this](const char* text, UINT type, UINT help) {
            shown.push_back(type == MB_OK && help == 0 ? text : "unexpected type or help");
            return IDOK;
        });
    ~MessageRecorder() { AfxSetMessageBoxHandler(previous); }
};

}  // namespace

TEST(ElvFileStore, HeaderCountAndStreamAndRefusals) {
    CCtrlElvMap map;
    const short cells[6] = {5, 5, 5, 5, 5, 300};
    map.SetElevationData(6, 1, cells);
    const Bytes file = Header(2, 6, 1, {0x07, 0, 0, 0, 0x05, 0x81, 0x04, 0x00, 0x7F, 0x2C, 0x01});
    EXPECT_EQ(Store(map), file);
    map.SetSaveType(1);  // without a cached record: the same
    EXPECT_EQ(Store(map), file);

    // Maps without cells store only the header, and load back without a grid.
    CCtrlElvMap fresh, empty, column;
    empty.CreateNewMap(0, 0);
    column.CreateNewMap(0, 5);
    EXPECT_EQ(Store(fresh), Header(2, 0, 0));
    EXPECT_EQ(Store(empty), Header(2, 0, 0));
    EXPECT_EQ(Store(column), Header(2, 0, 5));
    Load(map, Store(empty));
    EXPECT_FALSE(map.m_pElevation);

    // Sizes beyond 16 bits raise before anything is written.
    for (auto [w, h] : {std::pair{32768, 1}, {1, 32768}}) {
        CCtrlElvMap big;
        big.CreateNewMap(w, h);
        CMemFile out;
        {
            CArchive ar(&out, CArchive::store);
            EXPECT_THROW(big.Serialize(ar), CArchiveException) << w << "x" << h;
            ar.Close();
        }
        EXPECT_TRUE(out.Data().empty()) << w << "x" << h;
    }
    CCtrlElvMap largest;
    largest.CreateNewMap(32767, 1);
    Bytes header = Store(largest);
    header.resize(6);
    EXPECT_EQ(header, Header(2, 32767, 1));
}

TEST(ElvFileLoad, EveryEncodingFillsCellsAndMargin) {
    struct Case {
        const char* name;
        Bytes file;
        int width, height;
        Cells_ cells;
    };
    // clang-format off
    const Case cases[] = {
        {"raw rows", Header(0, 2, 2, {0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0xFF, 0xFF}), 2, 2, {1, 2, 3, -1}},
        {"raw rows cut inside a cell", Header(0, 2, 2, {0x01, 0x00, 0x02}), 2, 2, {1, 0, 0, 0}},
        {"raw rows missing", Header(0, 3, 1), 3, 1, {0, 0, 0}},
        {"sea runs", Header(1, 4, 1, {0x05, 0, 0, 0, 0x81, 0x02, 0x00, 0x05, 0xFB}), 4, 1, {0, 0, 5, 1}},
        {"delta and run", Header(2, 3, 1, {0x04, 0, 0, 0, 0x09, 0x81, 0x02, 0x00}), 3, 1, {9, 9, 9}},
        {"stream shorter than its count", Header(2, 2, 2, {0xFF, 0, 0, 0, 0x09}), 2, 2, {9, 0, 0, 0}},
        {"stream describing fewer cells", Header(2, 3, 1, {0x01, 0, 0, 0, 0x09}), 3, 1, {9, 0, 0}},
        {"count far beyond the file", Header(2, 2, 1, {0xFF, 0xFF, 0xFF, 0xFF, 0x03, 0x01}), 2, 1, {3, 4}},
        {"unknown encoding: sea", Header(4, 3, 2, {0x01, 0x02, 0x03}), 3, 2, {0, 0, 0, 0, 0, 0}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageRecorder messages;
        CCtrlElvMap map;
        map.CreateNewMap(c.width, c.height);
        std::fill_n(map.m_pElevation.get(), (c.width + 1) * (c.height + 1), short{0x3333});
        FakeDisplayCache(map);
        Load(map, c.file);
        ASSERT_TRUE(map.m_pElevation);
        EXPECT_EQ(map.m_nWidth, c.width);
        EXPECT_EQ(map.m_nHeight, c.height);
        EXPECT_EQ(map.m_nRowBytes, (c.width + 1) * 2);
        EXPECT_EQ(Cells(map), c.cells);
        ExpectMarginRule(map);
        ExpectDisplayArguments(map, 0);
        EXPECT_FALSE(map.m_pDisplayElevation);
        // The unknown encoding, and only it, shows the message once.
        const bool bad = c.file[0] == 4;
        EXPECT_EQ(messages.shown,
                  bad ? std::vector<std::string>{kBadFileText} : std::vector<std::string>{});
    }
}

TEST(ElvFileLoad, HeadersWithoutCellsAndFilesEndingInsideAField) {
    struct Case {
        const char* name;
        Bytes file;
        int width, height;
        std::size_t messages;
    } noCells[] = {{"width 0, encoding 2", Header(2, 0, 4), 0, 4, 0},
                   {"width 0, encoding 4", Header(4, 0, 4), 0, 4, 0},
                   {"height 0, encoding 0", Header(0, 5, 0), 5, 0, 0},
                   {"negative width", Header(2, -3, 2, {0, 0, 0, 0}), 0, 0, 1},
                   {"negative height, encoding 9", Header(9, 3, -1), 0, 0, 1}};
    for (const Case& c : noCells) {
        SCOPED_TRACE(c.name);
        MessageRecorder messages;
        CCtrlElvMap map;
        MakeOld(map);
        Load(map, c.file);
        EXPECT_FALSE(map.m_pElevation);
        EXPECT_EQ(map.m_nWidth, c.width);
        EXPECT_EQ(map.m_nHeight, c.height);
        EXPECT_EQ(messages.shown, std::vector<std::string>(c.messages, kBadFileText));
        ExpectDisplayArguments(map, 0);
        EXPECT_FALSE(map.m_pDisplayElevation);
    }

    // A file ending inside the header leaves the old map; inside a later field, no grid.
    struct Cut {
        const char* name;
        Bytes file;
        bool gridReleased;
    } cuts[] = {
        {"inside the encoding", {0x02}, false},
        {"inside the height", {0x02, 0x00, 0x02, 0x00, 0x02}, false},
        {"inside the count", Header(2, 2, 2, {0x01, 0x00}), true},
        {"no count at all", Header(1, 2, 2), true},
        {"inside the maximum", Header(3, 2, 2, {0x10}), true},
        {"inside the stream length", Header(3, 2, 2, {0x10, 0x00, 0x05, 0x00, 0x00}), true}};
    for (const Cut& c : cuts) {
        SCOPED_TRACE(c.name);
        CCtrlElvMap map;
        MakeOld(map);
        EXPECT_THROW(Load(map, c.file), CArchiveException);
        if (c.gridReleased) {
            EXPECT_FALSE(map.m_pElevation);
            EXPECT_EQ(map.m_nWidth + map.m_nHeight + map.m_nBufferWidth, 0);
            ExpectDisplayArguments(map, 0);
            EXPECT_FALSE(map.m_pDisplayElevation);
        } else {
            EXPECT_EQ(Cells(map), (Cells_{4, 5}));
        }
    }
}

TEST(ElvFileLoad, LoadElevationFile) {
    TempDir dir;
    const std::string good = dir.File("map.elv"), cut = dir.File("cut.elv");
    WriteBytes(good, Header(2, 3, 1, {0x04, 0x00, 0x00, 0x00, 0x09, 0x81, 0x02, 0x00}));
    WriteBytes(cut, Header(2, 2, 2, {0x01}));
    CCtrlElvMap map;
    auto load = [&map](const std::string& path) {
        CString name(path.c_str());
        return map.LoadElevationFile(name);
    };
    EXPECT_TRUE(load(good));
    EXPECT_EQ(Cells(map), (Cells_{9, 9, 9}));

    // Paths that do not open leave the map alone.
    for (const std::string& path : {dir.File("missing.elv"), dir.path().string()}) {
        MakeOld(map);
        EXPECT_FALSE(load(path)) << path;
        EXPECT_EQ(Cells(map), (Cells_{4, 5})) << path;
        EXPECT_EQ(map.m_nStretchLeft, 3) << path;
    }

    // A load that raises closes the file.
    auto openDescriptors = [] {
        int n = 0;
        if (DIR* d = opendir("/proc/self/fd")) {
            while (readdir(d)) ++n;
            closedir(d);
        }
        return n;
    };
    const int before = openDescriptors();
    EXPECT_THROW(load(cut), CArchiveException);
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_FALSE(map.m_pElevation);
}

TEST(ElvFileProperty, RandomMapsRoundTripAndTruncatedFilesNeverLeaveStaleCells) {
    zumeld_test::TestRandom rng(0x5EED0E1F);
    CCtrlElvMap map, back;  // reused: each store and load replaces the grid
    for (int n = 0; n < 200; ++n) {
        const bool small = n % 5 == 0;  // cut at every byte, stored and raw
        const int w = 1 + static_cast<int>(rng.Below(small ? 12 : 40));
        const int h = 1 + static_cast<int>(rng.Below(small ? 12 : 40));
        SCOPED_TRACE(testing::Message() << "seed " << rng.Seed() << " case " << n);
        Cells_ cells = RandomTerrain(rng, w, h);
        for (short& v : cells)
            if (v == 0x7777) v = 1;  // 0x7777 marks stale cells
        map.SetElevationData(w, h, cells.data());
        const Bytes stored = Store(map);
        Load(back, stored);
        ASSERT_EQ(back.m_nWidth, w);
        ASSERT_EQ(back.m_nHeight, h);
        ASSERT_EQ(Cells(back), cells);
        ExpectMarginRule(back);
        if (!small) continue;

        // Cut anywhere, the load raises (inside a field) or gives stored cells or sea.
        Bytes raw = Header(0, w, h);
        for (short v : cells) raw.insert(raw.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
        for (const Bytes* file : {&stored, const_cast<const Bytes*>(&raw)}) {
            for (std::size_t cut = 0; cut < file->size(); ++cut) {
                const Cells_ stale(cells.size(), 0x7777);
                back.SetElevationData(w, h, stale.data());
                try {
                    Load(back, Bytes(file->begin(), file->begin() + static_cast<long>(cut)));
                } catch (const CArchiveException&) {
                    if (cut >= 6) {
                        ASSERT_FALSE(back.m_pElevation) << "cut " << cut;
                    }
                    continue;
                }
                ASSERT_TRUE(back.m_pElevation) << "cut " << cut;
                const Cells_ got = Cells(back);
                for (std::size_t i = 0; i < got.size(); ++i)
                    ASSERT_TRUE(got[i] == cells[i] || got[i] == 0)
                        << "cut " << cut << " cell " << i << " = " << got[i];
                ExpectMarginRule(back);
            }
        }
    }
}

TEST(ElvFileTool, ConvertAndInfo) {
    TempDir dir;
    const std::string a = dir.File("a.elv"), b = dir.File("b.elv"), c = dir.File("c.elv");
    ASSERT_EQ(RunTool("generate --size 40x30 --seed 3 -o " + a).status, 0);
    ToolRun info = RunTool("info " + a);
    EXPECT_NE(info.out.find("encoding: 2 (delta and run)"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("width: 40\nheight: 30\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("compressed image: no"), std::string::npos) << info.out;
    ASSERT_EQ(RunTool("convert " + a + " " + b + " --jpeg --quality 80").status, 0);
    EXPECT_NE(RunTool("info " + b).out.find("compressed image: yes"), std::string::npos);
    // Back to delta-and-run: the file holds what the compressed record reads as.
    ASSERT_EQ(RunTool("convert " + b + " " + c).status, 0);
    CCtrlElvMap fromJpeg, converted;
    Load(fromJpeg, ReadBytes(b));
    Load(converted, ReadBytes(c));
    EXPECT_EQ(ReadBytes(c).at(0), 2);
    EXPECT_EQ(Cells(converted), Cells(fromJpeg));

    // Damaged input fails and leaves an existing output alone.
    WriteBytes(c, {1, 2, 3});
    const Bytes generated = ReadBytes(a);
    const Bytes damaged[] = {Bytes(generated.begin(), generated.begin() + 20),
                             Header(7, 2, 2, {0, 0, 0, 0}),
                             Header(2, 2, 2, {0x01, 0x00, 0x00, 0x00, 0x05})};
    for (const Bytes& file : damaged) {
        WriteBytes(b, file);
        EXPECT_EQ(RunTool("info " + b).status, 1);
        EXPECT_EQ(RunTool("convert " + b + " " + c).status, 1);
        EXPECT_EQ(ReadBytes(c), (Bytes{1, 2, 3}));
    }
    for (const char* usage : {"info", "convert a.elv", "convert a.elv b.elv --quality 50",
                              "generate --size 0x4 -o x.elv", "generate --seed -1 -o x.elv"})
        EXPECT_EQ(RunTool(usage).status, 2) << usage;
}
