// The operating-system services the program needs and Qt does not give
// portably. One implementation file per OS is linked in; callers never test
// which OS they run on. Kept free of Qt so that the Windows implementation can
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

// Tells when HID devices come and go, so that nobody has to ask on a timer.
// Events are only delivered on the thread that made the monitor, from its
// event loop.
class DeviceMonitor
{
public:
    virtual ~DeviceMonitor() = default;

    // A descriptor that becomes readable when events wait; the owner calls
    // dispatch() then. -1 when events arrive by the thread's message loop by
    // themselves (Windows).
    virtual int descriptor() const = 0;

    // Reads what waits on the descriptor and reports each event.
    virtual void dispatch() = 0;
};

using DeviceCallback = std::function<void(const DeviceEvent &)>;

class Platform
{
public:
    virtual ~Platform() = default;

    // The file name of an effect program ("Dotrix") on this system: with the
    // ".exe" extension on Windows, as it is elsewhere.
    virtual std::string programFile(const std::string &program) const = 0;

    // Whether a live process runs from that effect program's file. The
    // comparison is case-sensitive.
    virtual bool isRunning(const std::string &program) = 0;

    // Starts the program's file in appDir, detached, with no arguments.
    // Returns false when it could not be started. appDir is UTF-8 with
    // forward slashes, as Qt reports it.
    virtual bool startProgram(const std::string &appDir, const std::string &program) = 0;

    // Ends every process of that program at once, without waiting for them to
    // go. Returns 0 when one or more were told to end, 1 when none ran, and
    // another value when ending one failed, as the system's kill command would.
    virtual int stopProgram(const std::string &program) = 0;

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
};

// The implementation for the system the program was built for.
std::unique_ptr<Platform> createPlatform();

} // namespace platform
