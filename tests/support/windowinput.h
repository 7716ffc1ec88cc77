// Mouse input with explicit screen positions, delivered the way Qt delivers
// it: to the widget under the cursor first, then up to its parents until one
// takes it. Dragging a window moves it under the cursor, so tests speak in
// screen positions rather than in widget positions that change as it moves.
#pragma once

#include <QEvent>
#include <QPixmap>
#include <QPoint>

class QLabel;
class QWidget;

namespace testsupport {

// Sends one mouse event to target. Returns whether a widget took it.
bool sendMouse(QWidget *target, QEvent::Type type, const QPoint &screenPos, Qt::MouseButton button,
    Qt::MouseButtons buttons);

// The screen position of the centre of a widget.
QPoint screenCentre(const QWidget *widget);

// The picture a label shows, null when it shows none.
QPixmap labelPixmap(const QLabel *label);

} // namespace testsupport
