#include "cli.h"

namespace zumeld_cli {

int CmdEdit(const std::vector<std::string>&) {
    throw CliError("edit", "not available in this build yet");
}

}  // namespace zumeld_cli
