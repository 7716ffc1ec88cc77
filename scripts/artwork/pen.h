#pragma once

#include "canvas.h"

#include <QPointF>
#include <QVector>

// Where the six keys sit on a drawn pen, for callouts and leader lines.
struct PenKeys
{
    QVector<QPointF> centres; // key 1 to key 6
    QVector<qreal> radii;
};

// The presenter pen as a product shot: upright, laser end at the top, the six
// keys on the front. body is the pen's outline box; it should be about six
// times as long as it is wide.
PenKeys drawPen(Canvas &c, const QRectF &body);

// The pen as a flat symbol for small icons, drawn along a diagonal from the
// lower left to the upper right of box, laser end up.
struct PenSymbol
{
    QColor bodyLight;
    QColor bodyDark;
    QColor outline;
    QColor cap; // band at the laser end
    QColor keys; // key dots on the front
    qreal outlineWidth = 0;
};
void drawPenSymbol(QPainter &p, const QPointF &centre, qreal length, qreal width, const PenSymbol &s);

// Numbered callouts for the keys: badges in a column to the left of the pen,
// evenly spaced from firstY on, each joined to its key by a leader line.
void drawKeyCallouts(Canvas &c, const PenKeys &keys, qreal badgeX, qreal firstY, qreal step, qreal radius);
