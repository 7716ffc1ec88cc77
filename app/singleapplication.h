// The application object, which is also the guard that keeps a second copy
// of the program from running: a later copy reaches the first one over a
// local socket, which then brings its main window up.
#pragma once

#include <QApplication>
#include <QString>

class QLocalServer;
class QWidget;

class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    SingleApplication(int &argc, char **argv);

    bool isRunning() const { return running; }

    // The socket name both copies agree on, out of other users' reach.
    static QString serverNameFor(const QString &executableFileName);

    QWidget *mainWindow = nullptr;

private slots:
    void _newLocalConnection();

private:
    void probe();
    void startLocalServer();
    void activateMainWindow();

    bool running = false;
    QLocalServer *localServer = nullptr;
    QString serverName;
};
