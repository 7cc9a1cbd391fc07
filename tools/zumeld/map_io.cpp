#include "map_io.h"

#include "cli.h"

namespace zumeld_cli {

void LoadMap(const std::string& path, Zumeld::CCtrlElvMap&) {
    throw CliError(path, "map files cannot be read by this build yet");
}

void SaveMapElv(const std::string& path, Zumeld::CCtrlElvMap&, int) {
    throw CliError(path, "map files cannot be written by this build yet");
}

}  // namespace zumeld_cli
