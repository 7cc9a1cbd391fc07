// The built-in sample map: a believable island terrain made deterministically from a seed.
#pragma once

#include <cstdint>
#include <vector>

namespace zumeld_formats {

constexpr int kSampleWidth = 1024;
constexpr int kSampleHeight = 768;

// width x height cells, row after row: an island with sea (0) all around it, about 40 % of
// the cells (more on a map too small to hold an island), coasts, valleys and peaks up to
// 3000. The same arguments always give the same cells, on every machine.
// Requires: 1 <= width, height.
std::vector<short> MakeSampleMap(int width, int height, std::uint32_t seed = 1);

}  // namespace zumeld_formats
