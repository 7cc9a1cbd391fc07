// MBTiles 1.3 out: a SQLite database of tiles (the `map` + `images` layout, with the view
// `tiles` that readers query), written through a temporary file beside the target and
// renamed into place by Commit, so that a failure, or a writer dropped before Commit,
// leaves no file at the target (an existing one stays as it was). Tiles go in in
// transactions of many; identical tiles are stored once. Not thread-safe: one writer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zumeld_formats {

class MbtilesWriter {
  public:
    // Creates the temporary database. Throws Error for a target that is a folder, a FIFO
    // or a device, a read-only file, or a folder that cannot be written.
    explicit MbtilesWriter(const std::string& path);
    ~MbtilesWriter();
    MbtilesWriter(const MbtilesWriter&) = delete;
    MbtilesWriter& operator=(const MbtilesWriter&) = delete;

    // A row of the metadata table. Requires: each name once.
    void SetMetadata(const std::string& name, const std::string& value);
    // Tile (z, x, y), y counted down from the top as the tile pyramid counts it (the row is
    // stored bottom-up, as MBTiles counts rows: tile_row = 2^z - 1 - y).
    // Requires: 0 <= z <= 30; 0 <= x, y < 2^z; each tile once.
    void AddTile(int z, std::int64_t x, std::int64_t y, const std::vector<std::uint8_t>& bytes);
    // Ends the last transaction, closes the database and renames it into place.
    void Commit();

    // Tiles added, and the distinct ones stored.
    std::uint64_t Tiles() const;
    std::uint64_t Images() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The MBTiles row of tile row y at zoom z of a pyramid counted from the top.
constexpr std::int64_t TmsRow(int z, std::int64_t y) {
    return (std::int64_t{1} << z) - 1 - y;
}

}  // namespace zumeld_formats
