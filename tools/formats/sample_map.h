// The built-in sample map: a believable island terrain made deterministically from a seed.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace zumeld_formats {

constexpr int kSampleWidth = 1024;
constexpr int kSampleHeight = 768;

// width x height cells, row after row: an island with sea (0) all around it, about 40 % of
// the cells (more on a map too small to hold an island), coasts, valleys and peaks up to
// 3000. The same arguments always give the same cells, on every machine.
// The rows are made on the library's threads (Zumeld::SetThreadCount), the same cells for
// every count; `progress` (when set) hears of the rows done, from any of them.
// Requires: 1 <= width, height.
std::vector<short> MakeSampleMap(
    int width, int height, std::uint32_t seed = 1,
    const std::function<void(std::uint64_t done, std::uint64_t total)>& progress = {});

}  // namespace zumeld_formats
