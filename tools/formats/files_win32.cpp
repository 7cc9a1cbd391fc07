// Files on Windows: whole files read in, files read at any offset.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "error.h"
#include "files.h"
#include "zumeld/platform/win32.h"

namespace zumeld_formats {

namespace {

// At most INT_MAX bytes per call of the C runtime.
unsigned Chunk(std::size_t n) {
    return n < INT_MAX ? static_cast<unsigned>(n) : static_cast<unsigned>(INT_MAX);
}

}  // namespace

bool IsFifoOrDevice(const std::string& path) {
    struct _stat64 st {};
    return ::_stat64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFCHR;  // NUL, CON
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        // Windows will not open a folder: the same answer as elsewhere.
        struct _stat64 st {};
        const bool folder = ::_stat64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
        throw Error(path, folder ? "read error (is it a folder?)" : std::strerror(errno));
    }
    std::vector<std::uint8_t> bytes(65536);
    std::size_t done = 0;
    for (;;) {
        if (done == bytes.size()) bytes.resize(bytes.size() * 2);
        const int n = ::_read(fd, bytes.data() + done, Chunk(bytes.size() - done));
        if (n == 0) break;
        if (n < 0) {
            const int err = errno;
            ::_close(fd);
            throw Error(path, std::strerror(err));
        }
        done += static_cast<std::size_t>(n);
    }
    ::_close(fd);
    bytes.resize(done);
    return bytes;
}

ReadOnlyFile::ReadOnlyFile(const std::string& path)
    : fd_(::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT)) {
    struct _stat64 st {};
    if (fd_ >= 0 && ::_fstat64(fd_, &st) == 0 && (st.st_mode & _S_IFREG) != 0) {
        size_ = static_cast<std::uint64_t>(st.st_size);
        return;
    }
    const std::string why = fd_ < 0 ? std::strerror(errno) : "not a file";
    if (fd_ >= 0) ::_close(fd_);
    throw Error(path, why);
}

ReadOnlyFile::~ReadOnlyFile() {
    ::_close(fd_);
}

// The C runtime has no positioned read: seek, then read (a file is read by one thread).
bool ReadOnlyFile::ReadAt(void* buf, std::size_t n, std::uint64_t pos) const {
    if (pos > static_cast<std::uint64_t>(INT64_MAX) ||
        ::_lseeki64(fd_, static_cast<__int64>(pos), SEEK_SET) < 0)
        return false;
    std::size_t got = 0;
    while (got < n) {
        const std::size_t left = n - got;
        const int k = ::_read(fd_, static_cast<char*>(buf) + got,
                              left < INT_MAX ? unsigned(left) : unsigned(INT_MAX));
        if (k <= 0) return false;
        got += static_cast<std::size_t>(k);
    }
    return true;
}

}  // namespace zumeld_formats
