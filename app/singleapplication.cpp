#include "app/singleapplication.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
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

SingleApplication::~SingleApplication() = default;

bool SingleApplication::reachFirstCopy(const QString &name, int withinMs) const
{
    const QDeadlineTimer deadline(withinMs);
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(name, QIODevice::ReadWrite);
        if (socket.waitForConnected(500))
            return true;
        if (deadline.hasExpired())
            return false;
        // No socket yet: the copy that holds the lock is about to listen.
        QThread::msleep(20);
    }
}

void SingleApplication::probe()
{
    running = false;
    const QString name = serverNameFor(serverName);
    // Beside the socket, where the socket is a file; Windows names its
    // sockets apart from any folder.
    const QString lockName = QFileInfo(name).isAbsolute()
        ? name + QStringLiteral(".lock")
        : QDir::temp().filePath(name + QStringLiteral(".lock"));
    lock = std::make_unique<QLockFile>(lockName);
    // A lock is stale only when its holder is gone, never for its age: a copy
    // runs for weeks.
    lock->setStaleLockTime(0);
    // A copy that answers is running whatever the lock says: one started in
    // a process namespace of its own leaves a number there that means another
    // process here.
    bool answered = reachFirstCopy(name, 0);
    if (!answered && !lock->tryLock(100) && lock->error() == QLockFile::LockFailedError) {
        // Another copy holds the lock and is alive; one started at the same
        // moment listens a moment later.
        answered = reachFirstCopy(name, 2000);
        if (!answered) {
            // If we get here the holder is hung or is not this program at all.
            lock->removeStaleLockFile();
            lock->tryLock(0);
        }
    }
    if (answered) {
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
