// A request to end by signal (a logout, a shutdown, a closed terminal) is
// brought into the event loop through a socket pair.
#include "platform/linux/services.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace platform::linuxos {

namespace {

// The signal handler's way into the event loop: the handler writes the
// signal number to one end, the watch reads it from the other. Signal
// handlers belong to the process, and so does the pair: it is made with the
// first watch and kept until the process ends, since a handler may run at any
// moment, exit included.
class SignalPipe
{
public:
    // The process's pair, or null when it could not be made.
    static SignalPipe *get()
    {
        static SignalPipe pipe;
        if (pipe.ends[0] < 0
            && socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pipe.ends) != 0)
            return nullptr;
        writeEnd = pipe.ends[1];
        return &pipe;
    }

    int readEnd() const { return ends[0]; }

    static void forward(int signalNumber)
    {
        const int savedErrno = errno;
        const char byte = static_cast<char>(signalNumber);
        // Non-blocking: with the pipe full, a byte is already waiting to be read.
        if (write(writeEnd, &byte, 1) < 0) {
            // Nothing can be done about it here.
        }
        errno = savedErrno;
    }

private:
    SignalPipe() = default;

    int ends[2] = { -1, -1 };
    // All the handler reads.
    static inline std::atomic<int> writeEnd { -1 };
};

class TerminationWatch final : public EventSource
{
public:
    TerminationWatch(const SignalPipe &pipe, std::function<void(int)> onRequest)
        : pipe(pipe)
        , onRequest(std::move(onRequest))
    {
        // A logout, a shutdown or a closed terminal ends a tray program by a
        // signal far more often than by its menu.
        for (int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
            struct sigaction previous;
            if (sigaction(signalNumber, nullptr, &previous) != 0)
                continue;
            // A signal ignored by whoever started the program (nohup, a
            // background job) stays ignored.
            if (previous.sa_handler == SIG_IGN)
                continue;
            struct sigaction action;
            std::memset(&action, 0, sizeof action);
            action.sa_handler = SignalPipe::forward;
            sigemptyset(&action.sa_mask);
            // A second signal while shutting down ends the program at once,
            // in case the orderly way hangs.
            action.sa_flags = SA_RESTART | SA_RESETHAND;
            sigaction(signalNumber, &action, nullptr);
        }
    }

    int descriptor() const override { return pipe.readEnd(); }

    void dispatch() override
    {
        char received[16];
        ssize_t count;
        while ((count = read(pipe.readEnd(), received, sizeof received)) > 0)
            for (ssize_t i = 0; i < count; ++i)
                onRequest(received[i]);
    }

private:
    const SignalPipe &pipe;
    std::function<void(int)> onRequest;
};

} // namespace

std::unique_ptr<EventSource> watchTermination(std::function<void(int)> onRequest)
{
    const SignalPipe *pipe = SignalPipe::get();
    if (!pipe)
        return nullptr;
    return std::make_unique<TerminationWatch>(*pipe, std::move(onRequest));
}

} // namespace platform::linuxos
