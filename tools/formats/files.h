// Whole files in and out for the format readers and writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zumeld_formats {

// A file written through a temporary file in the same folder and renamed into place by
// Commit: a failure, or a writer dropped before Commit, never leaves a half-written file at
// path. Write and Commit throw Error on failure (the temporary file is then removed).
class AtomicFile {
  public:
    explicit AtomicFile(const std::string& path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    void Write(const void* data, std::size_t n);
    void Commit();

  private:
    [[noreturn]] void Fail(int err);
    std::string m_path;
    std::string m_temp;
    int m_fd = -1;
};

// Writes bytes to path through an AtomicFile. Throws Error on failure.
void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Reads a whole file; throws Error on failure.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

}  // namespace zumeld_formats
