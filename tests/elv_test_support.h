// Helpers of the map tests: maps stored to and loaded from memory, their cells, random
// terrain and files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "temp_dir.h"
#include "test_random.h"
#include "zumeld/zumeld.h"

namespace elv_test {

using zumeld_test::Bytes;
using zumeld_test::ReadBytes;
using zumeld_test::WriteBytes;

inline Bytes Store(Zumeld::CCtrlElvMap& map) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    map.Serialize(ar);
    ar.Close();
    return file.Data();
}

inline void Load(Zumeld::CCtrlElvMap& map, const Bytes& bytes) {
    CMemFile file(bytes.data(), bytes.size());
    CArchive ar(&file, CArchive::load);
    map.Serialize(ar);
    ar.Close();
}

// The map cells, row after row, without the margin.
inline std::vector<short> Cells(const Zumeld::CCtrlElvMap& map) {
    std::vector<short> out;
    for (int r = 0; r < map.m_nHeight; ++r)
        for (int c = 0; c < map.m_nWidth; ++c)
            out.push_back(map.m_pElevation[r * map.m_nBufferWidth + c]);
    return out;
}

// The whole grid block, margin included.
inline std::vector<short> WholeGrid(const Zumeld::CCtrlElvMap& map) {
    if (!map.m_pElevation) return {};
    return {map.m_pElevation.get(),
            map.m_pElevation.get() + map.m_nBufferWidth * map.m_nBufferHeight};
}

// The stretch and display arguments: 0 after a reset, -1 when left for the host to invalidate.
inline void ExpectDisplayArguments(const Zumeld::CCtrlElvMap& map, int value) {
    for (int v : {map.m_nStretchLeft, map.m_nStretchTop, map.m_nStretchWidth, map.m_nStretchHeight,
                  map.m_nDisplayWidth, map.m_nDisplayHeight})
        EXPECT_EQ(v, value);
}

// The margin column repeats each row's last cell; the margin row repeats the last row.
inline void ExpectMarginRule(const Zumeld::CCtrlElvMap& map) {
    const int bw = map.m_nBufferWidth, w = map.m_nWidth, h = map.m_nHeight;
    for (int r = 0; r < h; ++r)
        ASSERT_EQ(map.m_pElevation[r * bw + w], map.m_pElevation[r * bw + w - 1]) << "row " << r;
    for (int c = 0; c <= w; ++c)
        ASSERT_EQ(map.m_pElevation[h * bw + c], map.m_pElevation[(h - 1) * bw + c]) << "col " << c;
}

// A file header (encoding, width, height) followed by the given bytes.
inline Bytes Header(int encoding, int width, int height, const Bytes& rest = {}) {
    Bytes b;
    for (int v : {encoding, width, height}) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

// Random terrain biased toward what the coder distinguishes: sea, runs (short and long,
// spanning rows), small steps, jumps of 127 and more, and the 16-bit extremes.
inline std::vector<short> RandomTerrain(zumeld_test::TestRandom& rng, int width, int height) {
    std::vector<short> cells(static_cast<std::size_t>(width) * height);
    const short edges[] = {-32768, -1, 0, 1, 32767};
    short v = 0;
    for (std::size_t i = 0; i < cells.size();) {
        const std::uint32_t kind = rng.Below(6);
        v = static_cast<short>(kind == 0   ? 0
                               : kind == 1 ? v + rng.Range(-126, 126)
                               : kind == 2 ? v + (rng.Chance(50) ? 127 : -127)
                               : kind == 3 ? rng.Range(-32768, 32767)
                               : kind == 4 ? edges[rng.Below(5)]
                                           : v + rng.Range(-2000, 2000));
        std::size_t len = rng.Chance(30) ? 1 + rng.Below(2 * width + 5) : 1 + rng.Below(4);
        for (std::size_t k = 0; k < len && i < cells.size(); ++k) cells[i++] = v;
    }
    return cells;
}

}  // namespace elv_test
