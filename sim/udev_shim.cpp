// The part of libudev that tells a program when hidraw nodes come and go,
// over the quorvant-pen daemon: a monitor opened on the "udev" source is told
// of every plug, unplug and change of the simulated receiver, as the system's
// device manager would tell of the real one. Every other monitor and device,
// and everything else libudev does, stays the system's own.
#include "wire.h"

#include <libudev.h>

#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

struct FakeMonitor
{
    int fd = -1;
    std::string pending;
};

struct FakeDevice
{
    std::string action;
};

namespace {

std::mutex registryMutex;
std::set<const void *> &registry()
{
    // Never destroyed: monitors may be let go of from static destructors.
    static auto *objects = new std::set<const void *>;
    return *objects;
}

bool ours(const void *object)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    return registry().count(object) != 0;
}

void remember(const void *object)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    registry().insert(object);
}

void forget(const void *object)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    registry().erase(object);
}

template <typename Function> Function *real(const char *name)
{
    return reinterpret_cast<Function *>(dlsym(RTLD_NEXT, name));
}

// A descriptor that never becomes readable, for a monitor with no daemon to
// listen to: the program may watch it as it would a quiet udev socket.
int quietDescriptor()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    // The write end stays open and unused, so the read end never sees an end.
    return ends[0];
}

int connectWatching()
{
    const std::string path = sim::wire::socketPath();
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return -1;
    path.copy(address.sun_path, path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const std::string request = "watch\n";
    char answer[16] = {};
    pollfd wait { fd, POLLIN, 0 };
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())
        || poll(&wait, 1, 5000) != 1 || recv(fd, answer, 3, 0) != 3 || std::string(answer, 3) != "ok\n") {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

} // namespace

#pragma GCC visibility push(default)
extern "C" {

struct udev_monitor *udev_monitor_new_from_netlink(struct udev *context, const char *name)
{
    if (!name || std::string(name) != "udev")
        return real<decltype(udev_monitor_new_from_netlink)>("udev_monitor_new_from_netlink")(context, name);
    auto *monitor = new FakeMonitor;
    monitor->fd = connectWatching();
    if (monitor->fd < 0)
        monitor->fd = quietDescriptor();
    remember(monitor);
    return reinterpret_cast<struct udev_monitor *>(monitor);
}

int udev_monitor_filter_add_match_subsystem_devtype(
    struct udev_monitor *monitor, const char *subsystem, const char *devtype)
{
    if (!ours(monitor))
        return real<decltype(udev_monitor_filter_add_match_subsystem_devtype)>(
            "udev_monitor_filter_add_match_subsystem_devtype")(monitor, subsystem, devtype);
    // The simulated receiver has hidraw nodes only.
    return 0;
}

int udev_monitor_enable_receiving(struct udev_monitor *monitor)
{
    if (!ours(monitor))
        return real<decltype(udev_monitor_enable_receiving)>("udev_monitor_enable_receiving")(monitor);
    return 0;
}

int udev_monitor_get_fd(struct udev_monitor *monitor)
{
    if (!ours(monitor))
        return real<decltype(udev_monitor_get_fd)>("udev_monitor_get_fd")(monitor);
    return reinterpret_cast<FakeMonitor *>(monitor)->fd;
}

struct udev_device *udev_monitor_receive_device(struct udev_monitor *udevMonitor)
{
    if (!ours(udevMonitor))
        return real<decltype(udev_monitor_receive_device)>("udev_monitor_receive_device")(udevMonitor);
    auto *monitor = reinterpret_cast<FakeMonitor *>(udevMonitor);
    for (;;) {
        const std::size_t newline = monitor->pending.find('\n');
        if (newline != std::string::npos) {
            const std::vector<std::string> words = sim::wire::split(monitor->pending.substr(0, newline));
            monitor->pending.erase(0, newline + 1);
            if (words.size() != 2 || words[0] != "event")
                continue;
            auto *device = new FakeDevice { words[1] };
            remember(device);
            return reinterpret_cast<struct udev_device *>(device);
        }
        char buffer[512];
        const ssize_t n = recv(monitor->fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            monitor->pending.append(buffer, std::size_t(n));
            continue;
        }
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            // The daemon went: from now on the monitor is a quiet one, on the
            // same descriptor, which its owner may already be watching.
            const int quiet = quietDescriptor();
            if (quiet >= 0) {
                dup2(quiet, monitor->fd);
                close(quiet);
            }
        }
        return nullptr;
    }
}

struct udev_monitor *udev_monitor_unref(struct udev_monitor *udevMonitor)
{
    if (!ours(udevMonitor))
        return real<decltype(udev_monitor_unref)>("udev_monitor_unref")(udevMonitor);
    auto *monitor = reinterpret_cast<FakeMonitor *>(udevMonitor);
    forget(monitor);
    if (monitor->fd >= 0)
        close(monitor->fd);
    delete monitor;
    return nullptr;
}

const char *udev_device_get_action(struct udev_device *device)
{
    if (!ours(device))
        return real<decltype(udev_device_get_action)>("udev_device_get_action")(device);
    return reinterpret_cast<FakeDevice *>(device)->action.c_str();
}

const char *udev_device_get_devnode(struct udev_device *device)
{
    if (!ours(device))
        return real<decltype(udev_device_get_devnode)>("udev_device_get_devnode")(device);
    // The simulated receiver's paths are no device nodes.
    return nullptr;
}

struct udev_device *udev_device_unref(struct udev_device *device)
{
    if (!ours(device))
        return real<decltype(udev_device_unref)>("udev_device_unref")(device);
    forget(device);
    delete reinterpret_cast<FakeDevice *>(device);
    return nullptr;
}

} // extern "C"
#pragma GCC visibility pop
