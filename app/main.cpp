#include <QColor>
#include <QFile>
#include <QPalette>

#include <cstdio>
#include <cstring>

#include "app/singleapplication.h"
#include "core/session.h"
#include "mainwindow/widget.h"
#include "ui/language.h"

namespace {

constexpr char kUsage[] = "Usage: quorvant [--help | --version]\n"
                          "The laser presenter pen's companion: from the system tray it follows the\n"
                          "pen's presentation mode and edits the pen's keys. Started again while it\n"
                          "runs, it brings up the window of the copy already running.\n"
                          "\n"
                          "  --help     show this text and exit\n"
                          "  --version  show the version and exit\n"
                          "\n"
                          "Any other argument, such as the autostart entry's -bg, is accepted; the\n"
                          "program starts in the tray either way.\n";

// Usage and the version are answered before anything starts: no display,
// tray, single-instance socket or receiver is touched. Every other argument
// is the autostart entry's and is accepted as it is.
bool answeredOnCommandLine(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quorvant %s\n", QUORVANT_VERSION);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (answeredOnCommandLine(argc, argv))
        return 0;
    // Nothing here draws with OpenGL, yet the first translucent window would
    // make Qt load the whole OpenGL stack, tens of megabytes, for good.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    SingleApplication app(argc, argv);
    // A tray program: closing its last window leaves it running.
    QApplication::setQuitOnLastWindowClosed(false);
    quorvantInitResources();

    QFile styleFile(QCoreApplication::applicationDirPath() + "/data/blue.css");
    styleFile.open(QFile::ReadOnly);
    const QByteArray style = styleFile.readAll();
    // The sheet ends at the first NUL byte, as text read from a C string would.
    app.setStyleSheet(QString::fromLatin1(style.constData(), qstrnlen(style.constData(), style.size())));

    QColor base;
    base.setNamedColor("#F0F0F0");
    QApplication::setPalette(QPalette(base));

    if (app.isRunning())
        return 0;
    language::install();

    int exitCode = 0;
    {
        Session session;
        Widget window(&session);
        // Hidden in the tray however it was started, at login or by hand; a
        // later copy brings the window up.
        app.mainWindow = &window;
        window.hide();
        exitCode = app.exec();
        app.mainWindow = nullptr;
    }
    return exitCode;
}
