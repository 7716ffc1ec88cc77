#pragma once

#include "overlay.h"

// The laser pointer: a bright red dot with a soft glow, on the pointer.
// `pixels` is the diameter of the dot's core; the glow reaches as far again.
class DotOverlay : public EffectOverlay
{
    Q_OBJECT

public:
    using EffectOverlay::EffectOverlay;

    QRect footprint(const OverlayState &s) const override;

    // The colour at the very centre and at the edge of the core.
    static QColor centreColour() { return QColor(255, 110, 110); }
    static QColor coreColour() { return QColor(235, 0, 0); }

protected:
    bool usesShape() const override { return true; }
    void paintEffect(QPainter &painter, const QRegion &dirty) override;
};
