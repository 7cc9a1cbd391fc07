// The old file calls (OpenFile, _lread, _lwrite, _llseek, _lclose) over POSIX descriptors,
// and the descriptor helpers CFile shares with them. An HFILE is the descriptor itself.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zumeld/platform/files_p.h"
#include "zumeld/platform/win32.h"

namespace Zumeld::Platform {

int OpenDescriptor(const char* path, const OpenRequest& request) {
    if (path == nullptr || request.access > 2) {
        errno = EINVAL;
        return -1;
    }
    static constexpr int kAccess[3] = {O_RDONLY, O_WRONLY, O_RDWR};
    int flags = kAccess[request.access] | O_CLOEXEC;
    if (request.create) flags |= O_CREAT;
    // Truncation needs write access; O_TRUNC with O_RDONLY is undefined.
    if (request.truncate && request.access != 0) flags |= O_TRUNC;
    int fd;
    do {
        fd = ::open(path, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st {};
    const int err = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (err != 0) {
        ::close(fd);
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
        const ssize_t got = ::read(fd, p + done, n - done);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got == 0) {
            break;  // end of file
        } else if (errno != EINTR) {
            // Bytes already delivered stay delivered; the failure shows on the next call.
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
        const ssize_t put = ::write(fd, p + done, n - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put < 0 && errno != EINTR) {
            if (errno == EDQUOT) errno = ENOSPC;  // out of quota is out of room
            return false;
        } else if (put == 0) {
            errno = ENOSPC;  // a regular file that accepts nothing is full
            return false;
        }
    }
    return true;
}

std::int64_t SeekDescriptor(int fd, std::int64_t offset, int whence) {
    const off_t pos = ::lseek(fd, static_cast<off_t>(offset), whence);
    return pos < 0 ? -1 : static_cast<std::int64_t>(pos);
}

std::int64_t DescriptorLength(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) != 0 ? -1 : static_cast<std::int64_t>(st.st_size);
}

bool CloseDescriptor(int fd) {
    // On Linux the descriptor is released even when close reports EINTR: no retry.
    return ::close(fd) == 0 || errno == EINTR;
}

}  // namespace Zumeld::Platform

namespace {

using Zumeld::Platform::OpenDescriptor;
using Zumeld::Platform::OpenRequest;

// Windows error codes reported in OFSTRUCT::nErrCode.
WORD WindowsErrorFromErrno(int err) {
    switch (err) {
        case ENOENT:
            return 2;  // ERROR_FILE_NOT_FOUND
        case ENOTDIR:
            return 3;  // ERROR_PATH_NOT_FOUND
        case EMFILE:
        case ENFILE:
            return 4;  // ERROR_TOO_MANY_OPEN_FILES
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return 5;  // ERROR_ACCESS_DENIED
        case EEXIST:
            return 80;  // ERROR_FILE_EXISTS
        case EINVAL:
            return 87;  // ERROR_INVALID_PARAMETER
        case ENOSPC:
            return 112;  // ERROR_DISK_FULL
        case ENAMETOOLONG:
            return 206;  // ERROR_FILENAME_EXCED_RANGE
        default:
            return 31;  // ERROR_GEN_FAILURE
    }
}

// Copies name into the record's 128-byte path field, cut to fit and always terminated.
void SetReOpenPath(OFSTRUCT& of, const char* name) {
    const std::size_t cap = sizeof(of.szPathName) - 1;
    const std::size_t len = name ? std::min(std::strlen(name), cap) : 0;
    if (len > 0) std::memcpy(of.szPathName, name, len);
    of.szPathName[len] = '\0';
}

void FillReOpenBuff(OFSTRUCT* of, const char* name, int err) {
    if (of == nullptr) return;
    std::memset(of, 0, sizeof(*of));
    of->cBytes = static_cast<BYTE>(sizeof(OFSTRUCT));
    of->fFixedDisk = 1;
    of->nErrCode = err == 0 ? 0 : WindowsErrorFromErrno(err);
    // The full path when it can be resolved (the file exists), else the name as given.
    char* full = (err == 0 && name) ? ::realpath(name, nullptr) : nullptr;
    SetReOpenPath(*of, full ? full : name);
    std::free(full);
}

// OF_EXIST closes the file again; the non-error value it returns is no live descriptor,
// so an _lclose of it fails instead of closing somebody else's file.
constexpr HFILE kExistProbeResult = INT_MAX;

}  // namespace

HFILE OpenFile(LPCSTR lpFileName, OFSTRUCT* lpReOpenBuff, UINT uStyle) {
    OpenRequest request;
    request.access = uStyle & 3u;
    if (uStyle & OF_CREATE) {
        // Creating a file means writing it: a read-only create opens for reading and writing.
        request.create = true;
        request.truncate = true;
        if (request.access == 0) request.access = 2;
    }
    const int fd = OpenDescriptor(lpFileName, request);
    FillReOpenBuff(lpReOpenBuff, lpFileName, fd < 0 ? errno : 0);
    if (fd < 0) return HFILE_ERROR;
    if (uStyle & OF_EXIST) {
        ::close(fd);
        return kExistProbeResult;
    }
    return fd;
}

UINT _lread(HFILE hFile, LPVOID lpBuffer, UINT uBytes) {
    if (uBytes == 0) return 0;
    if (hFile < 0 || lpBuffer == nullptr) return static_cast<UINT>(HFILE_ERROR);
    const std::ptrdiff_t got = Zumeld::Platform::ReadFully(hFile, lpBuffer, uBytes);
    return got < 0 ? static_cast<UINT>(HFILE_ERROR) : static_cast<UINT>(got);
}

UINT _lwrite(HFILE hFile, LPCSTR lpBuffer, UINT uBytes) {
    // A write of nothing changes nothing (the file is not cut at the current position).
    if (uBytes == 0) return 0;
    if (hFile < 0 || lpBuffer == nullptr) return static_cast<UINT>(HFILE_ERROR);
    return Zumeld::Platform::WriteFully(hFile, lpBuffer, uBytes) ? uBytes
                                                                 : static_cast<UINT>(HFILE_ERROR);
}

LONG _llseek(HFILE hFile, LONG lOffset, int iOrigin) {
    static constexpr int kWhence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (hFile < 0 || iOrigin < FILE_BEGIN || iOrigin > FILE_END) return HFILE_ERROR;
    const off_t pos = ::lseek(hFile, static_cast<off_t>(lOffset), kWhence[iOrigin]);
    // A position that a LONG cannot carry is reported as a failure, not cut short.
    if (pos < 0 || pos > static_cast<off_t>(INT32_MAX)) return HFILE_ERROR;
    return static_cast<LONG>(pos);
}

HFILE _lclose(HFILE hFile) {
    if (hFile < 0) return HFILE_ERROR;
    // On Linux the descriptor is released even when close reports EINTR: no retry.
    if (::close(hFile) != 0 && errno != EINTR) return HFILE_ERROR;
    return 0;
}
