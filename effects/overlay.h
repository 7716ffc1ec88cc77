#pragma once

#include <QPoint>
#include <QRegion>
#include <QWidget>

class FrameStats;
class QScreen;

// Where an effect stands on one screen.
struct OverlayState
{
    bool here = false; // the pointer is on this overlay's screen
    QPoint pointer; // in the overlay's own coordinates; meaningless unless `here`
    int pixels = 0; // the effect's size in pixels

    bool operator==(const OverlayState &o) const
    {
        return here == o.here && pixels == o.pixels && (!here || pointer == o.pointer);
    }
    bool operator!=(const OverlayState &o) const { return !(*this == o); }
};

// A window that covers one screen, stays on top, lets every click through and
// draws an effect around the pointer. It repaints only the places the effect
// leaves and enters.
//
// On a desktop that composites, the window is translucent. Otherwise an effect
// that covers little of the screen (`usesShape`) gives its window the shape of
// what it draws, and one that covers all of it paints opaquely.
class EffectOverlay : public QWidget
{
    Q_OBJECT

public:
    EffectOverlay(QScreen *screen, bool composited, FrameStats *stats);

    // Moves the effect to the global position `global` at size `pixels`;
    // `here` says whether that position belongs to this overlay's screen.
    void follow(QPoint global, int pixels, bool here);

    // Follows a change of the screen's geometry.
    void fitScreen();

    // Shows the overlay for the first time.
    void present();

    // While aside, the effect is not drawn, and leaves its place at once: for
    // a picture of the screen beneath, where the system cannot leave the
    // overlay out of it.
    void stepAside(bool aside);

    QScreen *targetScreen() const { return screen_; }
    const OverlayState &state() const { return state_; }
    bool composited() const { return composited_; }
    bool shaped() const { return !composited_ && usesShape(); }

    // The area painted for state `s`, in the overlay's coordinates. Outside it
    // the overlay shows its resting look.
    virtual QRect footprint(const OverlayState &s) const = 0;

protected:
    virtual bool usesShape() const { return false; }
    // The window's shape in shaped mode; by default the ellipse in the footprint.
    virtual QRegion shape(const OverlayState &s) const;
    virtual void paintEffect(QPainter &painter, const QRegion &dirty) = 0;

    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

    // Repaints the effect where it stands, for content that changes by itself.
    void refresh();

private:
    void reveal(const QRegion &dirty);

    QScreen *screen_;
    bool composited_;
    bool presented_ = false;
    bool aside_ = false;
    FrameStats *stats_;
    OverlayState state_;
};
