// The elevation file through Serialize and LoadElevationFile: stored bytes, loading of every
// encoding, bad headers, the state after a load and after a file cut short, the round trip of
// random maps, and the tool commands over them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "elv_test_support.h"
#include "temp_dir.h"
#include "wine_skip.h"

using namespace Zumeld;
using namespace elv_test;

namespace {

using Cells_ = std::vector<short>;
namespace fs = std::filesystem;

const char kBadFileText[] = "標高データファイル(.elv)の内容が異常です";

// A width x height map of 0x3333 whose display cache looks built: what a load must replace
// or leave alone.
void MakeOld(CCtrlElvMap& map, int width, int height) {
    map.CreateNewMap(width, height);
    std::fill_n(map.m_pElevation.get(), (width + 1) * (height + 1), short{0x3333});
    map.m_pDisplayElevation = SharedBlock<short>::AllocateZeroed(4);
    map.m_nStretchLeft = map.m_nStretchTop = map.m_nStretchWidth = map.m_nStretchHeight = 3;
    map.m_nDisplayWidth = map.m_nDisplayHeight = 7;
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
    CCtrlElvMap fresh, column;
    column.CreateNewMap(0, 5);
    EXPECT_EQ(Store(fresh), Header(2, 0, 0));
    EXPECT_EQ(Store(column), Header(2, 0, 5));
    Load(map, Store(fresh));
    EXPECT_FALSE(map.m_pElevation);

    // Sizes beyond 16 bits raise before anything is written; 32767 fits.
    for (auto [w, h] : {std::pair{32768, 1}, {1, 32768}}) {
        CCtrlElvMap big;
        big.CreateNewMap(w, h);
        CMemFile out;
        CArchive ar(&out, CArchive::store);
        EXPECT_THROW(big.Serialize(ar), CArchiveException) << w << "x" << h;
        ar.Close();
        EXPECT_TRUE(out.Data().empty()) << w << "x" << h;
    }
    CCtrlElvMap largest;
    largest.CreateNewMap(32767, 1);
    const Bytes header = Store(largest);
    EXPECT_EQ(Bytes(header.begin(), header.begin() + 6), Header(2, 32767, 1));
}

TEST(ElvFileLoad, EveryEncodingBadHeadersAndFilesEndingInsideAField) {
    enum Outcome { kGrid, kNoGrid, kRaisesKeepingTheOldMap, kRaisesWithoutGrid };
    struct Case {
        const char* name;
        Bytes file;
        Outcome outcome;
        int width, height;  // of the map loaded; of the old map where it is kept
        Cells_ cells;
        std::size_t messages;
    };
    // clang-format off
    const Case cases[] = {
        {"raw rows", Header(0, 2, 2, {0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0xFF, 0xFF}), kGrid, 2, 2, {1, 2, 3, -1}, 0},
        {"raw rows cut inside a cell", Header(0, 2, 2, {0x01, 0x00, 0x02}), kGrid, 2, 2, {1, 0, 0, 0}, 0},
        {"raw rows missing", Header(0, 3, 1), kGrid, 3, 1, {0, 0, 0}, 0},
        {"sea runs", Header(1, 4, 1, {0x05, 0, 0, 0, 0x81, 0x02, 0x00, 0x05, 0xFB}), kGrid, 4, 1, {0, 0, 5, 1}, 0},
        {"delta and run", Header(2, 3, 1, {0x04, 0, 0, 0, 0x09, 0x81, 0x02, 0x00}), kGrid, 3, 1, {9, 9, 9}, 0},
        {"stream shorter than its count", Header(2, 2, 2, {0xFF, 0, 0, 0, 0x09}), kGrid, 2, 2, {9, 0, 0, 0}, 0},
        {"stream describing fewer cells", Header(2, 3, 1, {0x01, 0, 0, 0, 0x09}), kGrid, 3, 1, {9, 0, 0}, 0},
        {"count far beyond the file", Header(2, 2, 1, {0xFF, 0xFF, 0xFF, 0xFF, 0x03, 0x01}), kGrid, 2, 1, {3, 4}, 0},
        {"unknown encoding: sea", Header(4, 3, 2, {0x01, 0x02, 0x03}), kGrid, 3, 2, {0, 0, 0, 0, 0, 0}, 1},
        {"width 0, encoding 2", Header(2, 0, 4), kNoGrid, 0, 4, {}, 0},
        {"width 0, encoding 4", Header(4, 0, 4), kNoGrid, 0, 4, {}, 0},
        {"height 0, encoding 0", Header(0, 5, 0), kNoGrid, 5, 0, {}, 0},
        {"negative width", Header(2, -3, 2, {0, 0, 0, 0}), kNoGrid, 0, 0, {}, 1},
        {"negative height, encoding 9", Header(9, 3, -1), kNoGrid, 0, 0, {}, 1},
        {"end inside the encoding", {0x02}, kRaisesKeepingTheOldMap, 2, 1, {}, 0},
        {"end inside the height", {0x02, 0x00, 0x02, 0x00, 0x02}, kRaisesKeepingTheOldMap, 2, 1, {}, 0},
        {"end inside the count", Header(2, 2, 2, {0x01, 0x00}), kRaisesWithoutGrid, 0, 0, {}, 0},
        {"no count at all", Header(1, 2, 2), kRaisesWithoutGrid, 0, 0, {}, 0},
        {"end inside the maximum", Header(3, 2, 2, {0x10}), kRaisesWithoutGrid, 0, 0, {}, 0},
        {"end inside the stream length", Header(3, 2, 2, {0x10, 0x00, 0x05, 0x00, 0x00}), kRaisesWithoutGrid, 0, 0, {}, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageRecorder messages;
        CCtrlElvMap map;
        // Of the loaded map's sizes where it has cells: the load must still rewrite them all.
        MakeOld(map, c.outcome == kGrid ? c.width : 2, c.outcome == kGrid ? c.height : 1);
        if (c.outcome >= kRaisesKeepingTheOldMap) {
            EXPECT_THROW(Load(map, c.file), CArchiveException);
        } else {
            Load(map, c.file);
        }
        EXPECT_EQ(messages.shown, std::vector<std::string>(c.messages, kBadFileText));
        if (c.outcome == kRaisesKeepingTheOldMap) {
            EXPECT_EQ(Cells(map), (Cells_{0x3333, 0x3333}));
            continue;
        }
        ExpectDisplayArguments(map, 0);
        EXPECT_FALSE(map.m_pDisplayElevation);
        EXPECT_EQ(map.m_nWidth, c.width);
        EXPECT_EQ(map.m_nHeight, c.height);
        EXPECT_EQ(bool(map.m_pElevation), c.outcome == kGrid);
        if (!map.m_pElevation) continue;
        EXPECT_EQ(map.m_nRowBytes, (c.width + 1) * 2);
        EXPECT_EQ(Cells(map), c.cells);
        ExpectMarginRule(map);
    }
}

// A path that does not open leaves the map alone; a load that raises closes the file.
TEST(ElvFileLoad, LoadElevationFile) {
    TempDir dir;
    const std::string cut = dir.File("cut.elv");
    WriteBytes(cut, Header(2, 2, 2, {0x01}));
    CCtrlElvMap map;
    auto load = [&map](const std::string& path) {
        CString name(path.c_str());
        return map.LoadElevationFile(name);
    };
    for (const std::string& path : {dir.File("missing.elv"), dir.path().string()}) {
        MakeOld(map, 2, 1);
        EXPECT_FALSE(load(path)) << path;
        EXPECT_EQ(Cells(map), (Cells_{0x3333, 0x3333})) << path;
        EXPECT_EQ(map.m_nStretchLeft, 3) << path;
    }
    // (Under Wine /proc/self/fd lists Wine's own descriptors too, which come and go.)
    const auto descriptors = [] {
        return zumeld_test::UnderWine()
                   ? 0
                   : std::distance(fs::directory_iterator("/proc/self/fd"), {});
    };
    const auto before = descriptors();
    EXPECT_THROW(load(cut), CArchiveException);
    EXPECT_EQ(descriptors(), before);
    EXPECT_FALSE(map.m_pElevation);
}

TEST(ElvFileProperty, RandomMapsRoundTripAndTruncatedFilesNeverLeaveStaleCells) {
    zumeld_test::TestRandom rng(0x5EED0E1F);
    CCtrlElvMap map, back;  // reused: each store and load replaces the grid
    for (int n = 0; n < 100; ++n) {
        const bool small = n % 4 == 0;  // cut at every byte, stored and raw
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
        for (const Bytes& file : {stored, raw}) {
            for (std::size_t cut = 0; cut < file.size(); ++cut) {
                const Cells_ stale(cells.size(), 0x7777);
                back.SetElevationData(w, h, stale.data());
                try {
                    Load(back, Bytes(file.begin(), file.begin() + static_cast<long>(cut)));
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
