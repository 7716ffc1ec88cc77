#include <QColor>
#include <QFile>
#include <QPalette>

#include "app/singleapplication.h"
#include "core/session.h"
#include "mainwindow/widget.h"
#include "ui/language.h"

int main(int argc, char *argv[])
{
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
        // Started by the autostart entry (any argument), the window is not
        // brought up by a later copy.
        if (argc == 1) {
            app.mainWindow = &window;
            window.hide();
        }
        exitCode = app.exec();
        app.mainWindow = nullptr;
    }
    return exitCode;
}
