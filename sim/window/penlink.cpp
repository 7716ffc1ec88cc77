#include "penlink.h"

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

// The daemon answers at once; a longer wait would only freeze the window
// behind a daemon that hangs.
constexpr int kAnswerTimeoutMs = 1000;

} // namespace

PenLink::PenLink(std::string socketPath)
    : path(std::move(socketPath))
{
}

std::optional<std::vector<std::string>> PenLink::request(const std::string &line)
{
    if (!channel.connected() && !channel.connect(path)) {
        reached = false;
        lastError = std::strerror(errno);
        return std::nullopt;
    }
    std::string answer;
    if (!channel.request(line, answer, kAnswerTimeoutMs)) {
        reached = false;
        lastError = "no answer";
        return std::nullopt;
    }
    reached = true;
    std::vector<std::string> words;
    if (!wire::isOk(answer, &words)) {
        lastError = answer.rfind("err ", 0) == 0 ? answer.substr(4) : answer;
        return std::nullopt;
    }
    lastError.clear();
    return words;
}

} // namespace sim
