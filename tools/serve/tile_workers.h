// The threads that draw and encode tiles: one per core by default, each with its own map
// object, which it copies from a job's snapshot (sharing the grid: no cells are copied)
// when the snapshot changes. Thread-safe.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "style.h"
#include "tile_cache.h"

namespace zumeld_serve {

class TileWorkers {
  public:
    // Requires: threads >= 1.
    explicit TileWorkers(int threads);
    // Finishes the jobs already queued, then joins the threads.
    ~TileWorkers();
    TileWorkers(const TileWorkers&) = delete;
    TileWorkers& operator=(const TileWorkers&) = delete;

    // Queues tile (z, x, y) of map in the style; the future gets its PNG bytes, or the
    // exception drawing or encoding threw.
    std::future<TileBytes> Render(std::shared_ptr<const Zumeld::CCtrlElvMap> map,
                                  const zumeld_tiles::ReliefStyle& style, int z, std::int64_t x,
                                  std::int64_t y);

  private:
    struct Job {
        std::shared_ptr<const Zumeld::CCtrlElvMap> map;
        zumeld_tiles::ReliefStyle style;
        int z = 0;
        std::int64_t x = 0, y = 0;
        std::promise<TileBytes> done;
    };
    void Work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace zumeld_serve
