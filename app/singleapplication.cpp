#include "app/singleapplication.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

SingleApplication::SingleApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    serverName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    probe();
}

QString SingleApplication::serverNameFor(const QString &executableFileName)
{
#ifdef Q_OS_UNIX
    const QString runtimeDir = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtimeDir.isEmpty() && QFileInfo(runtimeDir).isDir())
        return QDir(runtimeDir).filePath(executableFileName);

    // Without a runtime directory, a folder of our own in the temp directory:
    // a name directly in /tmp could be taken, or answered, by anyone.
    const uid_t uid = getuid();
    const QString dir = QDir(QDir::tempPath()).filePath(QStringLiteral("quorvant-%1").arg(uid));
    const QByteArray dirBytes = QFile::encodeName(dir);
    mkdir(dirBytes.constData(), 0700);
    struct stat st;
    if (lstat(dirBytes.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid
        && (st.st_mode & 077) == 0)
        return QDir(dir).filePath(executableFileName);

    // Someone else holds that folder: run without a guard rather than trust it.
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("%1-%2-%3").arg(executableFileName).arg(uid).arg(getpid()));
#else
    return executableFileName;
#endif
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
