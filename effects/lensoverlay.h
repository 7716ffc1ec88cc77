#pragma once

#include "overlay.h"

class Backdrop;

// The magnifier: a round lens with a thin border on the pointer, showing the
// screen around the pointer enlarged `kLensZoom` times. `pixels` is the lens
// diameter.
//
// What it enlarges is its backdrop: the screen beneath the effect's windows,
// so the lens never shows itself. A live backdrop keeps the lens live; the
// lens is painted again whenever what lies under it changes.
class LensOverlay : public EffectOverlay
{
    Q_OBJECT

public:
    static constexpr int kBorder = 2;
    static QColor borderColour() { return QColor(40, 40, 40); }

    LensOverlay(QScreen *screen, bool composited, FrameStats *stats);

    // Enlarges `backdrop` from now on, and keeps it.
    void setBackdrop(Backdrop *backdrop);

    QRect footprint(const OverlayState &s) const override;
    // Where the lens is drawn, and the part of the screen it enlarges.
    QRect lens(const OverlayState &s) const;
    QRect source(const OverlayState &s) const;

protected:
    bool usesShape() const override { return true; }
    void paintEffect(QPainter &painter, const QRegion &dirty) override;

private:
    Backdrop *backdrop_ = nullptr;
};
