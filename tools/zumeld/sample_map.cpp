#include "sample_map.h"

namespace zumeld_cli {

std::vector<short> MakeSampleMap(int width, int height, std::uint32_t) {
    return std::vector<short>(static_cast<std::size_t>(width) * height, 0);
}

}  // namespace zumeld_cli
