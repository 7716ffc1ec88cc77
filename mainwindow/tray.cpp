#include "mainwindow/widget.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include "device/usbhid.h"
#include "ui/dialogclient.h"

QString Widget::settingsPath()
{
    return QCoreApplication::applicationDirPath() + "/setting_Quorvant.ini";
}

void Widget::init()
{
    setAutoStart();
    restoreCursors();
    startTimer(3, Qt::CoarseTimer);
    update();
}

void Widget::setAutoStart() {}

void Widget::showBalloon(const QString &title, const QString &text)
{
    if (trayIcon)
        trayIcon->showMessage(title, text, QSystemTrayIcon::Information, 10000);
}

void Widget::timerEvent(QTimerEvent *)
{
    update();
}

void Widget::iconIsActived(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        onNavigation();
}

void Widget::onExit_clicked()
{
    update();
}

void Widget::keyPressEvent(QKeyEvent *) {}

void Widget::onNavigation()
{
    if (!navDialog)
        navDialog = new DialogClient(this);
    navDialog->show();
    update();
}
