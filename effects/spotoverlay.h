#pragma once

#include "overlay.h"

#include <QPixmap>

// The spotlight: the screen under a 40 % black veil, with a clear circle on the
// pointer, outlined by a thin white line. `pixels` is the circle's radius.
//
// On a desktop that composites the veil is translucent and everything under
// it stays live. Otherwise the overlay paints a picture of the screen taken
// before it appeared: dimmed, and clear inside the circle.
class SpotOverlay : public EffectOverlay
{
    Q_OBJECT

public:
    static constexpr int kVeilAlpha = 102; // 40 % of 255

    SpotOverlay(QScreen *screen, bool composited, FrameStats *stats, const QPixmap &picture = QPixmap());

    QRect footprint(const OverlayState &s) const override;
    // The circle for state `s`, kept on the screen.
    QRect circle(const OverlayState &s) const;

protected:
    void paintEffect(QPainter &painter, const QRegion &dirty) override;

private:
    QPixmap picture_;
    QPixmap dimmed_;
};
