// The pending temporary files as the signal handlers of each platform reach them.
#pragma once

namespace zumeld_formats {

// Calls remove with the name of each pending temporary file. Async-signal-safe: plain loads
// of the table, and whatever remove does.
void ForEachPendingTemporary(void (*remove)(const char* name));

}  // namespace zumeld_formats
