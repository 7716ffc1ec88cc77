// The program without its windows: the receiver link, the key mapping and the
// mode switcher, wired so that what the pen reports reaches the model it
// concerns. The windows show a session and act on it; they keep no state of
// their own.
#pragma once

#include <QObject>

#include <memory>

#include "core/settings.h"

class KeyMapping;
class ModeSwitcher;
class QSocketNotifier;
class usbhid;

namespace platform {
class EventSource;
class Platform;
} // namespace platform

class Session : public QObject
{
    Q_OBJECT

public:
    // A null platform uses the system's own. Reads the sizes from `sizes`,
    // writes the autostart entry and puts the standard pointers back, as
    // every start does.
    explicit Session(platform::Platform *platform = nullptr,
        const settings::Location &sizes = settings::locateForThisProgram(), QObject *parent = nullptr);
    ~Session() override;

    usbhid &link() { return *receiver; }
    KeyMapping &mapping() { return *keys; }
    ModeSwitcher &modes() { return *switcher; }
    platform::Platform &system() { return *platform; }
    const settings::Location &settingsLocation() const { return location; }

    // Writes the sizes to the settings file now; false when it could not.
    bool saveSizes();

    // Saves the sizes and stops the current effect program, once, however
    // many ways out are taken.
    void finish();
    bool finished() const { return done; }

signals:
    // The system asked the program to end.
    void terminationRequested();

private:
    std::unique_ptr<platform::Platform> ownPlatform;
    platform::Platform *platform = nullptr;
    settings::Location location;
    std::unique_ptr<usbhid> receiver;
    std::unique_ptr<KeyMapping> keys;
    std::unique_ptr<ModeSwitcher> switcher;
    std::unique_ptr<platform::EventSource> termination;
    QSocketNotifier *terminationNotifier = nullptr;
    bool done = false;
};
