// The code streams of the elevation file: worked byte examples, cut and oversized streams,
// the round trip on random maps, and the grey mapping of the compressed record (its picture
// is checked through real JPEG coding in compressed_file_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "elv_test_support.h"
#include "zumeld/elevation/ElvCodec.h"

using namespace Zumeld;
using elv_test::Bytes;

namespace {

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

}  // namespace

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
