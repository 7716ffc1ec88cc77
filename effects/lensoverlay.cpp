#include "lensoverlay.h"

#include "geometry.h"
#include "sizemap.h"

#include <QPainter>
#include <QScreen>

LensOverlay::LensOverlay(QScreen *screen, bool composited, FrameStats *stats)
    : EffectOverlay(screen, composited, stats)
{
}

void LensOverlay::setPicture(const QPixmap &picture)
{
    picture_ = picture;
    update();
}

QRect LensOverlay::lens(const OverlayState &s) const
{
    return geometry::keptInside(s.pointer, s.pixels, rect());
}

QRect LensOverlay::source(const OverlayState &s) const
{
    return geometry::keptInside(s.pointer, qMax(1, s.pixels / kLensZoom), rect());
}

QRect LensOverlay::footprint(const OverlayState &s) const
{
    return lens(s).adjusted(-kBorder, -kBorder, kBorder, kBorder);
}

void LensOverlay::idle()
{
    // A live lens follows what changes under it even while the pointer rests.
    if (live())
        refresh();
}

QPixmap LensOverlay::grabSource(const QRect &area) const
{
    if (live()) {
        const QRect global = area.translated(geometry().topLeft() - targetScreen()->geometry().topLeft());
        return targetScreen()->grabWindow(0, global.x(), global.y(), global.width(), global.height());
    }
    const qreal ratio = picture_.devicePixelRatio();
    return picture_.copy(QRectF(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio).toRect());
}

void LensOverlay::paintEffect(QPainter &painter, const QRegion &dirty)
{
    if (shaped()) {
        // The rim of the shape around the round lens.
        for (const QRect &r : dirty)
            painter.fillRect(r, borderColour());
    }
    const OverlayState &s = state();
    if (!s.here)
        return;

    const QRect round = lens(s);
    QPixmap enlarged = grabSource(source(s));
    enlarged.setDevicePixelRatio(1.0);
    enlarged = enlarged.scaled(round.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    QBrush glass(enlarged);
    glass.setTransform(QTransform::fromTranslate(round.left(), round.top()));

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setPen(QPen(borderColour(), kBorder));
    painter.setBrush(glass);
    painter.drawEllipse(QRectF(round).adjusted(0.5, 0.5, -0.5, -0.5));
}
