// tagHorzLine: one horizontal run of pixels in display coordinates, both ends inclusive.
// Lists of them run in non-decreasing row order.
#pragma once

namespace Zumeld {

struct tagHorzLine {
    short y;
    short left;
    short right;
};
static_assert(sizeof(tagHorzLine) == 6);

}  // namespace Zumeld
