// Files on POSIX: whole files read in, files read at any offset.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "error.h"
#include "files.h"

namespace zumeld_formats {

bool IsFifoOrDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 &&
           (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Error(path, std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw Error(path, "read error (is it a folder?)");
    }
    // Read straight into a block of the file's size; a file that grows meanwhile is read on.
    std::vector<std::uint8_t> bytes;
    bytes.resize(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 65536);
    std::size_t done = 0;
    std::uint8_t probe[4096];  // past the expected end: is there more?
    for (;;) {
        const bool full = done == bytes.size();
        const ssize_t n = full ? ::read(fd, probe, sizeof probe)
                               : ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            throw Error(path, err == EISDIR ? "read error (is it a folder?)" : std::strerror(err));
        }
        if (full) {  // the file grew: take the probe and make room for more
            bytes.resize(bytes.size() * 2);
            std::memcpy(bytes.data() + done, probe, static_cast<std::size_t>(n));
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    return bytes;
}

ReadOnlyFile::ReadOnlyFile(const std::string& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat st {};
    if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
        size_ = static_cast<std::uint64_t>(st.st_size);
        return;
    }
    const std::string why = fd_ < 0               ? std::strerror(errno)
                            : S_ISDIR(st.st_mode) ? "is a folder, not a file"
                                                  : "not a file";
    if (fd_ >= 0) ::close(fd_);
    throw Error(path, why);
}

ReadOnlyFile::~ReadOnlyFile() {
    ::close(fd_);
}

bool ReadOnlyFile::ReadAt(void* buf, std::size_t n, std::uint64_t pos) const {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t k =
            ::pread(fd_, static_cast<char*>(buf) + got, n - got, static_cast<off_t>(pos + got));
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        got += static_cast<std::size_t>(k);
    }
    return true;
}

}  // namespace zumeld_formats
