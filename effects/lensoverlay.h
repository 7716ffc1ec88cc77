#pragma once

#include "overlay.h"

#include <QPixmap>

// The magnifier: a round lens with a thin border on the pointer, showing the
// screen around the pointer enlarged `kLensZoom` times. `pixels` is the lens
// diameter.
//
// The lens shows the live screen when the system keeps it out of its own
// screen grabs. Otherwise it shows a picture of the screen taken before the
// lens appeared, so it never shows itself.
class LensOverlay : public EffectOverlay
{
    Q_OBJECT

public:
    static constexpr int kBorder = 2;
    static QColor borderColour() { return QColor(40, 40, 40); }

    LensOverlay(QScreen *screen, bool composited, FrameStats *stats);

    // Works from this picture of the screen from now on; a null picture
    // means the live screen.
    void setPicture(const QPixmap &picture);
    bool live() const { return picture_.isNull(); }

    QRect footprint(const OverlayState &s) const override;
    // Where the lens is drawn, and the part of the screen it enlarges.
    QRect lens(const OverlayState &s) const;
    QRect source(const OverlayState &s) const;

    void idle() override;

protected:
    bool usesShape() const override { return true; }
    void paintEffect(QPainter &painter, const QRegion &dirty) override;

private:
    QPixmap grabSource(const QRect &area) const;

    QPixmap picture_;
};
