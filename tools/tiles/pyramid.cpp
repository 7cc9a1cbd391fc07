#include "pyramid.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "picture.h"
#include "tile.h"

namespace zumeld_tiles {

std::vector<PyramidLevel> PyramidLevels(int width, int height, int minZoom, int maxZoom) {
    std::vector<PyramidLevel> levels;
    for (int z = minZoom; z <= maxZoom; ++z) {
        PyramidLevel level{z, 0, 0};
        // The tiles starting on the map, less a last one with no whole pixel on it.
        const std::int64_t cells = TileCells(BaseZoom(width, height), z);
        level.columns = (width + cells - 1) / cells;
        level.rows = (height + cells - 1) / cells;
        if (PlanTile(width, height, z, level.columns - 1, 0).fit == TileFit::kOutside)
            --level.columns;
        if (PlanTile(width, height, z, 0, level.rows - 1).fit == TileFit::kOutside) --level.rows;
        levels.push_back(level);
    }
    return levels;
}

std::uint64_t PyramidTileCount(const std::vector<PyramidLevel>& levels) {
    std::uint64_t n = 0;
    for (const PyramidLevel& l : levels) n += static_cast<std::uint64_t>(l.columns * l.rows);
    return n;
}

namespace {

struct TileAt {
    int z = 0;
    std::int64_t x = 0, y = 0;
};

// Tile number i of the pyramid, counted zoom by zoom, row by row, left to right.
TileAt Locate(const std::vector<PyramidLevel>& levels, std::uint64_t i) {
    for (const PyramidLevel& l : levels) {
        const auto n = static_cast<std::uint64_t>(l.columns * l.rows);
        if (i < n) {
            const auto j = static_cast<std::int64_t>(i);
            return {l.z, j % l.columns, j / l.columns};
        }
        i -= n;
    }
    return {};
}

// The work shared by the workers and the writer, under one lock. Tile i waits in slot
// i % slots.size() until the writer takes it; a worker claims tile i only once the writer
// has taken tile i - slots.size(), which bounds the tiles held.
class Work {
  public:
    Work(const std::vector<PyramidLevel>& levels, std::size_t window)
        : levels_(levels), total_(PyramidTileCount(levels)), slots_(window) {}

    // A worker's loop: draws and encodes tiles on its own map until none is left.
    void Draw(Zumeld::CCtrlElvMap& map, const ReliefStyle& style) {
        for (;;) {
            std::uint64_t i = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                toWorkers_.wait(lock, [&] {
                    return quit_ || next_ >= total_ || next_ < taken_ + slots_.size();
                });
                if (quit_ || next_ >= total_) return;
                i = next_++;
            }
            try {
                const TileAt t = Locate(levels_, i);
                std::vector<std::uint8_t> png =
                    zumeld_formats::EncodePng(RenderTile(map, style, t.z, t.x, t.y));
                std::lock_guard<std::mutex> lock(mutex_);
                slots_[i % slots_.size()] = std::move(png);
            } catch (...) {
                Quit(std::current_exception());
                return;
            }
            toWriter_.notify_one();
        }
    }

    // The writer's loop, on the calling thread. False when stop ended it.
    bool Write(const TileWriter& write, const std::function<bool()>& stop) {
        for (std::uint64_t i = 0; i < total_; ++i) {
            if (stop && stop()) return false;
            std::vector<std::uint8_t> png;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                std::optional<std::vector<std::uint8_t>>& slot = slots_[i % slots_.size()];
                toWriter_.wait(lock, [&] { return error_ || slot.has_value(); });
                if (error_) return false;
                png = std::move(*slot);
                slot.reset();
                ++taken_;
            }
            toWorkers_.notify_all();
            const TileAt t = Locate(levels_, i);
            write(t.z, t.x, t.y, png);
        }
        return true;
    }

    // Ends the workers' loops; the first error is kept for Rethrow.
    void Quit(std::exception_ptr error = nullptr) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
            if (!error_) error_ = error;
        }
        toWorkers_.notify_all();
        toWriter_.notify_all();
    }
    void Rethrow() const {
        if (error_) std::rethrow_exception(error_);
    }

  private:
    const std::vector<PyramidLevel>& levels_;
    const std::uint64_t total_;
    std::mutex mutex_;
    std::condition_variable toWorkers_, toWriter_;
    std::uint64_t next_ = 0;   // the next tile to claim
    std::uint64_t taken_ = 0;  // the tiles the writer has taken
    std::vector<std::optional<std::vector<std::uint8_t>>> slots_;
    std::exception_ptr error_;
    bool quit_ = false;
};

// The workers, stopped and joined when the object goes, however the writer ends.
class Workers {
  public:
    Workers(Work& work, const Zumeld::CCtrlElvMap& map, const ReliefStyle& style, int threads)
        : work_(work), maps_(static_cast<std::size_t>(threads), map) {
        try {
            for (Zumeld::CCtrlElvMap& own : maps_)
                threads_.emplace_back([this, &own, style] { work_.Draw(own, style); });
        } catch (...) {  // no thread to be had: the ones started are joined
            Stop();
            throw;
        }
    }
    ~Workers() { Stop(); }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

  private:
    void Stop() {
        work_.Quit();
        for (std::thread& t : threads_) t.join();
    }
    Work& work_;
    std::vector<Zumeld::CCtrlElvMap> maps_;  // one a thread; copies share the grid
    std::vector<std::thread> threads_;
};

}  // namespace

bool MakePyramid(const Zumeld::CCtrlElvMap& map, const ReliefStyle& style,
                 const std::vector<PyramidLevel>& levels, int threads, const TileWriter& write,
                 const std::function<bool()>& stop) {
    threads = std::max(threads, 1);
    Work work(levels, 4 * static_cast<std::size_t>(threads));
    bool done = false;
    {
        Workers workers(work, map, style, threads);
        done = work.Write(write, stop);
    }
    work.Rethrow();
    return done;
}

}  // namespace zumeld_tiles
