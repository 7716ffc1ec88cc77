// quorvant-notice MILLISECONDS TEXT: the mode notice on the Wayland desktops
// that offer layer-shell surfaces (KDE Plasma, sway), where a window of the
// program's own can neither place itself nor keep out of the tiling. A
// process of its own, as layer-shell-qt makes every window of a process a
// layer surface.
#include "core/noticehelper.h"
#include "layershell.h"
#include "noticecard.h"
#include "platform/backendchoice.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

int main(int argc, char **argv)
{
    const backend::Kind kind = backend::choose(backend::currentSession()).kind;
    if (kind != backend::Kind::KWin && kind != backend::Kind::Wlroots)
        return noticehelper::kNoLayerShell;
    bool valid = argc == 3;
    const int milliseconds = valid ? QByteArray(argv[1]).toInt(&valid) : 0;
    if (!valid || milliseconds < 0)
        return noticehelper::kUsage;

    useLayerShell();
    QApplication app(argc, argv);
    notice::Card card(QString::fromUtf8(argv[2]));
    card.winId();
    prepareNoticeSurface(card.windowHandle(), noticehelper::kTop);
    card.show();
    QTimer::singleShot(milliseconds, &app, &QCoreApplication::quit);
    return app.exec();
}
