#include "wire.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace sim::wire {

std::string socketPath()
{
    if (const char *path = std::getenv("QUORVANT_SIM_SOCKET"); path && *path)
        return path;
    if (const char *dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir)
        return std::string(dir) + "/quorvant-pen.sock";
    return "/tmp/quorvant-pen-" + std::to_string(getuid()) + ".sock";
}

std::string toHex(const std::uint8_t *data, std::size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    return text;
}

std::string toHex(const Bytes &bytes)
{
    return toHex(bytes.data(), bytes.size());
}

std::string toSpacedHex(const Bytes &bytes)
{
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            text += ' ';
        text += toHex(&bytes[i], 1);
    }
    return text;
}

namespace {

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool fromHex(const std::string &text, Bytes &bytes)
{
    if (text.size() % 2)
        return false;
    Bytes out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = digitValue(text[i]), low = digitValue(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    bytes = std::move(out);
    return true;
}

bool fromHexTokens(const std::vector<std::string> &tokens, Bytes &bytes)
{
    Bytes out;
    for (std::string token : tokens) {
        if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X'))
            token.erase(0, 2);
        if (token.size() == 1)
            token.insert(0, "0");
        Bytes part;
        if (token.empty() || !fromHex(token, part))
            return false;
        out.insert(out.end(), part.begin(), part.end());
    }
    bytes = std::move(out);
    return true;
}

std::vector<std::string> split(const std::string &line)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        std::size_t end = i;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
            ++end;
        if (end > i)
            words.push_back(line.substr(i, end - i));
        i = end;
    }
    return words;
}

Channel::~Channel()
{
    disconnect();
}

bool Channel::connect(const std::string &path)
{
    disconnect();
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        const int error = errno;
        disconnect();
        errno = error;
        return false;
    }
    return true;
}

void Channel::disconnect()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    pending.clear();
}

bool Channel::sendAll(const std::string &data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool Channel::request(const std::string &line, std::string &answer, int timeoutMs)
{
    if (fd < 0 || !sendAll(line + '\n')) {
        disconnect();
        return false;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        const std::size_t newline = pending.find('\n');
        if (newline != std::string::npos) {
            answer = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            return true;
        }
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            wait = static_cast<int>(left);
        }
        pollfd p { fd, POLLIN, 0 };
        const int ready = ::poll(&p, 1, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(n));
    }
    disconnect();
    return false;
}

bool isOk(const std::string &answer, std::vector<std::string> *words)
{
    std::vector<std::string> all = split(answer);
    if (all.empty() || all[0] != "ok")
        return false;
    if (words)
        words->assign(all.begin() + 1, all.end());
    return true;
}

} // namespace sim::wire
