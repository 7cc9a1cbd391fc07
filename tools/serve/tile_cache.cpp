#include "tile_cache.h"

namespace zumeld_serve {

std::size_t TileKeyHash::operator()(const TileKey& k) const {
    // 64-bit mix of the fields (splitmix64 finaliser over a running combination).
    std::uint64_t h = k.version;
    for (std::uint64_t v : {k.style, static_cast<std::uint64_t>(k.z),
                            static_cast<std::uint64_t>(k.x), static_cast<std::uint64_t>(k.y)}) {
        h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
        h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
        h ^= h >> 31;
    }
    return static_cast<std::size_t>(h);
}

TileBytes TileCache::Find(const TileKey& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = index_.find(key);
    if (it == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second);
    return it->second->second;
}

void TileCache::Put(const TileKey& key, TileBytes bytes) {
    const std::size_t cost = bytes->size() + kEntryCost;
    if (cost > capacity_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto it = index_.find(key); it != index_.end()) {
        bytes_ -= it->second->second->size() + kEntryCost;
        order_.erase(it->second);
        index_.erase(it);
    }
    while (!order_.empty() && bytes_ + cost > capacity_) {
        bytes_ -= order_.back().second->size() + kEntryCost;
        index_.erase(order_.back().first);
        order_.pop_back();
    }
    order_.emplace_front(key, std::move(bytes));
    index_.emplace(key, order_.begin());
    bytes_ += cost;
}

std::size_t TileCache::SizeBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

}  // namespace zumeld_serve
