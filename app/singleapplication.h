// The application object, which is also the guard that keeps a second copy
// of the program from running: the first copy holds a lock file beside its
// local socket, and a later copy reaches it over that socket, which then
// brings its main window up.
#pragma once

#include <QApplication>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;
class QWidget;

class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    SingleApplication(int &argc, char **argv);
    ~SingleApplication() override;

    bool isRunning() const { return running; }

    // The socket name both copies agree on, out of other users' reach.
    static QString serverNameFor(const QString &executableFileName);

    QWidget *mainWindow = nullptr;

private slots:
    void _newLocalConnection();

private:
    void probe();
    // Whether a running copy answers on the socket: one attempt, and more
    // until withinMs is over.
    bool reachFirstCopy(const QString &name, int withinMs) const;
    void startLocalServer();
    void activateMainWindow();

    bool running = false;
    std::unique_ptr<QLockFile> lock;
    QLocalServer *localServer = nullptr;
    QString serverName;
};
