// The elevation file: the code streams (worked bytes, cut and oversized streams, random round
// trips, the grey mapping), the file through Serialize and LoadElevationFile (every encoding,
// bad headers, files cut short) and the compressed record (encoding 3) through real JPEG coding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "elv_test_support.h"
#include "temp_dir.h"
#include "wine_skip.h"
#include "zumeld/elevation/ElvCodec.h"
#include "zumeld/zumeld.h"

using namespace Zumeld;
using namespace elv_test;
using Cells_ = std::vector<short>;

namespace {

// ---- The code streams: worked byte examples, cut and oversized streams, the round trip on
// random maps, and the grey mapping of the compressed record.
constexpr short kSentinel = 0x5A5A;

Bytes Encode(const std::vector<short>& cells, int width, int height) {
    Bytes out(ElvEncodeBound(cells.size()));
    out.resize(EncodeElvStream(cells.data(), width, width, height, out.data(), out.size()));
    return out;
}

// Decodes into a grid with a margin column and row of sentinels; checks they survive.
std::vector<short> Decode(const Bytes& stream, ElvStream kind, int width, int height,
                          std::uint64_t* decoded) {
    const int stride = width + 1;
    std::vector<short> grid(static_cast<std::size_t>(stride) * (height + 1), kSentinel);
    *decoded =
        DecodeElvStream(stream.data(), stream.size(), kind, grid.data(), stride, width, height);
    std::vector<short> cells;
    for (int r = 0; r <= height; ++r)
        for (int c = 0; c < stride; ++c) {
            short v = grid[static_cast<std::size_t>(r) * stride + c];
            if (r < height && c < width)
                cells.push_back(v);
            else
                EXPECT_EQ(v, kSentinel) << "margin cell written at row " << r << " col " << c;
        }
    return cells;
}

// Each stream decodes to its cells (and count of cells written); the rows marked kEncoded are
// also what the encoder writes for those cells, and decode to all of them.
TEST(ElvCodec, WorkedStreamsAndRefusals) {
    constexpr std::uint64_t kEncoded = ~std::uint64_t{0};
    struct Case {
        const char* name;
        ElvStream kind;
        int width, height;
        std::vector<short> cells;
        Bytes stream;
        std::uint64_t decoded;
    };
    const ElvStream k1 = ElvStream::kSeaRuns, k2 = ElvStream::kDeltaRun;
    const std::vector<short> sea65535(65535), sea65536(65536);
    // clang-format off
    const Case cases[] = {
        {"three sea cells flushed as zero bytes", k2, 3, 1, {0, 0, 0}, {0x00, 0x00, 0x00}, kEncoded},
        {"run then absolute", k2, 6, 1, {5, 5, 5, 5, 5, 300}, {0x05, 0x81, 0x04, 0x00, 0x7F, 0x2C, 0x01}, kEncoded},
        {"run crosses the row end", k2, 2, 2, {7, 7, 7, 7}, {0x07, 0x00, 0x00, 0x00}, kEncoded},
        {"four equal cells use a 16-bit run", k2, 4, 1, {0, 0, 0, 0}, {0x81, 0x04, 0x00}, kEncoded},
        {"delta +126 is one byte", k2, 1, 1, {126}, {0x7E}, kEncoded},
        {"delta +127 is absolute", k2, 1, 1, {127}, {0x7F, 0x7F, 0x00}, kEncoded},
        {"delta -126 is one byte", k2, 1, 1, {-126}, {0x82}, kEncoded},
        {"delta -127 is absolute", k2, 1, 1, {-127}, {0x7F, 0x81, 0xFF}, kEncoded},
        {"extremes differ by 65535", k2, 2, 1, {32767, -32768}, {0x7F, 0xFF, 0x7F, 0x7F, 0x00, 0x80}, kEncoded},
        {"run flushed before a change", k2, 5, 1, {0, 0, 1, 1, 0}, {0x00, 0x00, 0x01, 0x00, 0xFF}, kEncoded},
        {"65535 cells: 16-bit count", k2, 65535, 1, sea65535, {0x81, 0xFF, 0xFF}, kEncoded},
        {"65536 cells: 32-bit count", k2, 256, 256, sea65536, {0x80, 0, 0, 1, 0}, kEncoded},
        {"sea run, land, zero delta becomes 1", k1, 4, 1, {0, 0, 5, 1}, {0x81, 0x02, 0x00, 0x05, 0xFB}, 4},
        {"run repeats prev", k2, 3, 1, {9, 9, 9}, {0x09, 0x81, 0x02, 0x00}, 3},
        {"sea run resets prev to 0", k1, 3, 1, {5, 0, 3}, {0x05, 0x81, 0x01, 0x00, 0x03}, 3},
        {"absolute 0 becomes 1 in sea-run streams", k1, 1, 1, {1}, {0x7F, 0x00, 0x00}, 1},
        {"absolute 0 stays 0 in delta streams", k2, 1, 1, {0}, {0x7F, 0x00, 0x00}, 1},
        {"16-bit wrap-around", k2, 2, 1, {32767, -32768}, {0x7F, 0xFF, 0x7F, 0x01}, 2},
        {"32-bit run", k2, 2, 2, {3, 3, 3, 3}, {0x03, 0x80, 0x03, 0x00, 0x00, 0x00}, 4},
        {"count of 2^31 writes nothing", k2, 2, 1, {4, 5}, {0x04, 0x80, 0, 0, 0, 0x80, 0x01}, 2},
        {"count of 2^32-1 writes nothing", k2, 2, 1, {6, 0}, {0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0x06}, 1},
        {"negative-count sea run still resets prev", k1, 2, 1, {4, 1}, {0x04, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}, 2},
        {"zero-count run writes nothing", k2, 2, 1, {2, 3}, {0x02, 0x81, 0x00, 0x00, 0x01}, 2},
        {"absolute code cut short", k2, 3, 1, {5, 0, 0}, {0x05, 0x7F, 0x01}, 1},
        {"16-bit run cut short", k2, 3, 1, {5, 0, 0}, {0x05, 0x81, 0x09}, 1},
        {"32-bit run cut short", k2, 3, 1, {5, 0, 0}, {0x05, 0x80, 0x09, 0x00, 0x00}, 1},
        {"empty stream gives sea", k2, 2, 2, {0, 0, 0, 0}, {}, 0},
        {"run longer than the map stops at its end", k2, 2, 2, {1, 1, 1, 1}, {0x01, 0x81, 0x10, 0x00}, 4},
        {"codes after the map is full are ignored", k2, 1, 1, {1}, {0x01, 0x02, 0x7F}, 1},
    };
    // clang-format on
    for (const Case& c : cases) {
        if (c.decoded == kEncoded) {
            EXPECT_EQ(Encode(c.cells, c.width, c.height), c.stream) << c.name;
        }
        std::uint64_t decoded = 0;
        EXPECT_EQ(Decode(c.stream, c.kind, c.width, c.height, &decoded), c.cells) << c.name;
        EXPECT_EQ(decoded, c.decoded == kEncoded ? c.cells.size() : c.decoded) << c.name;
    }

    // The encoder refuses a bad stride or width, output below the bound and no cells; the
    // decoder, bad grids: neither writes anything. A null stream is an empty one (all sea).
    std::vector<short> cells(4, 1), grid(8, kSentinel);
    Bytes out(64, 0xEE);
    const std::uint8_t one[] = {0x01};
    for (auto [stride, width, size] : {std::tuple{2, -1, 64}, {1, 2, 64}, {2, 2, 12}, {2, 0, 64}})
        EXPECT_EQ(EncodeElvStream(cells.data(), stride, width, 2, out.data(), size), 0u);
    EXPECT_EQ(EncodeElvStream(nullptr, 2, 2, 2, out.data(), out.size()), 0u);
    EXPECT_EQ(DecodeElvStream(one, 1, k2, grid.data(), 1, 2, 2), 0u);
    EXPECT_EQ(DecodeElvStream(one, 1, k2, grid.data(), 2, -2, 2), 0u);
    EXPECT_EQ(DecodeElvStream(one, 1, k2, nullptr, 2, 2, 2), 0u);
    EXPECT_EQ(out, Bytes(64, 0xEE));
    EXPECT_EQ(grid, std::vector<short>(8, kSentinel));
    EXPECT_EQ(DecodeElvStream(nullptr, 5, k2, grid.data(), 2, 2, 2), 0u);
    EXPECT_EQ(grid, (std::vector<short>{0, 0, 0, 0, kSentinel, kSentinel, kSentinel, kSentinel}));
}

// Random maps round trip within 3 bytes a cell; every prefix of a stream decodes to a prefix
// of the map followed by sea.
TEST(ElvCodecProperty, RoundTripAndEveryPrefix) {
    zumeld_test::TestRandom rng(0xE1F0C0DE);
    for (int n = 0; n < 200; ++n) {
        const int w = 1 + static_cast<int>(rng.Below(40)), h = 1 + static_cast<int>(rng.Below(40));
        SCOPED_TRACE(testing::Message() << "seed " << rng.Seed() << " case " << n);
        std::vector<short> cells = elv_test::RandomTerrain(rng, w, h);
        Bytes stream = Encode(cells, w, h);
        ASSERT_LE(stream.size(), 3 * cells.size());
        std::uint64_t decoded = 0;
        ASSERT_EQ(Decode(stream, ElvStream::kDeltaRun, w, h, &decoded), cells);
        ASSERT_EQ(decoded, cells.size());
        if (w * h > 150) continue;  // prefixes of the small maps only
        for (std::size_t cut = 0; cut < stream.size(); ++cut) {
            Bytes prefix(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
            std::vector<short> got = Decode(prefix, ElvStream::kDeltaRun, w, h, &decoded);
            ASSERT_LE(decoded, cells.size());
            ASSERT_EQ(CountElvStreamCells(prefix.data(), prefix.size(), cells.size()), decoded);
            for (std::size_t i = 0; i < cells.size(); ++i)
                ASSERT_EQ(got[i], i < decoded ? cells[i] : 0) << "cut " << cut << " cell " << i;
        }
    }
}

TEST(ElvCodec, GreyMapping) {
    struct Case {
        short maxElevation, e;
        std::uint8_t grey;
        short back;
    };
    const Case cases[] = {
        {1000, 1000, 255, 1000}, {1000, 500, 127, 498}, {1000, 0, 0, 0},
        {100, 100, 253, 99},     {0, 0, 0, 0},          {32767, 32767, 255, 32767},
        {1000, -5, 0, 0},  // negative elevations have no grey level: 0
        {1, 1, 128, 0},          {255, 255, 255, 255},  {256, 256, 255, 256}};
    for (const Case& c : cases) {
        EXPECT_EQ(ElevationToGrey(c.e, c.maxElevation), c.grey) << c.maxElevation << " " << c.e;
        EXPECT_EQ(GreyToElevation(c.grey, c.maxElevation), c.back) << c.maxElevation << " " << c.e;
    }
    // A negative maximum (never written) reads every grey level as 0.
    for (int g : {0, 1, 128, 255}) EXPECT_EQ(GreyToElevation(static_cast<std::uint8_t>(g), -7), 0);

    // The largest of 3 x 2 cells in a grid of stride 4 (margin cells 999 are ignored).
    const short cells[] = {0, 500, 1000, 999, -20, 250, 4, 999}, sea[] = {0, -5, -7, 0};
    EXPECT_EQ(MaxElevationAboveSea(cells, 4, 3, 2), 1000);
    EXPECT_EQ(MaxElevationAboveSea(sea, 2, 2, 2), 0);
}

// ---- The file through Serialize and LoadElevationFile: stored bytes, loading of every
// encoding, bad headers, the state after a load and after a file cut short, the round trip of
// random maps.
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
        {"height 0, encoding 0", Header(0, 5, 0), kNoGrid, 5, 0, {}, 0},
        {"negative width", Header(2, -3, 2, {0, 0, 0, 0}), kNoGrid, 0, 0, {}, 1},
        {"negative height, encoding 9", Header(9, 3, -1), kNoGrid, 0, 0, {}, 1},
        {"end inside the encoding", {0x02}, kRaisesKeepingTheOldMap, 2, 1, {}, 0},
        {"end inside the count", Header(2, 2, 2, {0x01, 0x00}), kRaisesWithoutGrid, 0, 0, {}, 0},
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

// ---- The compressed record (encoding 3): Save3djFile's layout, the grey mapping through a real
// JPEG round trip, the cache that save type 1 writes back, and records that do not decode.
Bytes Save3dj(CCtrlElvMap& map, int quality, bool* result = nullptr) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    bool ok = map.Save3djFile(ar, quality);
    if (result) *result = ok;
    ar.Close();
    return file.Data();
}

int Field16(const Bytes& b, std::size_t at) {
    return static_cast<short>(b[at] | (b[at + 1] << 8));
}

// A map of 8 x 8 blocks, each block flat: a JPEG codes flat blocks (nearly) without loss.
void SetBlocks(CCtrlElvMap& map, const std::vector<short>& blockValues, int blocksWide) {
    const int blocksHigh = static_cast<int>(blockValues.size()) / blocksWide;
    const int w = 8 * blocksWide, h = 8 * blocksHigh;
    std::vector<short> cells(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) cells[y * w + x] = blockValues[(y / 8) * blocksWide + x / 8];
    map.SetElevationData(w, h, cells.data());
}

// The record's layout; loading it maps grey levels back, fills the margin and caches the
// stream; save type 1 writes the cached record back byte for byte, even after edits, until the
// cache is dropped.
TEST(CompressedFile, RecordLayoutLoadAndSaveTypeOne) {
    CCtrlElvMap map;
    SetBlocks(map, {1000, 500}, 2);
    bool ok = false;
    Bytes rec = Save3dj(map, 100, &ok);
    ASSERT_TRUE(ok);
    ASSERT_GE(rec.size(), 12u);
    // Encoding 3, 16 x 8, M = 1000, the stream's length, then a JPEG stream's SOI marker.
    const std::uint32_t n = static_cast<std::uint32_t>(rec.size() - 12);
    EXPECT_EQ(Bytes(rec.begin(), rec.begin() + 14),
              (Bytes{3, 0, 16, 0, 8, 0, 0xE8, 0x03, std::uint8_t(n), std::uint8_t(n >> 8),
                     std::uint8_t(n >> 16), std::uint8_t(n >> 24), 0xFF, 0xD8}));
    EXPECT_FALSE(map.m_pCompressedData);  // Save3djFile neither fills nor reads the cache

    CCtrlElvMap back;
    back.m_pDisplayElevation = SharedBlock<short>::AllocateZeroed(1);
    back.m_nStretchWidth = 9;
    Load(back, rec);
    ASSERT_EQ(back.m_nWidth, 16);
    ASSERT_EQ(back.m_nHeight, 8);
    ExpectMarginRule(back);
    // Flat blocks come through within a grey step of (g * M) / 255, g = e * 256 / (M + 1).
    const std::vector<short> got = Cells(back);
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_LE(std::abs(got[i] - (i % 16 < 8 ? 1000 : 498)), 4) << i;
    ASSERT_EQ(back.m_nCompressedSize, static_cast<int>(n));
    EXPECT_TRUE(std::equal(rec.begin() + 12, rec.end(), back.m_pCompressedData.get()));
    EXPECT_FALSE(back.m_pDisplayElevation);
    EXPECT_EQ(back.m_nStretchWidth, 0);

    back.SetSaveType(1);
    back.m_pElevation[0] = 1234;
    EXPECT_EQ(Store(back), rec);
    // Another size: the cached picture no longer describes the map, so the grid is coded.
    CCtrlElvMap wider(back), reloaded;
    wider.ChangeCanvasSize(20, 8);
    Load(reloaded, Store(wider));
    EXPECT_EQ(Cells(reloaded), Cells(wider));
    back.SetSaveType(0);  // save type 0 codes the grid
    EXPECT_EQ(Field16(Store(back), 0), 2);
    back.SetSaveType(1);  // and so does save type 1 without the cache
    back.DeleteCompressedData();
    EXPECT_EQ(Field16(Store(back), 0), 2);

    // Only cells below sea level: the maximum is 0 and the cells load back as sea.
    CCtrlElvMap deep;
    SetBlocks(deep, {-40, -1}, 2);
    rec = Save3dj(deep, 100);
    ASSERT_GE(rec.size(), 12u);
    EXPECT_EQ(Field16(rec, 6), 0);
    Load(deep, rec);
    EXPECT_EQ(Cells(deep), std::vector<short>(16 * 8, 0));

    // Too wide for the header, or no cells to code: nothing written.
    CCtrlElvMap wide, empty;
    wide.CreateNewMap(32768, 1);
    for (CCtrlElvMap* m : {&wide, &empty}) {
        EXPECT_TRUE(Save3dj(*m, 90, &ok).empty());
        EXPECT_FALSE(ok);
    }
}

// Records that do not decode to a picture of the map's size give sea; the cache holds the
// bytes the file delivered, no more.
TEST(CompressedFile, StreamsThatDoNotDecodeGiveSea) {
    CCtrlElvMap source;
    SetBlocks(source, {700, 800, 900, 1000}, 2);  // 16 x 16
    const Bytes good = Save3dj(source, 90);
    Bytes otherSize = good, negativeMax = good;
    otherSize[2] = otherSize[4] = 8;               // the header claims 8 x 8
    negativeMax[6] = 0xFB, negativeMax[7] = 0xFF;  // M = -5
    const Bytes notJpeg = Header(3, 2, 2, {0xE8, 0x03, 4, 0, 0, 0, 'a', 'b', 'c', 'd'});
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    const Bytes* const files[] = {&otherSize, &notJpeg, &cut, &negativeMax};
    for (const Bytes* file : files) {
        CCtrlElvMap map;
        map.CreateNewMap(16, 16);
        std::fill_n(map.m_pElevation.get(), 17 * 17, short{0x4444});
        Load(map, *file);
        ASSERT_TRUE(map.m_pElevation);
        const short* grid = map.m_pElevation.get();
        EXPECT_TRUE(std::all_of(grid, grid + map.m_nBufferWidth * map.m_nBufferHeight,
                                [](short v) { return v == 0; }));
        EXPECT_EQ(map.m_nCompressedSize, static_cast<int>(file->size() - 12));
    }
}

}  // namespace
