#include "spotoverlay.h"

#include "backdrop.h"
#include "geometry.h"

#include <QPainter>

SpotOverlay::SpotOverlay(QScreen *screen, bool composited, FrameStats *stats)
    : EffectOverlay(screen, composited, stats)
{
    if (!composited) {
        blank_ = QImage(size(), QImage::Format_RGB32);
        blank_.fill(Qt::black);
        dimmed_ = blank_;
    }
}

const QImage &SpotOverlay::picture() const
{
    return backdrop_ ? backdrop_->picture() : blank_;
}

void SpotOverlay::setBackdrop(Backdrop *backdrop)
{
    backdrop_ = backdrop;
    backdrop_->setParent(this);
    connect(backdrop_, &Backdrop::changed, this, [this](const QRegion &area) {
        dim(area);
        update(area);
    });
    dim(rect());
    update();
}

void SpotOverlay::dim(const QRegion &area)
{
    // Dimmed once per change, so a frame only copies pixels.
    const QImage &clear = picture();
    const qreal ratio = clear.devicePixelRatio();
    if (dimmed_.size() != clear.size() || dimmed_.devicePixelRatio() != ratio) {
        dimmed_ = QImage(clear.size(), QImage::Format_RGB32);
        dimmed_.setDevicePixelRatio(ratio);
    }
    QPainter veil(&dimmed_);
    for (const QRect &r : area) {
        veil.setCompositionMode(QPainter::CompositionMode_Source);
        veil.drawImage(r, clear, QRectF(QPointF(r.topLeft()) * ratio, QSizeF(r.size()) * ratio));
        veil.setCompositionMode(QPainter::CompositionMode_SourceOver);
        veil.fillRect(r, QColor(0, 0, 0, kVeilAlpha));
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
            painter.drawImage(r, dimmed_, QRectF(r.topLeft() * ratio, r.size() * ratio));
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
        painter.setBrush(QBrush(picture()));
    }
    painter.drawEllipse(round);

    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawEllipse(QRectF(round).adjusted(0.5, 0.5, -0.5, -0.5));
}
