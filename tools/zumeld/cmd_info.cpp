#include "cli.h"

namespace zumeld_cli {

int CmdInfo(const std::vector<std::string>&) {
    throw CliError("info", "not available in this build yet");
}

}  // namespace zumeld_cli
