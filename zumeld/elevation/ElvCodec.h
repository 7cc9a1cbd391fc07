// The code streams of the elevation file and the grey mapping of its compressed record, as
// pure functions over plain buffers. Cells are signed 16-bit elevations; a grid is given by
// a pointer to its first cell, its row stride in cells (>= width) and its width and height.
// The caller owns every buffer. No state; safe to call from any thread on separate buffers.
//
// Code stream (one sequence over the cells row by row, carried across row ends; prev starts
// at 0 and holds the last cell decoded). One byte b read as signed 8 bits:
//   -126..126  one cell prev + b (16-bit wrap-around)
//   0x7F       one cell: the next two bytes, signed 16-bit little-endian
//   0x81       run: the next two bytes, unsigned 16-bit count k; k cells equal to prev
//   0x80       run: the next four bytes, 32-bit count k read as signed; k < 0 writes nothing
// Sea-run streams (read only) differ in two ways: a run writes k cells of 0 and makes prev 0;
// a one-cell code that yields 0 stores 1 instead (land is never 0 there).
#pragma once

#include <cstddef>
#include <cstdint>

namespace Zumeld {

enum class ElvStream {
    kSeaRuns = 1,   // encoding 1: runs are sea, single cells are land
    kDeltaRun = 2,  // encoding 2: delta and run
};

// Bytes the encoder may need for `cells` cells: 3 per cell plus one flush.
constexpr std::uint64_t ElvEncodeBound(std::uint64_t cells) {
    return cells * 3 + 5;
}

// Codes width x height cells (rows `stride` cells apart) as a delta-and-run stream into out.
// Returns the number of bytes written.
// Requires: 0 <= width <= stride (when height > 0); cells holds the grid; outSize >=
// ElvEncodeBound(width * height).
// Otherwise: writes nothing and returns 0.
std::size_t EncodeElvStream(const short* cells, std::ptrdiff_t stride, int width, int height,
                            std::uint8_t* out, std::size_t outSize);

// Decodes a code stream of `size` bytes into the width x height map cells of a grid whose rows
// are `stride` cells apart. Every map cell is written: the cells the stream supplies, then 0
// for every cell after the point where the stream ends (or where a code is cut short). Cells
// beyond the map (the margin) are never written; codes after the map is full are ignored.
// Nothing is read outside [data, data + size). Returns the number of cells the stream supplied.
// Requires: 0 <= width <= stride (when height > 0); grid holds the rows.
// Otherwise: writes nothing and returns 0.
std::uint64_t DecodeElvStream(const std::uint8_t* data, std::size_t size, ElvStream kind,
                              short* grid, std::ptrdiff_t stride, int width, int height);

// The number of cells a code stream supplies toward a map of `cells` cells: what
// DecodeElvStream returns for it, found without writing a grid. Nothing is read outside
// [data, data + size).
std::uint64_t CountElvStreamCells(const std::uint8_t* data, std::size_t size, std::uint64_t cells);

// ---- Grey mapping of the compressed record (M = the record's maximum elevation) -------------
// Writing: g = (e * 256) / (M + 1), truncated. A negative e (no grey level of its own) gives 0.
// Requires: e <= M. Otherwise: clamped to 255.
constexpr std::uint8_t ElevationToGrey(short e, short maxElevation) {
    if (e <= 0 || maxElevation < 0) return 0;
    int g = e * 256 / (maxElevation + 1);
    return static_cast<std::uint8_t>(g > 255 ? 255 : g);
}
// Reading: e = (g * M) / 255, truncated. A negative maximum (never written) reads as 0.
constexpr short GreyToElevation(std::uint8_t g, short maxElevation) {
    return maxElevation <= 0 ? 0 : static_cast<short>(g * maxElevation / 255);
}

// The largest of width x height cells (rows `stride` apart), or 0 when none is above 0.
// Requires: 0 <= width <= stride; cells holds the rows. Otherwise: 0.
short MaxElevationAboveSea(const short* cells, std::ptrdiff_t stride, int width, int height);

// Writes the grey level of each of width x height cells into an 8-bit picture whose top row
// starts at topRow, rows pictureStride bytes apart (negative for a bottom-up picture).
// Requires: as above, and the picture holds width x height pixels. Otherwise: writes nothing.
void ElevationsToGrey(const short* cells, std::ptrdiff_t stride, int width, int height,
                      short maxElevation, std::uint8_t* topRow, std::ptrdiff_t pictureStride);
// The reverse: each pixel's grey level back to an elevation in the cells.
// Requires: as above. Otherwise: writes nothing.
void GreyToElevations(const std::uint8_t* topRow, std::ptrdiff_t pictureStride, int width,
                      int height, short maxElevation, short* cells, std::ptrdiff_t stride);

}  // namespace Zumeld
