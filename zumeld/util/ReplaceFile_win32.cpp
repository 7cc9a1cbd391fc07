// FileReplacement over the Windows C runtime and MoveFileExA. Transfers go through the
// platform layer's WriteFully, so the tests' file-failure hook reaches them too. Windows links
// are not followed (the move replaces the link itself); devices such as NUL are written
// straight through.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "zumeld/platform/files_p.h"
#include "zumeld/platform/win32.h"
#include "zumeld/util/ReplaceFile.h"

namespace Zumeld {

namespace {

constexpr int kMaxNameAttempts = 100;  // names already taken before giving up

// Creates a new temporary file beside `target`: ".<name>.<process>-<n>", exclusive. The
// descriptor, or -1 with errno set.
int CreateTemporary(const std::string& target, std::string& name) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = target.substr(folder.size());
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        name = folder + "." + base + "." + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(counter.fetch_add(1));
        const int fd =
            ::_open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

FileReplacement::~FileReplacement() {
    if (fd_ >= 0 && ownsFd_) ::_close(fd_);
    if (replacing_) ::_unlink(temporary_.c_str());
}

int FileReplacement::Fail(int err) {
    if (fd_ >= 0 && ownsFd_) ::_close(fd_);
    fd_ = -1;
    if (replacing_) ::_unlink(temporary_.c_str());
    replacing_ = false;
    return err;
}

int FileReplacement::Open(const char* path, const ReplaceOptions& options) {
    if (path == nullptr || *path == '\0' || fd_ >= 0) return EINVAL;
    if (options.dashIsStdout && std::strcmp(path, "-") == 0) {
        fd_ = ::_fileno(stdout);
        ::_setmode(fd_, _O_BINARY);
        return 0;
    }
    target_ = path;
    struct _stat64 st {};
    const bool exists = ::_stat64(target_.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return errno;
    if (exists) {
        if ((st.st_mode & _S_IFDIR) != 0) return EISDIR;
        if ((st.st_mode & _S_IFREG) == 0) {  // a device: written as it is
            fd_ = ::_open(target_.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
            if (fd_ < 0) return errno;
            ownsFd_ = true;
            return 0;
        }
        if ((st.st_mode & _S_IWRITE) == 0) return EACCES;  // read-only
    }
    fd_ = CreateTemporary(target_, temporary_);
    if (fd_ < 0) return errno;
    ownsFd_ = true;
    replacing_ = true;
    return 0;
}

int FileReplacement::Write(const void* data, std::size_t size) {
    if (fd_ < 0) return EBADF;
    if (size > 0 && !Platform::WriteFully(fd_, data, size)) return Fail(errno);
    return 0;
}

int FileReplacement::Commit() {
    if (fd_ < 0) return EBADF;
    if (replacing_ && ::_commit(fd_) != 0) return Fail(errno);
    if (ownsFd_ && ::_close(fd_) != 0) {
        ownsFd_ = false;
        return Fail(errno);
    }
    fd_ = -1;
    if (!replacing_) return 0;
    // One step, flushed before it returns: no folder to flush afterwards.
    if (!::MoveFileExA(temporary_.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Fail(::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO);
    replacing_ = false;
    return 0;
}

}  // namespace Zumeld
