#include "mainwindow/widget.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include "core/session.h"
#include "modes/dialog.h"

void Widget::onExit()
{
    // The menu, a signal and the session's end may all arrive: the sizes are
    // written and the effect program stopped once.
    if (session->finished())
        return;
    // The icon leaves the notification area before anything that may take a
    // while, so the user sees the program go at once.
    delete trayIcon;
    trayIcon = nullptr;
    delete overlay;
    overlay = nullptr;
    session->finish();
    QCoreApplication::exit(0);
}

void Widget::watchSessionEnd()
{
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
#ifndef QT_NO_SESSIONMANAGER
        // Asked at a checkpoint as well as at a logout that may yet be
        // cancelled: the sizes are saved and the program goes on. A session
        // that does end says so by quitting the application or by a signal.
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) {
            if (!session->finished())
                session->saveSizes();
        });
#endif
    }
    // Whatever ends the event loop goes through the same steps as the menu's exit.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &Widget::onExit);
    connect(session, &Session::terminationRequested, this, &Widget::onExit);
}
