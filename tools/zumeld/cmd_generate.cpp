#include "cli.h"

namespace zumeld_cli {

int CmdGenerate(const std::vector<std::string>&) {
    throw CliError("generate", "not available in this build yet");
}

}  // namespace zumeld_cli
