// FileReplacement over POSIX calls. Transfers go through the platform layer's
// WriteFully, so the tests' file-failure hook reaches them as it reaches every file call.
#include "zumeld/util/ReplaceFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "zumeld/platform/files_p.h"

namespace Zumeld {

namespace {

constexpr int kMaxLinkHops = 40;       // as the kernel's own limit for a path
constexpr int kMaxNameAttempts = 100;  // names already taken before giving up

// The folder part of a path ("." for a bare name) and the name part.
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows `path` through symlinks to the name the content belongs at, which may not exist
// yet (a link to a file still to be made). 0, or an errno value.
int ResolveLinks(std::string& path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? 0 : errno;
        if (!S_ISLNK(st.st_mode)) return 0;
        char link[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), link, sizeof link - 1);
        if (n < 0) return errno;
        link[n] = '\0';
        path = link[0] == '/' ? std::string(link) : FolderOf(path) + "/" + link;
    }
    return ELOOP;
}

// Six characters for a temporary name, random where the system gives randomness.
std::string NameSuffix() {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != sizeof bits)
        bits = (static_cast<std::uint64_t>(::getpid()) << 32) ^ counter.fetch_add(0x9E3779B9);
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s(6, 'a');
    for (char& c : s) {
        c = kAlphabet[bits % 36];
        bits /= 36;
    }
    return s;
}

// Creates a new temporary file beside `target`: ".<name>.<suffix>", exclusive, no
// symlink followed. The descriptor, or -1 with errno set.
int CreateTemporary(const std::string& target, mode_t mode, std::string& name) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = target.substr(folder.size());
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        name = folder + "." + base + "." + NameSuffix();
        const int fd =
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Flushes the folder's entry list, so that the rename survives a crash. Folders that cannot
// be flushed (EINVAL: the file system does not support it) are left as they are.
int SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int err = ::fsync(fd) != 0 && errno != EINVAL ? errno : 0;
    ::close(fd);
    return err;
}

}  // namespace

FileReplacement::~FileReplacement() {
    if (fd_ >= 0 && ownsFd_) ::close(fd_);
    if (replacing_) ::unlink(temporary_.c_str());
}

int FileReplacement::Fail(int err) {
    if (fd_ >= 0 && ownsFd_) ::close(fd_);
    fd_ = -1;
    if (replacing_) ::unlink(temporary_.c_str());
    replacing_ = false;
    return err;
}

int FileReplacement::Open(const char* path, const ReplaceOptions& options) {
    if (path == nullptr || *path == '\0' || fd_ >= 0) return EINVAL;
    if (options.dashIsStdout && std::strcmp(path, "-") == 0) {
        fd_ = STDOUT_FILENO;
        return 0;
    }
    target_ = path;
    if (const int err = ResolveLinks(target_)) return err;
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return errno;
    if (exists) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) {  // a FIFO or a device: written as it is
            fd_ = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
            if (fd_ < 0) return errno;
            ownsFd_ = true;
            return 0;
        }
        if ((st.st_mode & 0222) == 0) return EACCES;  // read-only, even for root
        if (::access(target_.c_str(), W_OK) != 0) return errno;
    }
    // Everything that allocates comes first: once the temporary file exists, nothing throws
    // before it is renamed or removed.
    folder_ = FolderOf(target_);
    // A new file gets the default mode (0666 less the umask); a replaced one its own mode.
    fd_ = CreateTemporary(target_, exists ? 0600 : 0666, temporary_);
    if (fd_ < 0) return errno;
    ownsFd_ = true;
    replacing_ = true;
    if (exists && ::fchmod(fd_, st.st_mode & 07777) != 0) return Fail(errno);
    return 0;
}

int FileReplacement::Write(const void* data, std::size_t size) {
    if (fd_ < 0) return EBADF;
    if (size > 0 && !Platform::WriteFully(fd_, data, size)) return Fail(errno);
    return 0;
}

int FileReplacement::Commit() {
    if (fd_ < 0) return EBADF;
    if (replacing_ && ::fsync(fd_) != 0) return Fail(errno);
    if (ownsFd_ && ::close(fd_) != 0) {
        ownsFd_ = false;
        return Fail(errno);
    }
    fd_ = -1;
    if (!replacing_) return 0;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) return Fail(errno);
    replacing_ = false;
    return SyncFolder(folder_);
}

}  // namespace Zumeld
