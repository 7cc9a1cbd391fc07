// Files on POSIX: whole files read in.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "error.h"
#include "files.h"

namespace zumeld_formats {

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

}  // namespace zumeld_formats
