#pragma once

#include <QPoint>
#include <QRect>
#include <QVector>

namespace geometry {

// The square of side `side` centred on `centre`, moved as little as needed to
// lie inside `bounds`. When `bounds` is narrower than the square, the square is
// centred on `bounds` along that axis.
QRect keptInside(QPoint centre, int side, const QRect &bounds);

// The square of side `side` centred on `centre`, wherever that puts it.
QRect centredOn(QPoint centre, int side);

// Index of the screen that holds `point`; a point in a gap between screens
// (or beyond them) belongs to the nearest one. -1 when there are no screens.
int screenIndexAt(QPoint point, const QVector<QRect> &screens);

} // namespace geometry
