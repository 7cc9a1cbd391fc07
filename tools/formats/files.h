// Whole files in and out for the format readers and writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "interrupt.h"
#include "zumeld/util/ReplaceFile.h"

namespace zumeld_formats {

// A file written in pieces and put in place by Commit ("-" is standard output), through a temporary
// file in the same folder renamed into place (zumeld/util/ReplaceFile.h: the mode of a replaced
// file is kept, a symlink is followed, a FIFO or device is written straight through, a read-only
// file is refused): a failure, or a writer dropped before Commit, never leaves a
// half-written file at path, nor does a signal that ends the process (interrupt.h). Open, Write and
// Commit throw Error on failure.
class AtomicFile {
  public:
    explicit AtomicFile(const std::string& path);
    void Write(const void* data, std::size_t n);
    void Commit();

  private:
    void Check(int err);
    std::string m_path;
    // Destroyed after m_file, whose destructor removes the temporary file.
    std::optional<PendingTemporary> m_pending;  // removed by a signal that ends the process
    Zumeld::FileReplacement m_file;
};

// Whether path is "-" (standard output) or an existing FIFO or device whose name has no
// extension (/dev/null): written straight through, in the format the command writes by
// default rather than one named by an ending.
bool IsStream(const std::string& path);

// Writes bytes to path through an AtomicFile. Throws Error on failure.
void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Whether path names an existing FIFO or device (files_posix.cpp, files_win32.cpp).
bool IsFifoOrDevice(const std::string& path);
// Reads a whole file; throws Error on failure.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// A regular file opened for reading at any offset, closed with its owner (files_posix.cpp,
// files_win32.cpp). Throws Error when the path does not open or is not a regular file.
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::string& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    std::uint64_t Size() const { return size_; }
    // Reads n bytes at pos; false when the file ends first or reading fails.
    bool ReadAt(void* buf, std::size_t n, std::uint64_t pos) const;

  private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace zumeld_formats
