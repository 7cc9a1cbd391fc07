// A bounded least-recently-used cache of encoded tiles, keyed by map version, drawing
// options and tile. The bound counts the tile bytes and a fixed cost per entry.
// Thread-safe: one lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zumeld_serve {

struct TileKey {
    std::uint64_t version = 0;
    std::uint64_t style = 0;  // the drawing options packed into one number
    int z = 0;
    std::int64_t x = 0, y = 0;
    bool operator==(const TileKey&) const = default;
};

struct TileKeyHash {
    std::size_t operator()(const TileKey& k) const;
};

using TileBytes = std::shared_ptr<const std::string>;

class TileCache {
  public:
    // What an entry costs beyond its bytes (key, list and table nodes).
    static constexpr std::size_t kEntryCost = 160;

    explicit TileCache(std::size_t capacityBytes) : capacity_(capacityBytes) {}

    // The tile, made the most recently used; null when absent.
    TileBytes Find(const TileKey& key);
    // Stores a tile, dropping the least recently used ones beyond the bound. A tile larger
    // than the whole bound is not kept.
    void Put(const TileKey& key, TileBytes bytes);
    std::size_t SizeBytes() const;

  private:
    using Entry = std::pair<TileKey, TileBytes>;
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::list<Entry> order_;  // most recently used first
    std::unordered_map<TileKey, std::list<Entry>::iterator, TileKeyHash> index_;
    std::size_t bytes_ = 0;
};

}  // namespace zumeld_serve
