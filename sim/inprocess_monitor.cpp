#include "inprocess.h"

#include <algorithm>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace sim {

namespace {

class InProcessMonitor;

std::mutex monitorsMutex;
std::vector<InProcessMonitor *> monitors;

class InProcessMonitor final : public platform::DeviceMonitor
{
public:
    explicit InProcessMonitor(platform::DeviceCallback onEvent)
        : onEvent(std::move(onEvent))
    {
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            ends[0] = ends[1] = -1;
        std::lock_guard<std::mutex> lock(monitorsMutex);
        monitors.push_back(this);
    }

    ~InProcessMonitor() override
    {
        {
            std::lock_guard<std::mutex> lock(monitorsMutex);
            monitors.erase(std::remove(monitors.begin(), monitors.end(), this), monitors.end());
        }
        for (int end : ends)
            if (end >= 0)
                close(end);
    }

    int descriptor() const override { return ends[0]; }

    void dispatch() override
    {
        char kinds[64];
        ssize_t n;
        while ((n = read(ends[0], kinds, sizeof kinds)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                platform::DeviceEvent event;
                event.kind = static_cast<platform::DeviceEvent::Kind>(kinds[i]);
                onEvent(event);
            }
        }
    }

    // From whichever thread pressed the receiver: only a byte is written.
    void tell(platform::DeviceEvent::Kind kind)
    {
        const char byte = static_cast<char>(kind);
        if (ends[1] >= 0 && write(ends[1], &byte, 1) < 0) {
            // A full pipe already holds news to look at.
        }
    }

private:
    platform::DeviceCallback onEvent;
    int ends[2] = { -1, -1 };
};

void announce(Hotplug event)
{
    const platform::DeviceEvent::Kind kind = event == Hotplug::Added ? platform::DeviceEvent::Added
        : event == Hotplug::Removed                                  ? platform::DeviceEvent::Removed
                                                                     : platform::DeviceEvent::Changed;
    std::lock_guard<std::mutex> lock(monitorsMutex);
    for (InProcessMonitor *monitor : monitors)
        monitor->tell(kind);
}

} // namespace

std::unique_ptr<platform::DeviceMonitor> watchInProcessReceiver(platform::DeviceCallback onEvent)
{
    static std::once_flag watching;
    std::call_once(watching, [] { inProcessReceiver().watchHotplug(announce); });
    return std::make_unique<InProcessMonitor>(std::move(onEvent));
}

} // namespace sim
