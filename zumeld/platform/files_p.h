// Descriptor helpers shared by the old file calls (OpenFile, _lread, ...) and CFile.
// Internal to the platform layer. Every call works on a C runtime descriptor the caller owns
// (POSIX, or the Windows C runtime's in binary mode: files.cpp, files_win32.cpp), retries on
// EINTR and keeps going after short transfers. Failures leave the reason in errno.
#pragma once

#include <cstddef>
#include <cstdint>

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

// Writes all n bytes. Returns true when every byte was written (a full disk or quota: ENOSPC).
bool WriteFully(int fd, const void* buf, std::size_t n);

// Moves the position (whence SEEK_SET, SEEK_CUR or SEEK_END); returns it, or -1.
std::int64_t SeekDescriptor(int fd, std::int64_t offset, int whence);

// The file's length in bytes, or -1.
std::int64_t DescriptorLength(int fd);

// Closes the descriptor; false when the system reports a failure (the descriptor is gone
// either way).
bool CloseDescriptor(int fd);

// Test hook: after `successes` more ReadFully/WriteFully calls succeed, the next one fails
// with EIO before moving a byte (a read returns -1, a write false); the calls after it
// succeed again. A negative value turns the injection off (the default).
void SetFileFailureCountdown(long successes);

// The hook's gate, asked once by each ReadFully and WriteFully: false (errno EIO) when this
// transfer is the one to fail.
bool TransferAllowed();

}  // namespace Zumeld::Platform
