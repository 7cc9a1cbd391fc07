// Reading and writing map files for the tool.
#pragma once

#include <string>

#include "zumeld/zumeld.h"

namespace zumeld_cli {

// Loads a map file into map. Throws CliError when the file cannot be read or is not a map.
void LoadMap(const std::string& path, Zumeld::CCtrlElvMap& map);
// Stores map as an .elv file through a temporary file renamed into place: the
// delta-and-run encoding, or the compressed record when jpegQuality is 1..100.
// Throws CliError on failure.
void SaveMapElv(const std::string& path, Zumeld::CCtrlElvMap& map, int jpegQuality = 0);

}  // namespace zumeld_cli
