// Shared pieces of the terrain transforms: input checks and result allocation.
#include "zumeld/elevation/Grid.h"
#include "zumeld/transform/Transforms.h"

namespace Zumeld {

bool IsUsableGrid(const GridView& src) {
    return src.cells != nullptr && src.width >= 1 && src.height >= 1 && src.stride >= src.width;
}

TransformedGrid AllocateTransformGrid(std::int64_t width, std::int64_t height) {
    TransformedGrid g;
    if (width < 1 || height < 1 || width >= kMaxGridBytes || height >= kMaxGridBytes) return g;
    const std::size_t cells = GridCellCount(static_cast<int>(width), static_cast<int>(height));
    if (cells == 0) return g;
    g.cells = SharedBlock<short>::AllocateZeroed(cells);
    g.width = static_cast<int>(width);
    g.height = static_cast<int>(height);
    return g;
}

}  // namespace Zumeld
