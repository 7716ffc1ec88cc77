// What the quorvant-pen daemon and its clients share: where the socket lives,
// hex text for report bytes, and one line of text per request and per answer.
#pragma once

#include "receiver.h"

#include <string>
#include <vector>

namespace sim::wire {

// QUORVANT_SIM_SOCKET, else $XDG_RUNTIME_DIR/quorvant-pen.sock, else
// /tmp/quorvant-pen-<uid>.sock.
std::string socketPath();

std::string toHex(const std::uint8_t *data, std::size_t length);
std::string toHex(const Bytes &bytes);
// Bytes spaced for people to read: "55 00 4b".
std::string toSpacedHex(const Bytes &bytes);
// Contiguous hex digits, even in number; an empty text is no bytes.
bool fromHex(const std::string &text, Bytes &bytes);
// Lenient form for the command line: tokens of hex pairs, each optionally
// prefixed with 0x; a single digit is a byte of its own.
bool fromHexTokens(const std::vector<std::string> &tokens, Bytes &bytes);

std::vector<std::string> split(const std::string &line);

// A blocking stream connection to the daemon, one request line, one answer
// line. Never raises SIGPIPE.
class Channel
{
public:
    Channel() = default;
    ~Channel();
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;

    // False when nothing listens on the path (errno tells why).
    bool connect(const std::string &path);
    bool connected() const { return fd >= 0; }
    void disconnect();
    // Sends the request and waits up to timeoutMs (negative: without limit)
    // for the answer line, which comes back without its newline. On any
    // failure the connection is dropped, since a late answer would be taken
    // for the next one.
    bool request(const std::string &line, std::string &answer, int timeoutMs);

private:
    bool sendAll(const std::string &data);
    int fd = -1;
    std::string pending;
};

// Answers are "ok[ words...]" or "err message".
bool isOk(const std::string &answer, std::vector<std::string> *words = nullptr);

} // namespace sim::wire
