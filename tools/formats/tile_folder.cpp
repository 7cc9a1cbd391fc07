#include "tile_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "error.h"

namespace zumeld_formats {

namespace {

// The name as given, less trailing slashes ("out/" is the folder "out").
std::string Trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsEmptyFolder(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return false;
    int entries = 0;
    while (const dirent* e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++entries;
    ::closedir(dir);
    return entries == 0;
}

// Writes the whole file; 0 or the errno value of the failure.
int WriteNewFile(const std::string& name, const void* data, std::size_t size) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            ::close(fd);
            return err;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 ? 0 : errno;
}

}  // namespace

TileFolder::TileFolder(std::string path) : path_(Trimmed(std::move(path))) {
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            throw UsageError(path_,
                             "is not a folder (a folder of tiles is written; a name "
                             "ending in .mbtiles writes an MBTiles file)");
        if (!IsEmptyFolder(path_))
            throw UsageError(path_,
                             "the folder is not empty (tiles writes a new folder: remove "
                             "it or name another)");
    }
    const std::size_t slash = path_.rfind('/');
    const std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::string name = path_.substr(0, path_.size() - base.size()) + "." + base + ".XXXXXX";
    if (!::mkdtemp(name.data())) throw Error(path_, std::strerror(errno));
    temporary_ = name;
    // mkdtemp makes a private folder; the published one gets the usual mode (0777 less the
    // umask, read without changing it for long: no other thread makes files meanwhile).
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::chmod(temporary_.c_str(), 0777 & ~mask) != 0) throw Error(path_, std::strerror(errno));
}

TileFolder::~TileFolder() {
    if (committed_) return;
    std::error_code ignored;
    std::filesystem::remove_all(temporary_, ignored);
}

void TileFolder::MakeFolder(const std::string& relative) {
    if (::mkdir((temporary_ + "/" + relative).c_str(), 0777) != 0 && errno != EEXIST)
        throw Error(path_ + "/" + relative, std::strerror(errno));
}

void TileFolder::AddTile(int z, std::int64_t x, std::int64_t y,
                         const std::vector<std::uint8_t>& bytes) {
    const std::string zoom = std::to_string(z);
    if (z != zoom_) {
        MakeFolder(zoom);
        zoom_ = z;
        columnsMade_ = 0;
    }
    for (; columnsMade_ <= x; ++columnsMade_) MakeFolder(zoom + "/" + std::to_string(columnsMade_));
    const std::string name = zoom + "/" + std::to_string(x) + "/" + std::to_string(y) + ".png";
    if (const int err = WriteNewFile(temporary_ + "/" + name, bytes.data(), bytes.size()))
        throw Error(path_ + "/" + name, std::strerror(err));
}

void TileFolder::AddFile(const std::string& relative, const void* data, std::size_t size) {
    for (std::size_t slash = relative.find('/'); slash != std::string::npos;
         slash = relative.find('/', slash + 1))
        MakeFolder(relative.substr(0, slash));
    if (const int err = WriteNewFile(temporary_ + "/" + relative, data, size))
        throw Error(path_ + "/" + relative, std::strerror(err));
}

void TileFolder::Commit() {
    // One flush of the file system for every file, then the rename and the parent's entry.
    const int fd = ::open(temporary_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0) {
        const int err = errno;
        if (fd >= 0) ::close(fd);
        throw Error(path_, std::strerror(err));
    }
    ::close(fd);
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        const int err = errno;
        throw Error(path_, err == ENOTEMPTY || err == EEXIST
                               ? "the folder is not empty (something was written to it meanwhile)"
                               : std::strerror(err));
    }
    committed_ = true;
    const int parent = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent >= 0) {
        ::fsync(parent);
        ::close(parent);
    }
}

}  // namespace zumeld_formats
