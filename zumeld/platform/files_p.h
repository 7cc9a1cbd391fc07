// Descriptor helpers shared by the old file calls (OpenFile, _lread, ...) and CFile.
// Internal to the platform layer. Every call works on a POSIX descriptor the caller owns,
// retries on EINTR and keeps going after short transfers.
#pragma once

#include <cstddef>

namespace Zumeld::Platform {

// The access and creation wanted from OpenDescriptor. The access values are the low bits
// shared by OF_READ/OF_WRITE/OF_READWRITE and CFile::modeRead/modeWrite/modeReadWrite.
struct OpenRequest {
    unsigned access = 0;    // 0 read, 1 write, 2 read and write; 3 is refused
    bool create = false;    // create the file when it is missing
    bool truncate = false;  // empty it when it exists (only with write access)
};

// Opens path; returns the descriptor, or -1 with the reason in errno.
// Requires: path is a NUL-terminated name. Otherwise (null path, access 3): -1, EINVAL.
// A directory is refused (EISDIR) whatever the access.
int OpenDescriptor(const char* path, const OpenRequest& request);

// Reads until n bytes have arrived or the file ends. Returns the count delivered, or -1
// when the descriptor fails before anything was delivered.
std::ptrdiff_t ReadFully(int fd, void* buf, std::size_t n);

// Writes all n bytes. Returns true when every byte was written.
bool WriteFully(int fd, const void* buf, std::size_t n);

// Test hook: after `successes` more ReadFully/WriteFully calls succeed, the next one fails
// with EIO before moving a byte (a read returns -1, a write false); the calls after it
// succeed again. A negative value turns the injection off (the default).
void SetFileFailureCountdown(long successes);

}  // namespace Zumeld::Platform
