#include "lensoverlay.h"

#include "backdrop.h"
#include "geometry.h"
#include "sizemap.h"

#include <QPainter>

LensOverlay::LensOverlay(QScreen *screen, bool composited, FrameStats *stats)
    : EffectOverlay(screen, composited, stats)
{
}

void LensOverlay::setBackdrop(Backdrop *backdrop)
{
    backdrop_ = backdrop;
    backdrop_->setParent(this);
    connect(backdrop_, &Backdrop::changed, this, [this](const QRegion &area) {
        // Smooth scaling reads a pixel beyond the source's edge.
        if (state().here && area.intersects(source(state()).adjusted(-1, -1, 1, 1)))
            refresh();
    });
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
    const QRect area = source(s);
    QImage enlarged;
    if (backdrop_) {
        const QImage &picture = backdrop_->picture();
        const qreal ratio = picture.devicePixelRatio();
        enlarged
            = picture.copy(QRectF(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio).toRect());
        enlarged.setDevicePixelRatio(1.0);
        // Nothing read yet, or nothing to read on this desktop: an empty glass.
        if (!enlarged.isNull())
            enlarged = enlarged.scaled(round.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else {
        enlarged = QImage(round.size(), QImage::Format_RGB32);
        enlarged.fill(Qt::black);
    }

    QBrush glass(enlarged);
    glass.setTransform(QTransform::fromTranslate(round.left(), round.top()));

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setPen(QPen(borderColour(), kBorder));
    painter.setBrush(glass);
    painter.drawEllipse(QRectF(round).adjusted(0.5, 0.5, -0.5, -0.5));
}
