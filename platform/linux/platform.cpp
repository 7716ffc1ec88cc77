// Linux services: effect programs (processes.cpp), autostart (autostart.cpp),
// HID device events (devices.cpp) and requests to end by signal (signals.cpp),
// gathered behind the one Platform interface.
#include "platform/linux/services.h"

namespace platform {

namespace {

class LinuxPlatform final : public Platform
{
public:
    std::string programFile(const std::string &program) const override { return program; }

    bool isRunning(const std::string &appDir, const std::string &program) override
    {
        return effects.isRunning(appDir, programFile(program));
    }

    bool startProgram(const std::string &appDir, const std::string &program) override
    {
        return effects.start(appDir, programFile(program));
    }

    int stopProgram(const std::string &appDir, const std::string &program) override
    {
        return effects.stop(appDir, programFile(program));
    }

    bool writeAutostart(const std::string &appFilePath) override
    {
        return linuxos::writeAutostart(appFilePath);
    }

    // The desktop's pointer theme is the user's own; the program never
    // changes it, so there is nothing to put back.
    void resetCursorScheme() override { }

    std::unique_ptr<DeviceMonitor> watchDevices(DeviceCallback onEvent) override
    {
        return linuxos::watchHidraw(std::move(onEvent));
    }

    bool openDenied(const std::string &path) override { return linuxos::openDenied(path); }

    std::unique_ptr<EventSource> watchTermination(std::function<void(int)> onRequest) override
    {
        return linuxos::watchTermination(std::move(onRequest));
    }

private:
    linuxos::EffectPrograms effects;
};

} // namespace

std::unique_ptr<Platform> createPlatform()
{
    return std::make_unique<LinuxPlatform>();
}

} // namespace platform
