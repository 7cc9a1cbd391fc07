// Whole files out through FileReplacement; reading them is per platform (files_posix.cpp,
// files_win32.cpp).
#include "files.h"

#include <cstring>

#include "error.h"
#include "zumeld/util/ReplaceFile.h"

namespace zumeld_formats {

AtomicFile::AtomicFile(const std::string& path) : m_path(path) {
    Zumeld::ReplaceOptions options;
    options.dashIsStdout = true;
    int err = 0;
    {
        const MakingTemporary making;  // a stop signal waits until the new file is named
        err = m_file.Open(path.c_str(), options);
        if (const char* temporary = m_file.Temporary()) m_pending.emplace(temporary);
    }
    Check(err);
}

void AtomicFile::Check(int err) {
    if (!m_file.Temporary()) m_pending.reset();  // renamed into place, or removed
    if (err != 0) throw Error(m_path, std::strerror(err));
}

void AtomicFile::Write(const void* data, std::size_t n) {
    Check(m_file.Write(data, n));
}

void AtomicFile::Commit() {
    Check(m_file.Commit());
}

bool IsStream(const std::string& path) {
    if (path == "-") return true;
    const std::size_t dot = path.rfind('.'), slash = path.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return false;
    return IsFifoOrDevice(path);
}

void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    AtomicFile file(path);
    file.Write(bytes.data(), bytes.size());
    file.Commit();
}

}  // namespace zumeld_formats
