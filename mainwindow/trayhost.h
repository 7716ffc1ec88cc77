// Whether a notification area is there to show the tray icon, and when one
// comes. Qt 5 settles the kind of every tray icon of a process once, when the
// first QSystemTrayIcon is made (or QSystemTrayIcon::isSystemTrayAvailable()
// is first asked): a StatusNotifierItem if a host is registered with the
// session bus's org.kde.StatusNotifierWatcher at that moment, else an XEmbed
// icon, for good. A StatusNotifierItem, moreover, registers with the watcher
// only when it is made, so a watcher that restarts (a panel that crashed or
// reloaded) never learns of it again. So the first icon waits for a host, and
// an item is made afresh for every watcher that comes back with a host. One
// implementation per system: trayhost_linux.cpp, trayhost_windows.cpp.
#pragma once

#include <QObject>

#include <memory>

class TrayHost : public QObject
{
    Q_OBJECT

public:
    explicit TrayHost(QObject *parent = nullptr);
    ~TrayHost() override;

    // Whether an icon made now would show: a StatusNotifierItem host is
    // registered, or an XEmbed tray manager runs; always, where the tray is
    // the system's own.
    bool available() const;

    // Called right before the first icon is made, when Qt settles its kind:
    // from then on hostAppeared() means that the icon must be made afresh,
    // and only a StatusNotifierItem ever needs that (Qt's XEmbed icon docks
    // again by itself when its tray manager restarts).
    void settle();

signals:
    // A host came that does not show the icon: make it (afresh). Always
    // from the event loop, never from inside a call to this object.
    void hostAppeared();

private:
    struct Watch;
    std::unique_ptr<Watch> watch;
};
