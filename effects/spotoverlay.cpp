#include "spotoverlay.h"

#include "geometry.h"

#include <QPainter>

SpotOverlay::SpotOverlay(QScreen *screen, bool composited, FrameStats *stats, const QPixmap &picture)
    : EffectOverlay(screen, composited, stats)
    , picture_(picture)
{
    if (!composited) {
        if (picture_.isNull()) {
            picture_ = QPixmap(size());
            picture_.fill(Qt::black);
        }
        // Dimmed once, so a frame only copies pixels.
        dimmed_ = picture_;
        QPainter veil(&dimmed_);
        veil.fillRect(dimmed_.rect(), QColor(0, 0, 0, kVeilAlpha));
    }
}

QRect SpotOverlay::circle(const OverlayState &s) const
{
    return geometry::keptInside(s.pointer, 2 * s.pixels, rect());
}

QRect SpotOverlay::footprint(const OverlayState &s) const
{
    // One pixel more on each side for the antialiased outline.
    return circle(s).adjusted(-2, -2, 2, 2);
}

void SpotOverlay::paintEffect(QPainter &painter, const QRegion &dirty)
{
    const OverlayState &s = state();
    if (composited()) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect &r : dirty)
            painter.fillRect(r, QColor(0, 0, 0, kVeilAlpha));
    } else {
        const qreal ratio = dimmed_.devicePixelRatio();
        const QRect pictured(QPoint(0, 0), dimmed_.size() / ratio);
        for (const QRect &r : dirty) {
            // A screen that grew since the picture was taken: dark beyond it.
            if (!pictured.contains(r))
                painter.fillRect(r, Qt::black);
            painter.drawPixmap(r, dimmed_, QRectF(r.topLeft() * ratio, r.size() * ratio));
        }
    }
    if (!s.here)
        return;

    const QRect round = circle(s);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    if (composited()) {
        // Punches the veil out: clear pixels show the live screen.
        painter.setBrush(Qt::transparent);
    } else {
        // The picture's pixels fall where they were taken.
        painter.setBrush(QBrush(picture_));
    }
    painter.drawEllipse(round);

    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawEllipse(QRectF(round).adjusted(0.5, 0.5, -0.5, -0.5));
}
