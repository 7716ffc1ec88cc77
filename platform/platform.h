// The operating-system services the program needs and Qt does not give
// portably. One implementation per OS is linked in (platform_windows.cpp,
// linux/); callers never test which OS they run on. Kept free of Qt so that the Windows implementation can
// be built and tested on its own with mingw-w64 and wine.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

// What the system announced about a HID device node.
struct DeviceEvent
{
    enum Kind { Added, Removed, Changed };
    Kind kind = Changed;
    std::string path; // the node, when the system names one
};

// News from the system that arrives while the program waits: HID devices
// that come and go, a request to end. Events are only delivered on the
// thread that asked for them, from its event loop.
class EventSource
{
public:
    virtual ~EventSource() = default;

    // A descriptor that becomes readable when events wait; the owner calls
    // dispatch() then. -1 when events arrive by the thread's message loop by
    // themselves (Windows).
    virtual int descriptor() const = 0;

    // Reads what waits on the descriptor and reports each event.
    virtual void dispatch() = 0;
};

using DeviceMonitor = EventSource;
using DeviceCallback = std::function<void(const DeviceEvent &)>;

class Platform
{
public:
    virtual ~Platform() = default;

    // The file name of an effect program ("Dotrix") on this system: with the
    // ".exe" extension on Windows, as it is elsewhere.
    virtual std::string programFile(const std::string &program) const = 0;

    // Whether this user's effect program runs: a live process of the user's
    // session whose executable is the program's file in appDir, or the one
    // startProgram started. A process that only bears the name is not it.
    // The comparison of names is case-sensitive. appDir is UTF-8 with forward
    // slashes, as Qt reports it.
    virtual bool isRunning(const std::string &appDir, const std::string &program) = 0;

    // Starts the program's file in appDir, detached, with no arguments, and
    // keeps knowing it as that effect program until it ends. Returns false
    // when it could not be started.
    virtual bool startProgram(const std::string &appDir, const std::string &program) = 0;

    // Ends every process that isRunning would take for that effect program,
    // and nothing else, at once, and gives them a moment (50 ms at most) to
    // be gone, so that the program can be started anew right after. Returns 0
    // when one or more were told to end, 1 when none ran, and another value
    // when ending one failed, as the system's kill command would.
    virtual int stopProgram(const std::string &appDir, const std::string &program) = 0;

    // Makes the program start with the user's session, passing "-bg".
    // appFilePath is UTF-8 with forward slashes, as Qt reports it. Returns
    // false when nothing could be written.
    virtual bool writeAutostart(const std::string &appFilePath) = 0;

    // Puts the user's pointer scheme back to the system's standard cursors.
    virtual void resetCursorScheme() = 0;

    // Starts telling `onEvent` of HID devices that come, go or change. Null
    // when the system offers no such news (no device manager running, say);
    // the caller then has to look for itself now and then.
    virtual std::unique_ptr<DeviceMonitor> watchDevices(DeviceCallback onEvent) = 0;

    // Whether a failed open of that device path was for lack of permission.
    // Asked right after the failure.
    virtual bool openDenied(const std::string &path) = 0;

    // Starts telling `onRequest` when the system asks the program to end
    // (a logout, a closed terminal, a kill request), with the signal's number
    // where there is one. Null where the system asks only through the
    // session's own channels, which the toolkit already hears.
    virtual std::unique_ptr<EventSource> watchTermination(std::function<void(int)> onRequest) = 0;
};

// The implementation for the system the program was built for.
std::unique_ptr<Platform> createPlatform();

// The name of the local socket through which this user's copies of the
// program find each other, out of other users' reach: in the private folder
// where there is one, else named after the executable.
std::string instanceSocketName(const std::string &executableFileName);

} // namespace platform
