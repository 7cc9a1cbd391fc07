// A tile pyramid as a folder of files, PATH/{z}/{x}/{y}.png beside any other files a caller
// adds (a page to show them), built in a temporary folder beside PATH and renamed into place
// by Commit: a failure, or a writer dropped before Commit, leaves no PATH. The tool never
// deletes a folder of the user's, so PATH must not exist or be an empty folder.
// Not thread-safe: one writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zumeld_formats {

class TileFolder {
  public:
    // Makes the temporary folder. Throws a usage Error when PATH is a file or a folder that
    // is not empty, Error when its folder cannot be written.
    explicit TileFolder(std::string path);
    // Removes the temporary folder and everything in it unless Commit succeeded.
    ~TileFolder();
    TileFolder(const TileFolder&) = delete;
    TileFolder& operator=(const TileFolder&) = delete;

    // Requires: 0 <= z, x, y; each tile once.
    void AddTile(int z, std::int64_t x, std::int64_t y, const std::vector<std::uint8_t>& bytes);
    // A file at a relative path of plain names ("js/main.js"); its folders are made.
    // Requires: no name is empty, "." or "..".
    void AddFile(const std::string& relative, const void* data, std::size_t size);
    // Flushes every file to disk and renames the folder into place.
    void Commit();

  private:
    void MakeFolder(const std::string& relative);
    std::string path_, temporary_;
    bool committed_ = false;
    int zoom_ = -1;                 // the zoom whose folder exists last
    std::int64_t columnsMade_ = 0;  // its column folders 0 .. columnsMade_ - 1
};

}  // namespace zumeld_formats
