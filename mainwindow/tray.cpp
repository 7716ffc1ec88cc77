#include "mainwindow/widget.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QDesktopWidget>
#include <QMenu>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>

#include "core/session.h"
#include "core/usbhid.h"
#include "mainwindow/trayhost.h"
#include "ui/dialogclient.h"
#include "ui_widget.h"

void Widget::init()
{
    auto *navigationAction = new QAction(tr("Function navigation (&S)"), this);
    auto *keysAction = new QAction(tr("Key settings (&K)"), this);
    auto *exitAction = new QAction(tr("Exit(&E)"), this);
    trayActions = { navigationAction, keysAction, exitAction };
    connect(navigationAction, SIGNAL(triggered()), this, SLOT(onNavigation()));
    connect(keysAction, SIGNAL(triggered()), this, SLOT(onKeySettings()));
    connect(exitAction, SIGNAL(triggered()), this, SLOT(onExit()));

    // The pictures are read once; the icon is handed to the system when the
    // receiver comes, goes, or turns out not to be this user's to open.
    const QString dataDir = QCoreApplication::applicationDirPath() + "/data";
    presentIcon = QIcon(dataDir + "/3.png");
    absentIcon = QIcon(dataDir + "/2.png");
    deniedIcon = QIcon(dataDir + "/4.png");
    connect(&session->link(), &usbhid::presenceChanged, this, &Widget::showPresence);
    connect(&session->link(), &usbhid::deniedChanged, this, &Widget::showPresence);
    connect(&session->link(), &usbhid::openDenied, this, [this](const QString &path) {
        qDebug() << "Receiver not opened, permission denied:" << path;
        showBalloon(tr("Prompt"),
            tr("The pen's receiver is plugged in, but this user may not use it. Install Quorvant's "
               "package, or copy its udev rule 70-quorvant.rules to /etc/udev/rules.d/; the receiver "
               "is then taken at once."));
    });

    // Started with the session, the program may come before the panel: the
    // icon waits for it, since Qt settles with the icon whether it shows
    // through a StatusNotifierItem or an XEmbed tray.
    trayHost = new TrayHost(this);
    connect(trayHost, &TrayHost::hostAppeared, this, &Widget::makeTrayIcon);
    makeTrayIcon();

    watchSessionEnd();
}

void Widget::makeTrayIcon()
{
    // No icon on the way out; the one icon waits for a notification area.
    if (session->finished() || trayIcon || !trayHost->available())
        return;
    trayHost->settle();

    auto *trayMenu = new QMenu(QApplication::desktop());
    trayMenu->addActions(trayActions);
    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setContextMenu(trayMenu);
    // The menu belongs to the desktop, which outlives this window; it is of
    // no use once the icon it pops up from is gone. Emptied first: the
    // entries Qt exports for a StatusNotifierItem go only with their actions.
    connect(trayIcon, &QObject::destroyed, trayMenu, [trayMenu] {
        trayMenu->clear();
        trayMenu->deleteLater();
    });
    trayState = -1;
    showPresence();
    connect(trayIcon, SIGNAL(activated(QSystemTrayIcon::ActivationReason)), this,
        SLOT(iconIsActived(QSystemTrayIcon::ActivationReason)));
    trayIcon->setVisible(true);
}

void Widget::showBalloon(const QString &title, const QString &text)
{
    if (trayIcon)
        trayIcon->showMessage(title, text, QSystemTrayIcon::Information, 10000);
}

void Widget::showPresence()
{
    const usbhid &link = session->link();
    const int state = !link.present() ? 0 : link.denied() ? 2 : 1;
    if (!trayIcon || state == trayState)
        return;
    const QIcon *icons[] = { &absentIcon, &presentIcon, &deniedIcon };
    const QString tips[] = {
        tr("Quorvant: receiver not plugged in"),
        tr("Quorvant: receiver plugged in"),
        tr("Quorvant: receiver plugged in, but this user may not open it (see quorvant-diagnose)"),
    };
    trayIcon->setIcon(*icons[state]);
    trayIcon->setToolTip(tips[state]);
    trayState = state;
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
    } else if (!session->finished()) {
        // No notification area (yet) to hide to: hidden, the window could be
        // found again only by starting the program anew. It steps aside into
        // the task bar instead, and the pen keeps working.
        showMinimized();
    }
}

void Widget::closeEvent(QCloseEvent *event)
{
    if (session->finished()) {
        // On the way out: nothing to hide to.
        event->accept();
        return;
    }
    event->ignore();
    onExit_clicked();
}

void Widget::onKeySettings()
{
    // The picture that covers the grid, and the white panels under it, go
    // while the editor is up; shown any other way, the window is as it has
    // always been.
    for (QWidget *cover : { static_cast<QWidget *>(ui->textEdit), static_cast<QWidget *>(ui->textBrowser),
             static_cast<QWidget *>(ui->textBrowser_2) })
        cover->hide();
    ui->widget_columns->show();
    show();
    raise();
    activateWindow();
}

void Widget::hideEvent(QHideEvent *event)
{
    // A tray program is hidden most of its life: the window system's window
    // and the pixels behind it go until the window is shown again.
    QTimer::singleShot(0, this, [this] {
        if (isHidden())
            destroy();
    });
    for (QWidget *cover : { static_cast<QWidget *>(ui->textEdit), static_cast<QWidget *>(ui->textBrowser),
             static_cast<QWidget *>(ui->textBrowser_2) })
        cover->show();
    ui->widget_columns->hide();
    QWidget::hideEvent(event);
}

void Widget::onNavigation()
{
    navDialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    navDialog->show();
}
