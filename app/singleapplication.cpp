#include "app/singleapplication.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

#include <cstdio>

#include "platform/platform.h"

SingleApplication::SingleApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    serverName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    probe();
}

QString SingleApplication::serverNameFor(const QString &executableFileName)
{
    return QString::fromStdString(platform::instanceSocketName(executableFileName.toStdString()));
}

void SingleApplication::probe()
{
    running = false;
    const QString name = serverNameFor(serverName);
    QLocalSocket socket;
    socket.connectToServer(name, QIODevice::ReadWrite);
    if (socket.waitForConnected(500)) {
        std::fprintf(stderr, "%s already running.\n", serverName.toLocal8Bit().constData());
        running = true;
        return;
    }
    startLocalServer();
}

void SingleApplication::startLocalServer()
{
    const QString name = serverNameFor(serverName);
    localServer = new QLocalServer(this);
    connect(localServer, SIGNAL(newConnection()), this, SLOT(_newLocalConnection()));
    if (!localServer->listen(name) && localServer->serverError() == QAbstractSocket::AddressInUseError) {
        // The probe found nobody answering, so the name is a leftover of a
        // copy that crashed.
        QLocalServer::removeServer(name);
        localServer->listen(name);
    }
}

void SingleApplication::_newLocalConnection()
{
    QLocalSocket *socket = localServer->nextPendingConnection();
    if (!socket)
        return;
    socket->waitForReadyRead(1000);
    delete socket;
    activateMainWindow();
}

void SingleApplication::activateMainWindow()
{
    if (!mainWindow)
        return;
    mainWindow->raise();
    mainWindow->activateWindow();
    mainWindow->setWindowFlags(mainWindow->windowFlags() & ~Qt::WindowMaximizeButtonHint);
    mainWindow->show();
}
