#include "tile_workers.h"

#include <utility>

#include "picture.h"
#include "tile.h"

namespace zumeld_serve {

TileWorkers::TileWorkers(int threads) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

TileWorkers::~TileWorkers() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

std::future<TileBytes> TileWorkers::Render(std::shared_ptr<const Zumeld::CCtrlElvMap> map,
                                           const zumeld_tiles::ReliefStyle& style, int z,
                                           std::int64_t x, std::int64_t y) {
    Job job{std::move(map), style, z, x, y, {}};
    std::future<TileBytes> result = job.done.get_future();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
    return result;
}

void TileWorkers::Work() {
    // This thread's own map; `source` keeps the snapshot it was copied from alive, so a
    // later snapshot can never be mistaken for it.
    Zumeld::CCtrlElvMap map;
    std::shared_ptr<const Zumeld::CCtrlElvMap> source;
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        try {
            if (job.map != source) {
                map = *job.map;
                source = job.map;
            }
            const Quobel::CControlBmp picture =
                zumeld_tiles::RenderTile(map, job.style, job.z, job.x, job.y);
            const std::vector<std::uint8_t> png = zumeld_formats::EncodePng(picture);
            job.done.set_value(std::make_shared<const std::string>(png.begin(), png.end()));
        } catch (...) {
            job.done.set_exception(std::current_exception());
        }
    }
}

}  // namespace zumeld_serve
