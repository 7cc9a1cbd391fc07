// Writing a whole file without ever leaving a half-written one: the one way the library
// (CCtrlDib::WriteDIB) and the tools replace files. POSIX and Windows (ReplaceFile_*.cpp); internal to the library and its
// tools, not installed. Thread-safe: no shared state besides the file system.
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace Zumeld {

// A run of bytes to write.
struct ByteRun {
    const void* data = nullptr;
    std::size_t size = 0;
};

struct ReplaceOptions {
    bool dashIsStdout = false;  // the path "-" names standard output
};

// A file's new content, written in pieces and put in place by Commit:
// - a regular file, or a new one, is written to a temporary file beside it (a unique name,
//   created exclusively and never through a symlink), flushed to disk, given the mode of
//   the file it replaces (a new file the process's default), renamed over it, and the
//   folder flushed; on any failure, or when the object is dropped before Commit, the
//   temporary file is removed and the old file stays;
// - a symlink is followed: the file it points to is replaced (or made), the link stays;
// - a FIFO or a device (and "-" with dashIsStdout) is written straight through, never
//   replaced by a regular file;
// - an existing file that nobody may write is refused (EACCES), as is a folder (EISDIR).
// Each call returns 0 or the errno value of the failure; after a failure only the
// destructor is left to call. Not thread-safe: one writer per object.
class FileReplacement {
  public:
    FileReplacement() = default;
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Requires: not opened yet.
    int Open(const char* path, const ReplaceOptions& options = {});
    // Requires: opened; data holds size bytes.
    int Write(const void* data, std::size_t size);
    int Commit();
    // The temporary file standing in for the target while it is written: a host removes it
    // if the process is ended before Commit or the destructor can (a signal). Null when the
    // target is written straight through, and once it is renamed or removed.
    const char* Temporary() const { return replacing_ ? temporary_.c_str() : nullptr; }

  private:
    int Fail(int err);
    int fd_ = -1;
    bool ownsFd_ = false;     // false for standard output
    bool replacing_ = false;  // a temporary file stands in for the target
    std::string target_;
    std::string folder_;  // the target's, found before the temporary file is made
    std::string temporary_;
};

// The runs, one after the other, as the whole content of `path` (see FileReplacement).
// Requires: runs with data for their sizes. Returns 0, or the errno value of the failure.
int WriteFileReplacing(const char* path, std::span<const ByteRun> runs,
                       const ReplaceOptions& options = {});

}  // namespace Zumeld
