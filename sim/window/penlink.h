// The pen window's line to the quorvant-pen daemon. A daemon that went away
// is looked for again at the next request, so one started later is found
// without the window being restarted.
#pragma once

#include "wire.h"

#include <optional>
#include <string>
#include <vector>

namespace sim {

class PenLink
{
public:
    explicit PenLink(std::string socketPath);

    const std::string &socketPath() const { return path; }

    // The words after "ok", or nothing when the daemon could not be reached
    // or refused the request; error() then tells which.
    std::optional<std::vector<std::string>> request(const std::string &line);

    // Whether the last request reached a daemon, whatever it answered.
    bool reachable() const { return reached; }
    const std::string &error() const { return lastError; }

private:
    std::string path;
    wire::Channel channel;
    bool reached = false;
    std::string lastError;
};

} // namespace sim
