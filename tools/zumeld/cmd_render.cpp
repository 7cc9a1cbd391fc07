#include "cli.h"

namespace zumeld_cli {

int CmdRender(const std::vector<std::string>&) {
    throw CliError("render", "not available in this build yet");
}

}  // namespace zumeld_cli
