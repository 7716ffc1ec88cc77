#include "support/traydesktop.h"

#include <QLabel>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

// Forks and runs argv with its output discarded. The child dies with the
// test, so a test killed for its time-out leaves no X server behind.
pid_t spawn(const char *const argv[], int keepFd = -1)
{
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child != 0)
        return child;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        _exit(1);
    const int null = open("/dev/null", O_RDWR);
    for (int fd : { STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO })
        dup2(null, fd);
    if (null > STDERR_FILENO && null != keepFd)
        close(null);
    execvp(argv[0], const_cast<char *const *>(argv));
    _exit(127);
}

void end(pid_t &pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
    pid = 0;
}

QWidget *balloonWidget()
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->isVisible() && qstrcmp(top->metaObject()->className(), "QBalloonTip") == 0)
            return top;
    return nullptr;
}

} // namespace

TrayDesktop::~TrayDesktop()
{
    end(tray);
    end(server);
}

bool TrayDesktop::start(QString *error)
{
    // Xvfb picks a free display and writes its number once it accepts
    // connections: no guessing at numbers or start-up times.
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        *error = qt_error_string(errno);
        return false;
    }
    const QByteArray fd = QByteArray::number(pipeFds[1]);
    const char *const serverArgs[] = { "Xvfb", "-displayfd", fd.constData(), "-screen", "0", "1280x800x24",
        "-nolisten", "tcp", nullptr };
    server = spawn(serverArgs, pipeFds[1]);
    close(pipeFds[1]);
    QByteArray number;
    pollfd watch { pipeFds[0], POLLIN, 0 };
    char c = 0;
    while (server > 0 && !number.endsWith('\n') && poll(&watch, 1, 30000) > 0 && read(pipeFds[0], &c, 1) == 1)
        number += c;
    close(pipeFds[0]);
    if (!number.endsWith('\n')) {
        end(server);
        *error = QStringLiteral("Xvfb did not start (is it installed?)");
        return false;
    }

    qputenv("DISPLAY", ":" + number.trimmed());
    qputenv("QT_QPA_PLATFORM", "xcb");
    const char *const trayArgs[] = { "trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
        "--height", "32", "--SetDockType", "true", nullptr };
    tray = spawn(trayArgs);
    if (tray < 0) {
        end(server);
        *error = QStringLiteral("cannot fork trayer");
        return false;
    }
    return true;
}

QStringList visibleBalloon()
{
    QStringList texts;
    if (QWidget *balloon = balloonWidget()) {
        // The title label comes first, then the message.
        for (const QLabel *label : balloon->findChildren<QLabel *>())
            if (!label->text().isEmpty())
                texts << label->text();
    }
    return texts;
}

void dismissBalloons()
{
    while (QWidget *balloon = balloonWidget())
        balloon->hide();
}

} // namespace testsupport
