#include "daemon.h"
#include "receiver.h"
#include "wire.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <list>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

// A request line longer than this is not one of ours.
constexpr std::size_t kLongestLine = 1 << 16;
// Reads never deliver more than a report, but the buffer must hold what is asked.
constexpr std::size_t kLongestRead = 4096;

struct ParkedRead
{
    int handle;
    std::size_t length;
    std::optional<Clock::time_point> deadline; // none: wait as long as it takes
    unsigned long order;
};

struct Client
{
    int fd = -1;
    std::string in, out;
    std::optional<ParkedRead> parked;
    std::set<int> handles;
    // Told of every plug, unplug and change, as the system's device manager
    // tells its listeners; such a client asks nothing more.
    bool watching = false;
    bool gone = false;
};

bool parseInt(const std::string &word, long low, long high, long &value)
{
    if (word.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const long n = std::strtol(word.c_str(), &end, 0);
    if (errno || *end != '\0' || n < low || n > high)
        return false;
    value = n;
    return true;
}

std::optional<Mode> parseMode(const std::string &name)
{
    if (name == "laser")
        return Mode::Laser;
    if (name == "magnifier")
        return Mode::Magnifier;
    if (name == "spotlight")
        return Mode::Spotlight;
    if (name == "normal")
        return Mode::Normal;
    return std::nullopt;
}

const char *yesNo(bool value)
{
    return value ? "yes" : "no";
}

class Server
{
public:
    Server(std::string path, bool verbose)
        : path(std::move(path))
        , verbose(verbose)
    {
        receiver.watchHotplug([this](Hotplug event) { announce(event); });
    }
    ~Server();
    int run();

private:
    bool claimPath();
    bool listenOn();
    void accept();
    void receive(Client &client);
    void serve(Client &client);
    std::optional<std::string> handle(Client &client, const std::string &line);
    std::string answerRead(int n, const std::uint8_t *data);
    void serviceParked();
    void flush(Client &client);
    int pollTimeout() const;
    void log(const std::string &line, const std::string &answer);
    void announce(Hotplug event);

    std::string path;
    bool verbose;
    Receiver receiver;
    std::list<Client> clients;
    int listener = -1;
    int signals = -1;
    ino_t boundInode = 0;
    bool quit = false;
    unsigned long nextOrder = 0;
};

Server::~Server()
{
    for (Client &client : clients)
        ::close(client.fd);
    if (listener >= 0) {
        ::close(listener);
        // Only remove the socket file if it is still the one we made.
        struct stat st
        {
        };
        if (::stat(path.c_str(), &st) == 0 && st.st_ino == boundInode)
            ::unlink(path.c_str());
    }
    if (signals >= 0)
        ::close(signals);
}

bool Server::claimPath()
{
    wire::Channel probe;
    if (probe.connect(path)) {
        std::string answer;
        if (probe.request("ping", answer, 2000) && wire::isOk(answer))
            std::fprintf(stderr, "quorvant-pen: a receiver daemon is already running on %s\n", path.c_str());
        else
            std::fprintf(stderr, "quorvant-pen: something else is listening on %s\n", path.c_str());
        return false;
    }
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0)
        return true;
    if (!S_ISSOCK(st.st_mode)) {
        std::fprintf(stderr, "quorvant-pen: %s exists and is not a socket\n", path.c_str());
        return false;
    }
    // A socket file that nobody answers on is what a daemon that died leaves.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        std::fprintf(
            stderr, "quorvant-pen: cannot remove the stale %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

bool Server::listenOn()
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        std::fprintf(stderr, "quorvant-pen: socket path too long: %s\n", path.c_str());
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener < 0 || ::bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener, 16) != 0) {
        std::fprintf(stderr, "quorvant-pen: cannot listen on %s: %s\n", path.c_str(), std::strerror(errno));
        if (listener >= 0)
            ::close(listener);
        listener = -1;
        return false;
    }
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) == 0)
        boundInode = st.st_ino;
    return true;
}

int Server::run()
{
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    // Signals arrive as readable data, so the loop ends between two requests.
    if (::sigprocmask(SIG_BLOCK, &mask, nullptr) != 0
        || (signals = ::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC)) < 0) {
        std::fprintf(stderr, "quorvant-pen: cannot watch for signals: %s\n", std::strerror(errno));
        return 1;
    }
    if (!claimPath() || !listenOn())
        return 1;
    std::printf("quorvant-pen: serving on %s\n", path.c_str());
    std::fflush(stdout);

    std::vector<pollfd> fds;
    while (!quit) {
        fds.clear();
        fds.push_back({ signals, POLLIN, 0 });
        fds.push_back({ listener, POLLIN, 0 });
        for (const Client &client : clients)
            fds.push_back({ client.fd, short(POLLIN | (client.out.empty() ? 0 : POLLOUT)), 0 });
        const int ready = ::poll(fds.data(), fds.size(), pollTimeout());
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "quorvant-pen: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (ready > 0) {
            if (fds[0].revents & POLLIN)
                quit = true;
            if (fds[1].revents & POLLIN)
                accept();
            std::size_t i = 2;
            for (Client &client : clients) {
                // Clients accepted above have no entry yet.
                if (i >= fds.size())
                    break;
                const short events = fds[i++].revents;
                if (events & (POLLIN | POLLHUP | POLLERR))
                    receive(client);
            }
        }
        serviceParked();
        for (auto it = clients.begin(); it != clients.end();) {
            flush(*it);
            if (it->gone) {
                for (int handle : it->handles)
                    receiver.close(handle);
                ::close(it->fd);
                it = clients.erase(it);
            } else {
                ++it;
            }
        }
    }
    return 0;
}

void Server::accept()
{
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        Client client;
        client.fd = fd;
        clients.push_back(std::move(client));
    }
}

void Server::receive(Client &client)
{
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            client.in.append(buffer, std::size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            client.gone = true;
        break;
    }
    serve(client);
    if (client.in.size() > kLongestLine && client.in.find('\n') == std::string::npos)
        client.gone = true;
}

void Server::serve(Client &client)
{
    // A parked read holds back the client's next request, as the client
    // itself is still waiting for the answer. A client that hung up after
    // its last request still has that request carried out.
    while (!client.parked && !quit) {
        const std::size_t newline = client.in.find('\n');
        if (newline == std::string::npos)
            return;
        const std::string line = client.in.substr(0, newline);
        client.in.erase(0, newline + 1);
        if (const std::optional<std::string> answer = handle(client, line)) {
            log(line, *answer);
            client.out += *answer + '\n';
        }
    }
}

std::string Server::answerRead(int n, const std::uint8_t *data)
{
    if (n <= 0)
        return "ok " + std::to_string(n);
    return "ok " + std::to_string(n) + " " + wire::toHex(data, std::size_t(n));
}

std::optional<std::string> Server::handle(Client &client, const std::string &line)
{
    const std::vector<std::string> words = wire::split(line);
    if (words.empty())
        return "err empty request";
    const std::string &command = words[0];
    const std::size_t args = words.size() - 1;
    long a = 0, b = 0, c = 0;
    auto usage = [&](const char *form) { return "err usage: " + std::string(form); };

    // What hidapi asks for.
    if (command == "ping")
        return "ok quorvant-pen";
    if (command == "enum") {
        std::string answer = "ok";
        for (int number : receiver.interfaces())
            answer += " " + std::to_string(number);
        return answer;
    }
    if (command == "open") {
        if (args != 1 || !parseInt(words[1], -1000, 1000, a))
            return usage("open INTERFACE");
        const int handle = receiver.open(int(a));
        if (handle > 0)
            client.handles.insert(handle);
        return "ok " + std::to_string(handle);
    }
    if (command == "write") {
        Bytes data;
        if (args < 1 || args > 2 || !parseInt(words[1], INT32_MIN, INT32_MAX, a)
            || (args == 2 && !wire::fromHex(words[2], data)))
            return usage("write HANDLE HEX");
        return "ok " + std::to_string(receiver.write(int(a), data.data(), data.size()));
    }
    if (command == "read") {
        if (args != 3 || !parseInt(words[1], INT32_MIN, INT32_MAX, a)
            || !parseInt(words[2], 0, long(kLongestRead), b) || !parseInt(words[3], -1, INT32_MAX, c))
            return usage("read HANDLE LENGTH TIMEOUT_MS");
        std::uint8_t buffer[kLongestRead];
        const int n = receiver.read(int(a), buffer, std::size_t(b));
        if (n != 0 || c == 0)
            return answerRead(n, buffer);
        ParkedRead parked { int(a), std::size_t(b), std::nullopt, nextOrder++ };
        if (c > 0)
            parked.deadline = Clock::now() + std::chrono::milliseconds(c);
        client.parked = parked;
        return std::nullopt;
    }
    if (command == "watch") {
        if (args != 0)
            return usage("watch");
        client.watching = true;
        return "ok";
    }
    if (command == "close") {
        if (args != 1 || !parseInt(words[1], INT32_MIN, INT32_MAX, a))
            return usage("close HANDLE");
        receiver.close(int(a));
        client.handles.erase(int(a));
        return "ok";
    }

    // What a person or a test bench does.
    if (command == "plug" || command == "unplug" || command == "factory" || command == "reset"
        || command == "clear-sent" || command == "stop") {
        if (args != 0)
            return usage(command.c_str());
        if (command == "plug")
            receiver.plug();
        else if (command == "unplug")
            receiver.unplug();
        else if (command == "factory")
            receiver.setMapping(Receiver::factoryMapping());
        else if (command == "reset")
            receiver.reset();
        else if (command == "clear-sent")
            receiver.clearSent();
        else
            quit = true;
        return "ok";
    }
    if (command == "openable") {
        if (args != 1 || (words[1] != "yes" && words[1] != "no" && words[1] != "denied"))
            return usage("openable yes|no|denied");
        receiver.setOpenable(words[1] == "yes", words[1] == "denied");
        return "ok";
    }
    if (command == "mode") {
        const std::optional<Mode> mode = args >= 1 ? parseMode(words[1]) : std::nullopt;
        if (!mode || args > 2 || (args == 2 && !parseInt(words[2], 0, 255, a)))
            return usage("mode laser|magnifier|spotlight|normal [SIZE 0-255]");
        receiver.pressMode(*mode, std::uint8_t(args == 2 ? a : 3));
        return "ok";
    }
    if (command == "notice") {
        const std::optional<Mode> mode = args == 1 ? parseMode(words[1]) : std::nullopt;
        if (!mode)
            return usage("notice laser|magnifier|spotlight|normal");
        receiver.pressNotice(*mode);
        return "ok";
    }
    if (command == "raw") {
        Bytes report;
        if (args > 1 || (args == 1 && !wire::fromHex(words[1], report)) || report.size() > kMaxInjected)
            return usage("raw HEX (at most 64 bytes)");
        receiver.inject(report);
        return "ok";
    }
    if (command == "mapping") {
        const Image image = receiver.mapping();
        return "ok " + wire::toHex(image.data(), 32) + " " + wire::toHex(image.data() + 32, 32);
    }
    if (command == "set-mapping") {
        Bytes bytes;
        if (args != 1 || !wire::fromHex(words[1], bytes) || bytes.size() != 64)
            return usage("set-mapping HEX (64 bytes)");
        Image image;
        std::copy(bytes.begin(), bytes.end(), image.begin());
        receiver.setMapping(image);
        return "ok";
    }
    if (command == "sent") {
        std::string answer = "ok";
        for (const Bytes &report : receiver.sentReports())
            answer += " " + wire::toHex(report);
        return answer;
    }
    if (command == "fail-writes") {
        if (args != 1 || !parseInt(words[1], 0, INT32_MAX, a))
            return usage("fail-writes N");
        receiver.failNextWrites(int(a));
        return "ok";
    }
    if (command == "status") {
        return std::string("ok plugged=") + yesNo(receiver.plugged()) + " openable="
            + (receiver.denied() ? "denied" : yesNo(receiver.openable())) + " open_attempts=" + std::to_string(receiver.openAttempts())
            + " pending_input=" + std::to_string(receiver.pendingInput())
            + " sent=" + std::to_string(receiver.sentReports().size()) + " held_reads="
            + std::to_string(std::count_if(
                clients.begin(), clients.end(), [](const Client &other) { return other.parked.has_value(); }))
            + " watchers="
            + std::to_string(std::count_if(clients.begin(), clients.end(),
                [](const Client &other) { return other.watching && !other.gone; }));
    }
    return "err unknown command: " + command;
}

void Server::serviceParked()
{
    // Parked reads are served in the order they were made, and a served
    // client may at once send requests that queue input for the next one.
    bool progress = true;
    while (progress) {
        progress = false;
        std::vector<Client *> waiting;
        for (Client &client : clients) {
            if (client.parked && !client.gone)
                waiting.push_back(&client);
        }
        std::sort(waiting.begin(), waiting.end(),
            [](const Client *x, const Client *y) { return x->parked->order < y->parked->order; });
        const Clock::time_point now = Clock::now();
        for (Client *client : waiting) {
            const ParkedRead &parked = *client->parked;
            std::uint8_t buffer[kLongestRead];
            const int n = receiver.read(parked.handle, buffer, parked.length);
            if (n == 0 && (!parked.deadline || *parked.deadline > now))
                continue;
            const std::string answer = answerRead(n, buffer);
            log("read " + std::to_string(parked.handle) + " (held)", answer);
            client->out += answer + '\n';
            client->parked.reset();
            serve(*client);
            progress = true;
        }
    }
}

void Server::announce(Hotplug event)
{
    const char *action = event == Hotplug::Added ? "add" : event == Hotplug::Removed ? "remove" : "change";
    for (Client &client : clients) {
        if (client.watching && !client.gone)
            client.out += std::string("event ") + action + "\n";
    }
    if (verbose)
        std::fprintf(stderr, "quorvant-pen: event %s\n", action);
}

void Server::flush(Client &client)
{
    while (!client.out.empty() && !client.gone) {
        const ssize_t n = ::send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            client.out.erase(0, std::size_t(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                client.gone = true;
            return;
        }
    }
}

int Server::pollTimeout() const
{
    std::optional<Clock::time_point> nearest;
    for (const Client &client : clients) {
        if (client.parked && client.parked->deadline && (!nearest || *client.parked->deadline < *nearest))
            nearest = client.parked->deadline;
    }
    if (!nearest)
        return -1;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(*nearest - Clock::now()).count();
    // Rounded up, so the loop wakes at or after the deadline, not just before it.
    return left <= 0 ? 0 : int((left + 999) / 1000);
}

void Server::log(const std::string &line, const std::string &answer)
{
    if (!verbose)
        return;
    // The program polls without pause; the empty polls would drown the rest.
    if (line.rfind("enum", 0) == 0 || answer == "ok 0")
        return;
    std::fprintf(stderr, "quorvant-pen: %s -> %s\n", line.c_str(), answer.c_str());
}

} // namespace

int serve(const std::string &socketPath, bool verbose)
{
    Server server(socketPath, verbose);
    return server.run();
}

} // namespace sim
