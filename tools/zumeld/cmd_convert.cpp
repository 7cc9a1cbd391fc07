#include "cli.h"

namespace zumeld_cli {

int CmdConvert(const std::vector<std::string>&) {
    throw CliError("convert", "not available in this build yet");
}

}  // namespace zumeld_cli
