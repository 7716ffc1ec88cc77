// quorvant-pen-window: the pen and its receiver on the screen, for trying the
// program without a pen at hand. It talks to a running `quorvant-pen serve`.
#include "penwindow.h"
#include "wire.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorvant-pen-window"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "Presses the simulated pen and shows its receiver, through a running 'quorvant-pen serve'."));
    parser.addHelpOption();
    const QCommandLineOption socket(QStringLiteral("socket"),
        QCoreApplication::translate("main",
            "The daemon's socket; else $QUORVANT_SIM_SOCKET, else $XDG_RUNTIME_DIR/quorvant-pen.sock, "
            "else /tmp/quorvant-pen-<uid>.sock."),
        QStringLiteral("PATH"));
    parser.addOption(socket);
    parser.process(app);

    PenWindow window(parser.isSet(socket) ? parser.value(socket).toStdString() : sim::wire::socketPath());
    window.show();
    return app.exec();
}
