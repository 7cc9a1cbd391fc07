// .elv map files: checked before the library loads them, so that a damaged file gets a
// one-line reason instead of the library's quiet best effort, and stored through a
// temporary file renamed into place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zumeld/zumeld.h"

namespace zumeld_formats {

// Loads a map file into map. Throws Error when the file cannot be read or is not a map.
void LoadMap(const std::string& path, Zumeld::CCtrlElvMap& map);
// Stores map as an .elv file through a temporary file renamed into place: the
// delta-and-run encoding, or the compressed record when jpegQuality is 1..100.
// Throws Error on failure.
void SaveMapElv(const std::string& path, Zumeld::CCtrlElvMap& map, int jpegQuality = 0);
// The bytes SaveMapElv stores; errors name path.
std::vector<std::uint8_t> EncodeMapElv(const std::string& path, Zumeld::CCtrlElvMap& map,
                                       int jpegQuality = 0);

struct ElvFacts {
    int encoding = 0;
    int width = 0;
    int height = 0;
    std::uint64_t fileBytes = 0;
    std::uint64_t bodyOffset = 0;  // first byte of the rows, the code stream or the JPEG stream
    std::uint64_t bodyBytes = 0;   // 0 when the map has no cells
    bool compressed = false;       // encoding 3
    int maxElevation = 0;          // encoding 3: the elevation grey level 255 stands for
};

// Checks the bytes of an .elv file and describes them. Throws Error naming path with the
// reason when the file is not an elevation file, is cut short or its code stream is damaged.
ElvFacts InspectElv(const std::vector<std::uint8_t>& bytes, const std::string& path);

// LoadMap that also returns the facts of the file read.
ElvFacts LoadMapWithFacts(const std::string& path, Zumeld::CCtrlElvMap& map);

}  // namespace zumeld_formats
