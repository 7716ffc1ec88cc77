// The Linux services, one file per concern. platform.cpp gathers them
// behind the Platform interface; nothing outside platform/linux/ uses this.
#pragma once

#include "platform/platform.h"

#include <functional>
#include <memory>
#include <string>

namespace platform::linuxos {

// files.cpp

// The whole file, or empty when it cannot be read.
std::string readWhole(const std::string &path);

// processes.cpp

// Effect programs: plain executables beside the program, started detached,
// known by their pidfd or found through /proc by their very file, and
// stopped with a signal through the pidfd. `file` is the program's file
// name in appDir.
class EffectPrograms
{
public:
    EffectPrograms();
    ~EffectPrograms();

    bool isRunning(const std::string &appDir, const std::string &file);
    bool start(const std::string &appDir, const std::string &file);
    int stop(const std::string &appDir, const std::string &file);

private:
    // The effect programs started here, each held until it ends or is stopped.
    struct Started;
    std::unique_ptr<Started> started;
};

// autostart.cpp

// An XDG autostart desktop entry, unless the package's own entry starts the
// program.
bool writeAutostart(const std::string &appFilePath);

// devices.cpp

// hidraw nodes, watched through udev.
std::unique_ptr<DeviceMonitor> watchHidraw(DeviceCallback onEvent);
bool openDenied(const std::string &path);

// signals.cpp

// SIGTERM, SIGINT and SIGHUP, brought into the event loop.
std::unique_ptr<EventSource> watchTermination(std::function<void(int)> onRequest);

} // namespace platform::linuxos
