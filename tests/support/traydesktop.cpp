#include "support/traydesktop.h"

#include <QApplication>
#include <QLabel>
#include <QSystemTrayIcon>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

// Forks and runs argv with its output discarded. The child dies with the
// test, so a test killed for its time-out leaves no X server behind.
pid_t spawn(const char *const argv[])
{
    const pid_t parent = getpid(), child = fork();
    if (child != 0)
        return child;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        _exit(1);
    const int null = open("/dev/null", O_RDWR);
    for (int fd : { STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO })
        dup2(null, fd);
    if (null > STDERR_FILENO)
        close(null);
    execvp(argv[0], const_cast<char *const *>(argv));
    _exit(127);
}

struct Child
{
    pid_t pid = 0;
    ~Child()
    {
        if (pid > 0 && kill(pid, SIGTERM) == 0)
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
    }
};

// Xvfb picks a free display and writes its number once it accepts
// connections: no guessing at numbers or start-up times.
QByteArray startServer(Child &server)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return QByteArray();
    const QByteArray fd = QByteArray::number(pipeFds[1]);
    const char *const args[] = { "Xvfb", "-displayfd", fd.constData(), "-screen", "0", "1280x800x24",
        "-nolisten", "tcp", nullptr };
    server.pid = spawn(args);
    close(pipeFds[1]);
    QByteArray number;
    pollfd watch { pipeFds[0], POLLIN, 0 };
    char c = 0;
    while (server.pid > 0 && !number.endsWith('\n') && poll(&watch, 1, 30000) > 0
        && read(pipeFds[0], &c, 1) == 1)
        number += c;
    close(pipeFds[0]);
    return number.endsWith('\n') ? number.trimmed() : QByteArray();
}

QWidget *balloonWidget()
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->isVisible() && qstrcmp(top->metaObject()->className(), "QBalloonTip") == 0)
            return top;
    return nullptr;
}

} // namespace

int runOnTrayDesktop(int argc, char **argv, const std::function<int()> &test)
{
    Child server, tray;
    const QByteArray display = startServer(server);
    if (display.isEmpty()) {
        std::fprintf(stderr, "Xvfb did not start (is it installed?)\n");
        return 1;
    }
    qputenv("DISPLAY", ":" + display);
    qputenv("QT_QPA_PLATFORM", "xcb");
    // The program runs its windows without an OpenGL integration, so the
    // windows under test do too. With one, showing a window loads Mesa's GLX,
    // whose once-only allocations outlive the plugin's unloading and show as
    // leaks of an unknown module.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    const char *const trayArgs[] = { "trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
        "--height", "32", "--SetDockType", "true", nullptr };
    tray.pid = spawn(trayArgs);

    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    if (!QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 30000)) {
        std::fprintf(stderr, "the tray host never took the system tray\n");
        return 1;
    }
    return test();
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
