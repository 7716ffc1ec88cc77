// quorvant-pen: the simulated receiver daemon and the commands that press its
// keys, plug it in and out, and show what the program sent it.
#include "daemon.h"
#include "wire.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] = R"(usage: quorvant-pen [--socket PATH] COMMAND [ARGS]

  serve [--verbose]        run the receiver daemon in the foreground
  plug | unplug            plug the receiver in, pull it out
  openable yes|no|denied   whether opening the receiver succeeds; denied: for
                           lack of permission
  mode NAME [SIZE]         press a mode: laser, magnifier, spotlight, normal
                           (SIZE 0-255, default 3)
  notice NAME              send the mode notice of NAME
  raw HEX...               send a raw input report (0 to 64 bytes),
                           e.g. "raw 12 34 ab cd 00 05" or "raw 1234abcd0005"
  mapping                  print the stored mapping, one line per block
  set-mapping HEX...       store a 64-byte mapping (checksums are recomputed)
  factory                  restore the factory mapping
  reset                    factory mapping, plugged, openable, records cleared
  sent                     print every output report received, one per line
  clear-sent               forget the output reports received
  fail-writes N            make the next N writes fail
  status                   plugged, openable, open attempts, queued input,
                           output reports received, reads waiting for input
  stop                     end the daemon

The socket is --socket PATH, else $QUORVANT_SIM_SOCKET, else
$XDG_RUNTIME_DIR/quorvant-pen.sock, else /tmp/quorvant-pen-<uid>.sock.
Run a program against the receiver with
  LD_PRELOAD=<bin>/libquorvant-hidsim.so QUORVANT_SIM_SOCKET=PATH program
)";

int usageError(const std::string &message)
{
    std::fprintf(stderr, "quorvant-pen: %s\n(quorvant-pen --help shows the commands)\n", message.c_str());
    return 2;
}

void printSpaced(const std::string &hex)
{
    sim::Bytes bytes;
    if (sim::wire::fromHex(hex, bytes))
        std::printf("%s\n", sim::wire::toSpacedHex(bytes).c_str());
    else
        std::printf("%s\n", hex.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string path;
    if (args.size() >= 2 && args[0] == "--socket") {
        path = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (path.empty())
        path = sim::wire::socketPath();
    if (args.empty())
        return usageError("no command given");
    const std::string command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "serve") {
        if (args.size() > 2 || (args.size() == 2 && args[1] != "--verbose"))
            return usageError("usage: serve [--verbose]");
        return sim::serve(path, args.size() == 2);
    }

    // Every other command is one request line; hex arguments are gathered
    // into one run of digits, the daemon checks the rest.
    std::string request = command;
    if (command == "raw" || command == "set-mapping") {
        sim::Bytes bytes;
        if (!sim::wire::fromHexTokens({ args.begin() + 1, args.end() }, bytes))
            return usageError("not hex bytes: " + command);
        if (!bytes.empty() || command == "set-mapping")
            request += " " + sim::wire::toHex(bytes);
    } else {
        static const char *const known[] = { "plug", "unplug", "openable", "mode", "notice", "mapping",
            "factory", "reset", "sent", "clear-sent", "fail-writes", "status", "stop" };
        bool found = false;
        for (const char *name : known)
            found = found || command == name;
        if (!found)
            return usageError("unknown command: " + command);
        for (std::size_t i = 1; i < args.size(); ++i)
            request += " " + args[i];
    }

    sim::wire::Channel channel;
    if (!channel.connect(path)) {
        std::fprintf(stderr,
            "quorvant-pen: no receiver daemon on %s (%s); start one with 'quorvant-pen serve'\n",
            path.c_str(), std::strerror(errno));
        return 1;
    }
    std::string answer;
    if (!channel.request(request, answer, 10000)) {
        std::fprintf(stderr, "quorvant-pen: the receiver daemon on %s did not answer\n", path.c_str());
        return 1;
    }
    std::vector<std::string> words;
    if (!sim::wire::isOk(answer, &words)) {
        const std::string message = answer.rfind("err ", 0) == 0 ? answer.substr(4) : answer;
        std::fprintf(stderr, "quorvant-pen: %s\n", message.c_str());
        return 2;
    }
    if (command == "mapping" || command == "sent") {
        for (const std::string &hex : words)
            printSpaced(hex);
    } else if (command == "status") {
        for (const std::string &pair : words)
            std::printf("%s\n", pair.c_str());
    }
    return 0;
}
