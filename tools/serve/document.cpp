#include "document.h"

#include <algorithm>
#include <utility>

#include "tile.h"

namespace zumeld_serve {

namespace {

// Bytes of the grid a state holds.
std::uint64_t GridBytes(const Zumeld::CCtrlElvMap& map) {
    return map.m_pElevation ? static_cast<std::uint64_t>(map.m_nBufferWidth) *
                                  static_cast<std::uint64_t>(map.m_nBufferHeight) * 2
                            : 0;
}

}  // namespace

Document::Document(const Zumeld::CCtrlElvMap& map, std::uint64_t firstVersion,
                   std::size_t historyStates, std::uint64_t historyBytes)
    : historyStates_(historyStates), historyBytes_(historyBytes), lastVersion_(firstVersion) {
    current_ = {std::make_shared<const Zumeld::CCtrlElvMap>(map), firstVersion,
                zumeld_tiles::FactsOf(map)};
}

Snapshot Document::SnapshotLocked() const {
    return {current_.map, current_.version, current_.facts, !undo_.empty(), !redo_.empty()};
}

Snapshot Document::Current() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return SnapshotLocked();
}

Snapshot Document::Apply(const std::function<void(Zumeld::CCtrlElvMap&)>& edit) {
    std::lock_guard<std::mutex> editing(editMutex_);
    const Snapshot before = Current();
    auto next = std::make_shared<Zumeld::CCtrlElvMap>(*before.map);  // shares the grid
    edit(*next);
    const MapFacts facts = zumeld_tiles::FactsOf(*next);
    std::lock_guard<std::mutex> lock(mutex_);
    undo_.push_back(std::move(current_));
    redo_.clear();
    current_ = {std::move(next), ++lastVersion_, facts};
    TrimLocked();
    return SnapshotLocked();
}

bool Document::Undo(Snapshot& now) {
    std::lock_guard<std::mutex> editing(editMutex_);
    std::lock_guard<std::mutex> lock(mutex_);
    if (undo_.empty()) return false;
    redo_.push_front(std::move(current_));
    current_ = std::move(undo_.back());
    undo_.pop_back();
    now = SnapshotLocked();
    return true;
}

bool Document::Redo(Snapshot& now) {
    std::lock_guard<std::mutex> editing(editMutex_);
    std::lock_guard<std::mutex> lock(mutex_);
    if (redo_.empty()) return false;
    undo_.push_back(std::move(current_));
    current_ = std::move(redo_.front());
    redo_.pop_front();
    now = SnapshotLocked();
    return true;
}

void Document::TrimLocked() {
    const auto bytes = [&] {
        std::uint64_t total = 0;
        for (const auto* states : {&undo_, &redo_})
            for (const State& s : *states) total += GridBytes(*s.map);
        return total;
    };
    while (!undo_.empty() &&
           (undo_.size() + redo_.size() > historyStates_ || bytes() > historyBytes_))
        undo_.pop_front();
}

}  // namespace zumeld_serve
