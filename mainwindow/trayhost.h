// Whether a notification area is there to show the tray icon, and when one
// comes. Qt 5 settles the kind of every tray icon of a process once, when the
// first QSystemTrayIcon is made (or QSystemTrayIcon::isSystemTrayAvailable()
// is first asked): a StatusNotifierItem if a host is registered with the
// session bus's org.kde.StatusNotifierWatcher at that moment, else an XEmbed
// icon, for good. So the one icon waits for a host. A StatusNotifierItem is
// then kept registered with every watcher that comes (a panel that crashed or
// reloaded), and Qt's XEmbed icon docks again by itself; the icon is never
// made twice, which a panel would show as two. One implementation per
// system: trayhost_linux.cpp, trayhost_windows.cpp.
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

    // Called right before the icon is made, when Qt settles its kind. From
    // then on the icon is kept where hosts find it.
    void settle();

signals:
    // Before the icon is made: a host came, make it now. Always from the
    // event loop, never from inside a call to this object.
    void hostAppeared();

private:
    struct Watch;
    std::unique_ptr<Watch> watch;
};
