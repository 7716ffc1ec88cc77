#pragma once

#include "desktop.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QRegion>
#include <QTimer>
#include <memory>

class EffectOverlay;
class QScreen;

// What lies on one screen beneath the effect's own windows, as a picture that
// follows the screen: the system tells where it changed, and those parts are
// read again, at most `kRefreshMs` apart so that a busy screen costs little.
// Nothing is read while the screen holds still.
class Backdrop : public QObject
{
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 100;

    // A picture kept up to date through `reader`.
    Backdrop(QScreen *screen, std::unique_ptr<desktop::ScreenReader> reader, QObject *parent = nullptr);
    // A picture that stays as it is.
    explicit Backdrop(const QImage &still, QObject *parent = nullptr);
    ~Backdrop() override;

    // In the screen's device pixels, with their ratio set.
    const QImage &picture() const { return picture_; }
    bool live() const { return reader_ != nullptr; }

signals:
    // The picture changed in `area`, in the screen's own coordinates.
    void changed(const QRegion &area);

private:
    void note(const QRegion &global);
    void refresh();

    std::unique_ptr<desktop::ScreenReader> reader_;
    QRect native_; // the screen in the reader's pixels
    qreal ratio_ = 1.0;
    QImage picture_;
    QRegion pending_;
    QTimer timer_;
    QElapsedTimer sinceRefresh_;
};

// The screen beneath `overlay`, which is not shown yet: live where the system
// can leave the effect's windows out of its pictures, else taken now, once the
// screen holds still. Owned by the overlay.
Backdrop *backdropFor(EffectOverlay *overlay);

// A picture of the screen once it holds still: windows that just vanished
// (the previous effect's, say) leave holes until the applications beneath
// have repainted. Gives up waiting after `maxWaitMs`, for screens that never
// hold still.
QImage settledPicture(QScreen *screen, int maxWaitMs = 1000);
