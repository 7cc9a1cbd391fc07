// What the tool learns about an .elv file before loading it: the header, where the body
// lies, and whether it is a compressed record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zumeld/zumeld.h"

namespace zumeld_cli {

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

// Checks the bytes of an .elv file and describes them. Throws CliError naming path with the
// reason when the file is not an elevation file, is cut short or its code stream is damaged.
ElvFacts InspectElv(const std::vector<std::uint8_t>& bytes, const std::string& path);

// LoadMap that also returns the facts of the file read.
ElvFacts LoadMapWithFacts(const std::string& path, Zumeld::CCtrlElvMap& map);

}  // namespace zumeld_cli
