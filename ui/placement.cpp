#include "ui/placement.h"

#include "core/noticehelper.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace placement {

QRect screenAt(const QList<QRect> &screens, QPoint pointer, const QRect &primary)
{
    for (const QRect &screen : screens)
        if (screen.contains(pointer))
            return screen;
    return primary;
}

QPoint noticePosition(const QRect &screen)
{
    return screen.topLeft() + QPoint(screen.width() / 2 - noticehelper::kWidth / 2, noticehelper::kTop);
}

QPoint navigationPosition(const QRect &screen)
{
    return screen.topLeft()
        + QPoint(
            static_cast<int>((screen.width() - 800) * 0.5), static_cast<int>((screen.height() - 500) * 0.3));
}

QRect currentScreen()
{
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->geometry();
    const QScreen *primary = QGuiApplication::primaryScreen();
    return screenAt(screens, QCursor::pos(), primary ? primary->geometry() : QRect(0, 0, 0, 0));
}

} // namespace placement
