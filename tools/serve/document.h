// The map a server shows and edits, with its version and a bounded undo history. One lock
// guards the state; a request takes a snapshot (a map copy sharing the grid) under it and
// works without it. Edits run one at a time on a copy of the current map, outside the
// lock, and are installed under it, so a snapshot is never changed once taken.
// Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "tile.h"
#include "zumeld/zumeld.h"

namespace zumeld_serve {

using zumeld_tiles::MapFacts;

// One state of the map. A version names a state: undo brings back the version the state
// had, and every new state gets a number never used before.
struct Snapshot {
    std::shared_ptr<const Zumeld::CCtrlElvMap> map;
    std::uint64_t version = 0;
    MapFacts facts;
    bool canUndo = false;
    bool canRedo = false;
};

class Document {
  public:
    // The map starts as version firstVersion. The history keeps at most historyStates
    // earlier states, and drops the oldest while the grids it holds exceed historyBytes
    // (the current map is always kept).
    Document(const Zumeld::CCtrlElvMap& map, std::uint64_t firstVersion, std::size_t historyStates,
             std::uint64_t historyBytes);

    Snapshot Current() const;
    // Runs edit on a copy of the current map and makes the result current (undoable).
    // Whatever edit throws propagates and leaves the document as it was.
    Snapshot Apply(const std::function<void(Zumeld::CCtrlElvMap&)>& edit);
    // Undo and redo; false when there is nothing to undo or redo.
    bool Undo(Snapshot& now);
    bool Redo(Snapshot& now);

  private:
    struct State {
        std::shared_ptr<const Zumeld::CCtrlElvMap> map;
        std::uint64_t version = 0;
        MapFacts facts;
    };
    Snapshot SnapshotLocked() const;
    void TrimLocked();

    const std::size_t historyStates_;
    const std::uint64_t historyBytes_;
    std::mutex editMutex_;      // one edit at a time; held while an edit works, without mutex_
    mutable std::mutex mutex_;  // guards everything below
    State current_;
    std::deque<State> undo_, redo_;  // oldest first
    std::uint64_t lastVersion_ = 0;
};

}  // namespace zumeld_serve
