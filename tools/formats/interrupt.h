// Temporary files removed when a signal ends the process: SIGINT (Ctrl-C), SIGTERM or SIGHUP
// would otherwise leave the half-written temporary file of an output beside it.
#pragma once

namespace zumeld_formats {

// Installs the handlers: each removes every pending temporary file, then ends the process as
// the signal does by default. A signal the process ignores (nohup) stays ignored. Call once,
// from main, before any work.
void RemoveTemporariesOnSignals();

// Names a temporary file, just made, for the handlers while the object lives: the writer
// drops it once the file is renamed into place or removed. Names past PATH_MAX, or more
// than a few files at once, go unregistered. Thread-safe; the record is the one piece of
// process-wide state of the tool, as a signal handler can reach no other.
class PendingTemporary {
  public:
    explicit PendingTemporary(const char* name);
    ~PendingTemporary();
    PendingTemporary(const PendingTemporary&) = delete;
    PendingTemporary& operator=(const PendingTemporary&) = delete;

  private:
    int slot_;  // -1: not registered
};

}  // namespace zumeld_formats
