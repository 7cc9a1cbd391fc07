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

// Held by a writer from just before it makes a temporary file until the file is named
// (PendingTemporary): a stop signal that arrives in between is acted on when the last such
// object goes, once the new file can be removed too. Thread-safe.
class MakingTemporary {
  public:
    MakingTemporary();
    ~MakingTemporary();
    MakingTemporary(const MakingTemporary&) = delete;
    MakingTemporary& operator=(const MakingTemporary&) = delete;
};

}  // namespace zumeld_formats
