#include "mainwindow/widget.h"

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QDesktopWidget>
#include <QKeyEvent>
#include <QMenu>

#include "device/usbhid.h"
#include "mainwindow/settings.h"
#include "platform/platform.h"
#include "ui/dialogclient.h"

QString Widget::settingsPath()
{
    return QCoreApplication::applicationDirPath() + "/setting_Quorvant.ini";
}

void Widget::init()
{
    const SizeLevels sizes = readSizeLevels(settingsPath());
    magnifierSize = sizes.magnifierSize;
    qyLightSize = sizes.qyLightSize;
    redDotrixSize = sizes.redDotrixSize;

    setAutoStart();

    auto *navigationAction = new QAction(tr("Function navigation (&S)"), this);
    auto *exitAction = new QAction(tr("Exit(&E)"), this);
    auto *trayMenu = new QMenu(QApplication::desktop());
    trayMenu->addAction(navigationAction);
    trayMenu->addAction(exitAction);

    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setContextMenu(trayMenu);
    // The menu belongs to the desktop, which outlives this window; it is of
    // no use once the icon it pops up from is gone.
    connect(trayIcon, &QObject::destroyed, trayMenu, &QObject::deleteLater);

    // Both pictures are read once; the icon is handed to the system when the
    // receiver comes or goes.
    const QString dataDir = QCoreApplication::applicationDirPath() + "/data";
    presentIcon = QIcon(dataDir + "/3.png");
    absentIcon = QIcon(dataDir + "/2.png");
    trayState = -1;
    if (usbHid && trayIcon) {
        showPresence(usbHid->present());
        connect(usbHid, &usbhid::presenceChanged, this, &Widget::showPresence);
        connect(usbHid, &usbhid::arrived, this, &Widget::requestReadBack);
    }

    trayIcon->setToolTip(tr("Quorvant"));
    trayIcon->setVisible(true);

    connect(trayIcon, SIGNAL(activated(QSystemTrayIcon::ActivationReason)), this,
        SLOT(iconIsActived(QSystemTrayIcon::ActivationReason)));
    connect(navigationAction, SIGNAL(triggered()), this, SLOT(onNavigation()));
    connect(exitAction, SIGNAL(triggered()), this, SLOT(onExit()));

    restoreCursors();
    installSessionEndHandlers();
    update();
}

void Widget::setAutoStart()
{
    if (!platform->writeAutostart(QCoreApplication::applicationFilePath().toStdString()))
        qDebug() << "Autostart entry not written";
    update();
}

void Widget::showBalloon(const QString &title, const QString &text)
{
    if (trayIcon)
        trayIcon->showMessage(title, text, QSystemTrayIcon::Information, 10000);
}

void Widget::showPresence(bool present)
{
    const int state = present ? 1 : 0;
    if (!trayIcon || state == trayState)
        return;
    trayIcon->setIcon(present ? presentIcon : absentIcon);
    trayState = state;
}

void Widget::requestReadBack()
{
    // Once the program is on its way out, the receiver is of no interest.
    if (!usbHid || shuttingDown)
        return;
    // One request per appearance of the receiver: a failed one is not
    // repeated until it has been away and come back (or could be opened).
    const protocol::OutputReport request = protocol::readBackRequest();
    if (usbHid->writeReport(request.data()) >= 1)
        qDebug() << "Write Usb Hid Read KeyValue SUCC!";
    else
        qDebug() << "Write Usb Hid Read KeyValue Fail!";
}

void Widget::iconIsActived(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        onNavigation();
}

void Widget::onExit_clicked()
{
    if (trayIcon) {
        hide();
        trayIcon->setVisible(true);
        showBalloon(tr("Prompt"), tr("This is TALVE laser intelligent pen management software!"));
    }
    update();
}

void Widget::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->ignore();
        onExit_clicked();
        break;
    default:
        // Swallowed: the window has no other keys, and QWidget's default
        // would only pass them on to the parent, of which there is none.
        break;
    }
}

void Widget::onNavigation()
{
    if (!navDialog)
        navDialog = new DialogClient(this);
    navDialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    navDialog->show();
    update();
}
