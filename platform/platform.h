// The operating-system services the program needs and Qt does not give
// portably. One implementation file per OS is linked in; callers never test
// which OS they run on. Kept free of Qt so that the Windows implementation can
// be built and tested on its own with mingw-w64 and wine.
#pragma once

#include <memory>
#include <string>

namespace platform {

class Platform
{
public:
    virtual ~Platform() = default;

    // The name an effect program has on this system. The program speaks of
    // its effect programs by their Windows names ("Dotrix.exe"); elsewhere the
    // executable carries no extension ("Dotrix").
    virtual std::string executableName(const std::string &windowsName) const = 0;

    // Whether a live process runs from the executable of that (Windows) name.
    // The comparison is case-sensitive.
    virtual bool findProcess(const std::string &windowsName) = 0;

    // Starts the program at appDir + "/" + windowsName, detached, with no
    // arguments. Returns false when it could not be started. appDir is UTF-8
    // with forward slashes, as Qt reports it.
    virtual bool startProgram(const std::string &appDir, const std::string &windowsName) = 0;

    // The command line that force-stops every process of that name. The
    // caller runs it and logs its exit code.
    virtual std::string killCommand(const std::string &windowsName) const = 0;

    // Makes the program start with the user's session, passing "-bg".
    // appFilePath is UTF-8 with forward slashes, as Qt reports it. Returns
    // false when nothing could be written.
    virtual bool writeAutostart(const std::string &appFilePath) = 0;

    // Puts the user's pointer scheme back to the system's standard cursors.
    virtual void resetCursorScheme() = 0;

    // The pause the receiver needs after it appears before it can be opened.
    virtual void settleBeforeOpen() = 0;
};

// The implementation for the system the program was built for.
std::unique_ptr<Platform> createPlatform();

} // namespace platform
