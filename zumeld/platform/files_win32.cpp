// The descriptor helpers CFile stands on, over the Windows C runtime's descriptors in binary
// mode. (The old file calls OpenFile, _lread, ... are the system's own on Windows.)

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "zumeld/platform/files_p.h"

namespace Zumeld::Platform {

namespace {

// The runtime moves at most INT_MAX bytes per call.
constexpr std::size_t kMaxChunk = INT_MAX;

}  // namespace

int OpenDescriptor(const char* path, const OpenRequest& request) {
    if (path == nullptr || request.access > 2) {
        errno = EINVAL;
        return -1;
    }
    static constexpr int kAccess[3] = {_O_RDONLY, _O_WRONLY, _O_RDWR};
    int flags = kAccess[request.access] | _O_BINARY | _O_NOINHERIT;
    if (request.create) flags |= _O_CREAT;
    if (request.truncate && request.access != 0) flags |= _O_TRUNC;
    const int fd = ::_open(path, flags, _S_IREAD | _S_IWRITE);
    if (fd < 0) return -1;
    struct _stat64 st {};
    const int err = ::_fstat64(fd, &st) != 0 ? errno : (st.st_mode & _S_IFDIR) ? EISDIR : 0;
    if (err != 0) {
        ::_close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

std::ptrdiff_t ReadFully(int fd, void* buf, std::size_t n) {
    if (!TransferAllowed()) return -1;
    auto* p = static_cast<unsigned char*>(buf);
    std::size_t done = 0;
    while (done < n) {
        const std::size_t want = n - done < kMaxChunk ? n - done : kMaxChunk;
        const int got = ::_read(fd, p + done, static_cast<unsigned>(want));
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got == 0) {
            break;  // end of file
        } else if (errno != EINTR) {
            return done > 0 ? static_cast<std::ptrdiff_t>(done) : -1;
        }
    }
    return static_cast<std::ptrdiff_t>(done);
}

bool WriteFully(int fd, const void* buf, std::size_t n) {
    if (!TransferAllowed()) return false;
    const auto* p = static_cast<const unsigned char*>(buf);
    std::size_t done = 0;
    while (done < n) {
        const std::size_t want = n - done < kMaxChunk ? n - done : kMaxChunk;
        const int put = ::_write(fd, p + done, static_cast<unsigned>(want));
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put < 0 && errno != EINTR) {
            return false;
        } else if (put == 0) {
            errno = ENOSPC;
            return false;
        }
    }
    return true;
}

std::int64_t SeekDescriptor(int fd, std::int64_t offset, int whence) {
    const __int64 pos = ::_lseeki64(fd, offset, whence);
    return pos < 0 ? -1 : static_cast<std::int64_t>(pos);
}

std::int64_t DescriptorLength(int fd) {
    struct _stat64 st {};
    return ::_fstat64(fd, &st) != 0 ? -1 : static_cast<std::int64_t>(st.st_size);
}

bool CloseDescriptor(int fd) {
    return ::_close(fd) == 0;
}

}  // namespace Zumeld::Platform
