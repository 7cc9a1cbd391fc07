// Whole files in and out for the format readers and writers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zumeld_formats {

// Writes bytes to path through a temporary file in the same folder renamed into place:
// a failure never leaves a half-written file at path. Throws Error on failure.
void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Reads a whole file; throws Error on failure.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

}  // namespace zumeld_formats
