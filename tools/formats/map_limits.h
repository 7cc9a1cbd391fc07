// The sizes the formats layer and the tool hold to, stated once. Every command's --help
// quotes kLimitsText, and the readers, writers and commands check against these constants.
#pragma once

#include <cstdint>

namespace zumeld_formats {

// A map: at most 32767 cells across and down (what an .elv file stores), and its grid
// (2 bytes a cell, with one margin column and one margin row) within 2^31 - 1 bytes. Only
// 32767 x 32767 itself is over the second bound: 32767 x 32766 is the largest map.
constexpr int kMaxGridSide = 32767;
constexpr std::int64_t kMaxGridBytes = 0x7FFFFFFF;

// A picture (render's output, an overlay picture): at most this many pixels a side.
constexpr int kMaxPictureSide = 16384;

// A heightmap file read with --fit may be larger than a map: at most this many cells a side
// (one source row is held at a time, at up to 8 bytes a cell).
constexpr std::int64_t kMaxSourceSide = 1000000;

// Whether a width x height map fits both bounds above.
constexpr bool MapCanHold(std::int64_t width, std::int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxGridSide && height <= kMaxGridSide &&
           (width + 1) * (height + 1) * 2 <= kMaxGridBytes;
}

// The limits as --help states them.
inline constexpr char kLimitsText[] =
    "limits: a map holds at most 32767 cells a side, and its grid (2 bytes a cell, with a\n"
    "margin column and row) at most 2 GiB, which rules out 32767 x 32767 itself (32767 x\n"
    "32766 is the largest); a heightmap file may be larger (up to 1000000 cells a side) when\n"
    "--fit reduces it; a picture holds at most 16384 x 16384 pixels.\n";

}  // namespace zumeld_formats
