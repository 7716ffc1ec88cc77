#include "support/windowinput.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QWidget>

namespace testsupport {

bool sendMouse(QWidget *target, QEvent::Type type, const QPoint &screenPos, Qt::MouseButton button,
    Qt::MouseButtons buttons)
{
    const QPointF local = target->mapFromGlobal(screenPos);
    QMouseEvent event(type, local, local, QPointF(screenPos), button, buttons, Qt::NoModifier);
    return QApplication::sendEvent(target, &event);
}

QPoint screenCentre(const QWidget *widget)
{
    return widget->mapToGlobal(widget->rect().center());
}

QPixmap labelPixmap(const QLabel *label)
{
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    return label->pixmap(Qt::ReturnByValue);
#else
    return label->pixmap() ? *label->pixmap() : QPixmap();
#endif
}

} // namespace testsupport
