// The code streams of the elevation file: worked byte examples, the decoder's handling of
// cut and oversized streams, and the encode-decode round trip on random maps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "test_random.h"
#include "zumeld/elevation/ElvCodec.h"

using namespace Zumeld;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr short kSentinel = 0x5A5A;

Bytes Encode(const std::vector<short>& cells, int width, int height) {
    Bytes out(ElvEncodeBound(cells.size()));
    out.resize(EncodeElvStream(cells.data(), width, width, height, out.data(), out.size()));
    return out;
}

// Decodes into a grid with a margin column and row of sentinels; checks they survive.
std::vector<short> Decode(const Bytes& stream, ElvStream kind, int width, int height,
                          std::uint64_t* decoded = nullptr) {
    const int stride = width + 1;
    std::vector<short> grid(static_cast<std::size_t>(stride) * (height + 1), kSentinel);
    std::uint64_t n =
        DecodeElvStream(stream.data(), stream.size(), kind, grid.data(), stride, width, height);
    if (decoded) *decoded = n;
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

// ---- Encoder ------------------------------------------------------------------------------

TEST(ElvCodecEncode, WorkedExamples) {
    struct Case {
        const char* name;
        int width, height;
        std::vector<short> cells;
        Bytes bytes;
    };
    const Case cases[] = {
        {"three sea cells flushed as zero bytes", 3, 1, {0, 0, 0}, {0x00, 0x00, 0x00}},
        {"run then absolute",
         6,
         1,
         {5, 5, 5, 5, 5, 300},
         {0x05, 0x81, 0x04, 0x00, 0x7F, 0x2C, 0x01}},
        {"two deltas", 2, 1, {10, 3}, {0x0A, 0xF9}},
        {"run crosses the row end", 2, 2, {7, 7, 7, 7}, {0x07, 0x00, 0x00, 0x00}},
        {"four equal cells use a 16-bit run", 4, 1, {0, 0, 0, 0}, {0x81, 0x04, 0x00}},
        {"delta +126 is one byte", 1, 1, {126}, {0x7E}},
        {"delta +127 is absolute", 1, 1, {127}, {0x7F, 0x7F, 0x00}},
        {"delta -126 is one byte", 1, 1, {-126}, {0x82}},
        {"delta -127 is absolute", 1, 1, {-127}, {0x7F, 0x81, 0xFF}},
        {"extremes differ by 65535", 2, 1, {32767, -32768}, {0x7F, 0xFF, 0x7F, 0x7F, 0x00, 0x80}},
        {"run flushed before a change", 5, 1, {0, 0, 1, 1, 0}, {0x00, 0x00, 0x01, 0x00, 0xFF}},
    };
    for (const Case& c : cases) EXPECT_EQ(Encode(c.cells, c.width, c.height), c.bytes) << c.name;
}

TEST(ElvCodecEncode, LongRunsUse16And32BitCounts) {
    // 65535 sea cells: 0x81 FF FF; 65536: 0x80 with a 32-bit count.
    EXPECT_EQ(Encode(std::vector<short>(65535, 0), 65535, 1), (Bytes{0x81, 0xFF, 0xFF}));
    EXPECT_EQ(Encode(std::vector<short>(65536, 0), 256, 256),
              (Bytes{0x80, 0x00, 0x00, 0x01, 0x00}));
}

TEST(ElvCodecEncode, RefusesBadArguments) {
    std::vector<short> cells(4, 1);
    Bytes out(64, 0xEE);
    EXPECT_EQ(EncodeElvStream(cells.data(), 2, -1, 2, out.data(), out.size()), 0u);
    EXPECT_EQ(EncodeElvStream(cells.data(), 1, 2, 2, out.data(), out.size()), 0u);  // stride
    EXPECT_EQ(EncodeElvStream(cells.data(), 2, 2, 2, out.data(), 12), 0u);  // below the bound
    EXPECT_EQ(EncodeElvStream(nullptr, 2, 2, 2, out.data(), out.size()), 0u);
    EXPECT_EQ(EncodeElvStream(cells.data(), 2, 0, 2, out.data(), out.size()), 0u);
    for (std::uint8_t b : out) EXPECT_EQ(b, 0xEE);
}

// ---- Decoder ------------------------------------------------------------------------------

TEST(ElvCodecDecode, WorkedExamples) {
    struct Case {
        const char* name;
        ElvStream kind;
        int width, height;
        Bytes stream;
        std::vector<short> cells;
        std::uint64_t decoded;
    };
    const ElvStream k1 = ElvStream::kSeaRuns, k2 = ElvStream::kDeltaRun;
    const Case cases[] = {
        {"sea run, land, zero delta becomes 1",
         k1,
         4,
         1,
         {0x81, 0x02, 0x00, 0x05, 0xFB},
         {0, 0, 5, 1},
         4},
        {"run repeats prev", k2, 3, 1, {0x09, 0x81, 0x02, 0x00}, {9, 9, 9}, 3},
        {"sea run resets prev to 0", k1, 3, 1, {0x05, 0x81, 0x01, 0x00, 0x03}, {5, 0, 3}, 3},
        {"absolute 0 becomes 1 in sea-run streams", k1, 1, 1, {0x7F, 0x00, 0x00}, {1}, 1},
        {"absolute 0 stays 0 in delta streams", k2, 1, 1, {0x7F, 0x00, 0x00}, {0}, 1},
        {"16-bit wrap-around", k2, 2, 1, {0x7F, 0xFF, 0x7F, 0x01}, {32767, -32768}, 2},
        {"32-bit run", k2, 2, 2, {0x03, 0x80, 0x03, 0x00, 0x00, 0x00}, {3, 3, 3, 3}, 4},
        {"count of 2^31 writes nothing",
         k2,
         2,
         1,
         {0x04, 0x80, 0x00, 0x00, 0x00, 0x80, 0x01},
         {4, 5},
         2},
        {"count of 2^32-1 writes nothing",
         k2,
         2,
         1,
         {0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0x06},
         {6, 0},
         1},
        {"negative-count sea run still resets prev",
         k1,
         2,
         1,
         {0x04, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0x01},
         {4, 1},
         2},
        {"zero-count run writes nothing", k2, 2, 1, {0x02, 0x81, 0x00, 0x00, 0x01}, {2, 3}, 2},
        {"absolute code cut short", k2, 3, 1, {0x05, 0x7F, 0x01}, {5, 0, 0}, 1},
        {"16-bit run cut short", k2, 3, 1, {0x05, 0x81, 0x09}, {5, 0, 0}, 1},
        {"32-bit run cut short", k2, 3, 1, {0x05, 0x80, 0x09, 0x00, 0x00}, {5, 0, 0}, 1},
        {"empty stream gives sea", k2, 2, 2, {}, {0, 0, 0, 0}, 0},
        {"run longer than the map stops at its end",
         k2,
         2,
         2,
         {0x01, 0x81, 0x10, 0x00},
         {1, 1, 1, 1},
         4},
        {"codes after the map is full are ignored", k2, 1, 1, {0x01, 0x02, 0x7F}, {1}, 1},
    };
    for (const Case& c : cases) {
        std::uint64_t decoded = 0;
        EXPECT_EQ(Decode(c.stream, c.kind, c.width, c.height, &decoded), c.cells) << c.name;
        EXPECT_EQ(decoded, c.decoded) << c.name;
    }
}

TEST(ElvCodecDecode, RefusesBadGridsWithoutWriting) {
    std::vector<short> grid(8, kSentinel);
    const std::uint8_t one[] = {0x01};
    EXPECT_EQ(DecodeElvStream(one, 1, ElvStream::kDeltaRun, grid.data(), 1, 2, 2), 0u);
    EXPECT_EQ(DecodeElvStream(one, 1, ElvStream::kDeltaRun, grid.data(), 2, -2, 2), 0u);
    EXPECT_EQ(DecodeElvStream(one, 1, ElvStream::kDeltaRun, nullptr, 2, 2, 2), 0u);
    for (short v : grid) EXPECT_EQ(v, kSentinel);
    // A null stream is an empty one: every cell becomes sea.
    EXPECT_EQ(DecodeElvStream(nullptr, 5, ElvStream::kDeltaRun, grid.data(), 2, 2, 2), 0u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(grid[i], 0);
}

// ---- Properties -----------------------------------------------------------------------------

namespace {

// Random maps biased toward what the coder distinguishes: runs (short and long), plateaus
// spanning rows, small steps, jumps over 126 and the 16-bit extremes.
std::vector<short> RandomMap(zumeld_test::TestRandom& rng, int width, int height) {
    std::vector<short> cells(static_cast<std::size_t>(width) * height);
    short v = 0;
    std::size_t i = 0;
    while (i < cells.size()) {
        switch (rng.Below(6)) {
            case 0:
                v = 0;
                break;
            case 1:
                v = static_cast<short>(v + rng.Range(-126, 126));
                break;
            case 2:
                v = static_cast<short>(v + (rng.Chance(50) ? 127 : -127));
                break;
            case 3:
                v = static_cast<short>(rng.Range(-32768, 32767));
                break;
            case 4: {
                const short edges[] = {-32768, -1, 0, 1, 32767};
                v = edges[rng.Below(5)];
                break;
            }
            default:
                v = static_cast<short>(v + rng.Range(-300, 300));
                break;
        }
        std::size_t len = rng.Chance(30) ? 1 + rng.Below(2 * width + 5) : 1 + rng.Below(4);
        for (std::size_t k = 0; k < len && i < cells.size(); ++k) cells[i++] = v;
    }
    return cells;
}

}  // namespace

TEST(ElvCodecProperty, RandomMapsRoundTrip) {
    zumeld_test::TestRandom rng(0xE1F0C0DE);
    for (int n = 0; n < 3000; ++n) {
        const int w = 1 + static_cast<int>(rng.Below(40)), h = 1 + static_cast<int>(rng.Below(40));
        std::vector<short> cells = RandomMap(rng, w, h);
        Bytes stream = Encode(cells, w, h);
        ASSERT_LE(stream.size(), 3 * cells.size()) << "seed " << rng.Seed() << " case " << n;
        std::uint64_t decoded = 0;
        ASSERT_EQ(Decode(stream, ElvStream::kDeltaRun, w, h, &decoded), cells)
            << "seed " << rng.Seed() << " case " << n << " size " << w << "x" << h;
        ASSERT_EQ(decoded, cells.size());
    }
}

TEST(ElvCodecProperty, EncodesFromAStridedGrid) {
    // The encoder reads only the map cells of each row; the margin must not leak in.
    zumeld_test::TestRandom rng(42);
    const int w = 9, h = 7, stride = 12;
    std::vector<short> cells = RandomMap(rng, w, h);
    std::vector<short> grid(static_cast<std::size_t>(stride) * h, 12345);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) grid[r * stride + c] = cells[r * w + c];
    Bytes a(ElvEncodeBound(cells.size())), b(a.size());
    a.resize(EncodeElvStream(grid.data(), stride, w, h, a.data(), a.size()));
    b.resize(EncodeElvStream(cells.data(), w, w, h, b.data(), b.size()));
    EXPECT_EQ(a, b);
}

TEST(ElvCodecProperty, EveryPrefixDecodesToAPrefixThenSea) {
    zumeld_test::TestRandom rng(7);
    for (int n = 0; n < 200; ++n) {
        const int w = 1 + static_cast<int>(rng.Below(12)), h = 1 + static_cast<int>(rng.Below(12));
        std::vector<short> cells = RandomMap(rng, w, h);
        Bytes stream = Encode(cells, w, h);
        for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
            Bytes prefix(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
            std::uint64_t decoded = 0;
            std::vector<short> got = Decode(prefix, ElvStream::kDeltaRun, w, h, &decoded);
            ASSERT_LE(decoded, cells.size());
            for (std::size_t i = 0; i < cells.size(); ++i)
                ASSERT_EQ(got[i], i < decoded ? cells[i] : 0)
                    << "seed " << rng.Seed() << " case " << n << " cut " << cut << " cell " << i;
        }
    }
}

// ---- Grey mapping of the compressed record ----------------------------------------------------

TEST(ElvCodecGrey, WorkedExamples) {
    struct Case {
        short maxElevation, e;
        std::uint8_t grey;
        short back;
    };
    const Case cases[] = {
        {1000, 1000, 255, 1000}, {1000, 500, 127, 498}, {1000, 0, 0, 0},
        {100, 100, 253, 99},     {0, 0, 0, 0},          {32767, 32767, 255, 32767},
        {1000, -5, 0, 0},  // negative elevations have no grey level: 0
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ElevationToGrey(c.e, c.maxElevation), c.grey) << c.maxElevation << " " << c.e;
        EXPECT_EQ(GreyToElevation(c.grey, c.maxElevation), c.back) << c.maxElevation << " " << c.e;
    }
    // A negative maximum (never written) reads every grey level as 0.
    for (int g : {0, 1, 128, 255}) EXPECT_EQ(GreyToElevation(static_cast<std::uint8_t>(g), -7), 0);
}

TEST(ElvCodecGrey, GreyStaysInRangeForEveryElevationUpToTheMaximum) {
    for (int m : {1, 2, 254, 255, 256, 1000, 32767})
        for (int e = 0; e <= m; e += 1 + m / 997) {
            long expected = static_cast<long>(e) * 256 / (m + 1);
            ASSERT_EQ(ElevationToGrey(static_cast<short>(e), static_cast<short>(m)), expected);
            ASSERT_LE(expected, 255);
        }
}

TEST(ElvCodecGrey, PictureKernelsFollowTheTopRowAndStride) {
    // 3 x 2 cells in a grid of stride 4 (margin cells 999 must be ignored), M = 1000.
    const short grid[] = {0, 500, 1000, 999, -20, 250, 4, 999};
    EXPECT_EQ(MaxElevationAboveSea(grid, 4, 3, 2), 1000);
    const short sea[] = {0, -5, -7, 0};
    EXPECT_EQ(MaxElevationAboveSea(sea, 2, 2, 2), 0);

    // A bottom-up picture: rows 8 bytes apart, the top row last in memory.
    std::uint8_t picture[16];
    std::fill(std::begin(picture), std::end(picture), 0xEE);
    ElevationsToGrey(grid, 4, 3, 2, 1000, picture + 8, -8);
    const std::uint8_t expected[16] = {0, 63,  1,   0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                                       0, 127, 255, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(picture[i], expected[i]) << "byte " << i;

    short back[8];
    std::fill(std::begin(back), std::end(back), kSentinel);
    GreyToElevations(picture + 8, -8, 3, 2, 1000, back, 4);
    const short cells[8] = {0, 498, 1000, kSentinel, 0, 247, 3, kSentinel};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(back[i], cells[i]) << "cell " << i;
}
