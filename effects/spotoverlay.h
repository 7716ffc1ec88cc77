#pragma once

#include "overlay.h"

#include <QImage>

class Backdrop;

// The spotlight: the screen under a 40 % black veil, with a clear circle on the
// pointer, outlined by a thin white line. `pixels` is the circle's radius.
//
// On a desktop that composites the veil is translucent and everything under
// it stays live. Otherwise the overlay paints its backdrop, the screen beneath
// it: dimmed, and clear inside the circle. A live backdrop keeps that live; the
// parts that change are painted again.
class SpotOverlay : public EffectOverlay
{
    Q_OBJECT

public:
    static constexpr int kVeilAlpha = 102; // 40 % of 255

    SpotOverlay(QScreen *screen, bool composited, FrameStats *stats);

    // Without a compositor: shows `backdrop` from now on, and keeps it.
    void setBackdrop(Backdrop *backdrop);

    QRect footprint(const OverlayState &s) const override;
    // The circle for state `s`, kept on the screen.
    QRect circle(const OverlayState &s) const;

protected:
    void paintEffect(QPainter &painter, const QRegion &dirty) override;

private:
    const QImage &picture() const;
    void dim(const QRegion &area);

    Backdrop *backdrop_ = nullptr;
    QImage blank_;
    QImage dimmed_;
};
