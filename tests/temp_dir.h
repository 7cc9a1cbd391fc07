// A private folder under the system's temporary directory for one test, removed with
// everything in it when the object goes out of scope; and whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

class TempDir {
  public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "zumeld-";
        if (info) {
            name.append(info->test_suite_name()).append("-").append(info->name());
        } else {
            name.append("test");
        }
        name.append("-").append(std::to_string(::getpid()));
        for (char& c : name)
            if (c == '/') c = '_';
        m_path = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The full name of a file inside the folder.
    std::string File(const std::string& name) const { return (m_path / name).string(); }
    // The number of entries in the folder, and their names.
    long Entries() const { return std::distance(std::filesystem::directory_iterator(m_path), {}); }
    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_path))
            names.insert(e.path().filename().string());
        return names;
    }

  private:
    std::filesystem::path m_path;
};

namespace zumeld_test {

using Bytes = std::vector<std::uint8_t>;

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string ReadText(const std::string& path) {
    const Bytes b = ReadBytes(path);
    return {b.begin(), b.end()};
}

}  // namespace zumeld_test
