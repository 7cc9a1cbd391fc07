// The one error the readers and writers of foreign files throw. `what` names the file or
// item and what() gives the reason, so a host can show "<what>: <why>" as one line. `usage`
// marks a fault of the request (an unknown file extension, a missing grid size) rather than
// of the file, so that a command-line host can answer with its usage status.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace zumeld_formats {

struct Error : std::runtime_error {
    Error(std::string what, const std::string& why, bool usage = false)
        : std::runtime_error(why), what_(std::move(what)), usage_(usage) {}
    std::string what_;
    bool usage_;
};

inline Error UsageError(const std::string& what, const std::string& why) {
    return Error(what, why, true);
}

}  // namespace zumeld_formats
