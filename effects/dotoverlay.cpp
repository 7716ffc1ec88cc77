#include "dotoverlay.h"

#include "geometry.h"

#include <QPainter>
#include <QRadialGradient>

QRect DotOverlay::footprint(const OverlayState &s) const
{
    // A shaped window cannot blend a glow with what lies beneath, so it shows
    // the core alone.
    const int side = shaped() ? s.pixels + 2 : 2 * s.pixels + 4;
    return geometry::centredOn(s.pointer, side);
}

void DotOverlay::paintEffect(QPainter &painter, const QRegion &dirty)
{
    if (shaped()) {
        // The rim of the shape around the round core.
        for (const QRect &r : dirty)
            painter.fillRect(r, coreColour());
    }
    const OverlayState &s = state();
    if (!s.here)
        return;

    const QPointF centre = QPointF(s.pointer) + QPointF(0.5, 0.5);
    const qreal reach = s.pixels; // glow radius: twice the core's
    QRadialGradient light(centre, reach);
    light.setColorAt(0.0, centreColour());
    light.setColorAt(0.2, QColor(255, 30, 30));
    light.setColorAt(0.5, coreColour());
    light.setColorAt(0.56, QColor(255, 0, 0, 150));
    light.setColorAt(1.0, QColor(255, 0, 0, 0));

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(light);
    painter.drawEllipse(centre, reach, reach);
}
