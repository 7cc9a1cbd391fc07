// The pending temporary files as the signal handlers of each platform reach them.
#pragma once

namespace zumeld_formats {

// Calls remove with the name of each pending temporary file. Async-signal-safe: plain loads
// of the table, and whatever remove does.
void ForEachPendingTemporary(void (*remove)(const char* name));

// Whether a stop signal is put off because a temporary file is being made (MakingTemporary),
// or was taken by the writer that just named its file; false: the caller acts on it now.
// Async-signal-safe.
bool DeferStop(int sig);

// Removes the pending temporary files, then ends the process as the signal does (per
// platform). From a handler the end comes once the handler returns.
void Stop(int sig);

}  // namespace zumeld_formats
