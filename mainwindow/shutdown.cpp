#include "mainwindow/widget.h"

#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSettings>
#include <QSocketNotifier>

#include "modes/dialog.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// The signal handler's way into the event loop: it writes the signal number
// to one end, a socket notifier reads the other. One pair for the process.
int signalPipe[2] = { -1, -1 };

void forwardSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    // Non-blocking: with the pipe full, a byte is already waiting to be read.
    if (write(signalPipe[1], &byte, 1) < 0) {
        // Nothing can be done about it here.
    }
    errno = savedErrno;
}

bool openSignalPipe()
{
    if (signalPipe[0] >= 0)
        return true;
    return socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPipe) == 0;
}

// A logout, a shutdown or a closed terminal ends a tray program by a signal
// far more often than by its menu; each one must leave the sizes saved.
void catchTerminationSignals()
{
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
        struct sigaction previous;
        if (sigaction(signalNumber, nullptr, &previous) != 0)
            continue;
        // A signal ignored by whoever started the program (nohup, a
        // background job) stays ignored.
        if (previous.sa_handler == SIG_IGN)
            continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = forwardSignal;
        sigemptyset(&action.sa_mask);
        // A second signal while shutting down ends the program at once, in
        // case the orderly way hangs.
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        sigaction(signalNumber, &action, nullptr);
    }
}
#endif

} // namespace

void Widget::onExit()
{
    // The menu, a signal and the session's end may all arrive: the sizes are
    // written and the effect program stopped once.
    if (shuttingDown)
        return;
    shuttingDown = true;

    // The icon leaves the notification area before anything that may take a
    // while, so the user sees the program go at once.
    delete trayIcon;
    trayIcon = nullptr;
    delete overlay;
    overlay = nullptr;

    saveSizes();
    killEffect(currentMode);
    QCoreApplication::exit(0);
}

void Widget::saveSizes()
{
    QSettings settings(settingsPath(), QSettings::IniFormat);
    settings.setValue("/config/MagnifeerSize", magnifierSize);
    settings.setValue("/config/QyLightSize", qyLightSize);
    settings.setValue("/config/redDotrixSize", redDotrixSize);
    // Flushed now rather than when the object goes: the effect program is
    // stopped next, and the sizes must be on disk whatever happens then.
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qDebug() << "Settings not written:" << settingsPath();
}

void Widget::installSessionEndHandlers()
{
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
#ifndef QT_NO_SESSIONMANAGER
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { onExit(); });
#endif
    }
    // Whatever ends the event loop (a session manager's quit, the last window
    // closed) goes through the same steps as the menu's exit.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { onExit(); });

#ifdef Q_OS_UNIX
    if (!openSignalPipe()) {
        qDebug() << "Termination signals not caught:" << strerror(errno);
        return;
    }
    terminationNotifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(terminationNotifier, &QSocketNotifier::activated, this, [this] { onTerminationSignal(); });
    catchTerminationSignals();
#endif
}

void Widget::onTerminationSignal()
{
#ifdef Q_OS_UNIX
    char received[16];
    ssize_t count;
    bool any = false;
    while ((count = read(signalPipe[0], received, sizeof received)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            qDebug() << "Signal" << int(received[i]) << "received, exiting";
        any = true;
    }
    if (!any)
        return;
#endif
    onExit();
}
