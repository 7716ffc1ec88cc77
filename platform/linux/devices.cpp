// HID device nodes are watched through udev.
#include "platform/linux/services.h"

#include <libudev.h>

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace platform::linuxos {

namespace {

// The udev daemon's view of hidraw nodes: it announces a node once its rules
// (permissions among them) have been applied.
class UdevMonitor final : public DeviceMonitor
{
public:
    UdevMonitor(udev *context, udev_monitor *monitor, DeviceCallback onEvent)
        : context(context)
        , monitor(monitor)
        , onEvent(std::move(onEvent))
    {
    }
    ~UdevMonitor() override
    {
        udev_monitor_unref(monitor);
        udev_unref(context);
    }

    int descriptor() const override { return udev_monitor_get_fd(monitor); }

    void dispatch() override
    {
        // The socket does not block: it is drained until it has nothing more.
        while (udev_device *device = udev_monitor_receive_device(monitor)) {
            DeviceEvent event;
            const char *action = udev_device_get_action(device);
            const std::string kind = action ? action : "";
            event.kind = kind == "add" ? DeviceEvent::Added
                : kind == "remove"     ? DeviceEvent::Removed
                                       : DeviceEvent::Changed;
            if (const char *node = udev_device_get_devnode(device))
                event.path = node;
            udev_device_unref(device);
            onEvent(event);
        }
    }

private:
    udev *context;
    udev_monitor *monitor;
    DeviceCallback onEvent;
};

} // namespace

std::unique_ptr<DeviceMonitor> watchHidraw(DeviceCallback onEvent)
{
    udev *context = udev_new();
    if (!context)
        return nullptr;
    udev_monitor *monitor = udev_monitor_new_from_netlink(context, "udev");
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0
        || udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor)
            udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<UdevMonitor>(context, monitor, std::move(onEvent));
}

bool openDenied(const std::string &path)
{
    const int openError = errno;
    // A device node tells by its permissions; anything else (a node that
    // went meanwhile, a stand-in's path) by the error of the open itself.
    if (access(path.c_str(), F_OK) == 0)
        return access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM);
    return openError == EACCES || openError == EPERM;
}

} // namespace platform::linuxos
