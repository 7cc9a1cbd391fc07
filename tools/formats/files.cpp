#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "error.h"

namespace zumeld_formats {

AtomicFile::AtomicFile(const std::string& path) : m_path(path), m_temp(path + ".tmpXXXXXX") {
    m_fd = ::mkstemp(m_temp.data());
    if (m_fd < 0) throw Error(path, std::strerror(errno));
}

AtomicFile::~AtomicFile() {
    if (m_fd < 0) return;
    ::close(m_fd);
    ::unlink(m_temp.c_str());
}

void AtomicFile::Fail(int err) {
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_temp.c_str());
    throw Error(m_path, std::strerror(err));
}

void AtomicFile::Write(const void* data, std::size_t n) {
    if (m_fd < 0) throw Error(m_path, "already closed");
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (n > 0) {
        const ssize_t done = ::write(m_fd, p, n);
        if (done < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        }
        p += done;
        n -= static_cast<std::size_t>(done);
    }
}

void AtomicFile::Commit() {
    if (m_fd < 0) throw Error(m_path, "already closed");
    if (::fchmod(m_fd, 0644) != 0 || ::fsync(m_fd) != 0) Fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 || std::rename(m_temp.c_str(), m_path.c_str()) != 0) {
        const int err = errno;
        ::unlink(m_temp.c_str());
        throw Error(m_path, std::strerror(err));
    }
}

void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    AtomicFile file(path);
    file.Write(bytes.data(), bytes.size());
    file.Commit();
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
    for (;;) {
        if (done == bytes.size()) bytes.resize(bytes.size() * 2);
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            throw Error(path, err == EISDIR ? "read error (is it a folder?)" : std::strerror(err));
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    return bytes;
}

}  // namespace zumeld_formats
