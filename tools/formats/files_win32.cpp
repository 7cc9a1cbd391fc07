// Files on Windows: whole files read in.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
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

}  // namespace zumeld_formats
