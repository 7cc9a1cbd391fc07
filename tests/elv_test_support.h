// Helpers of the elevation-file tests: a map stored to and loaded from memory through the
// archive, and its map cells without the margin.
#pragma once

#include <cstdint>
#include <vector>

#include "zumeld/zumeld.h"

namespace elv_test {

using Bytes = std::vector<std::uint8_t>;

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

}  // namespace elv_test
