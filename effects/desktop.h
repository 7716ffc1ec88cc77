#pragma once

#include <QImage>
#include <QObject>
#include <QRegion>
#include <memory>

class QWidget;

// What the effects need from the window system, one implementation per system.
namespace desktop {

// Whether translucent windows are blended with what lies beneath them. Without
// it, a translucent window's clear parts come out black, so the effects fall
// back on shaped windows and on a picture of the screen.
bool composites();

// Asks the system to leave `window` out of screen captures, so a live picture
// of the screen (readScreen's, at least) never shows the window itself. True
// when granted.
bool excludeFromCapture(QWidget *window);

// Makes the termination requests of the system end the event loop, so the
// effect leaves through its ordinary shutdown.
void quitOnTermination();

// Hears of the pointer's motion as it happens, so that nobody needs to look
// at the pointer while it rests.
class PointerMotion : public QObject
{
    Q_OBJECT

signals:
    // The pointer moved, or may have; a quick move comes as a burst of these.
    void moved();
};

// Null where the system does not tell of motion by itself, and the pointer
// must be looked at now and then instead.
std::unique_ptr<PointerMotion> watchPointer();

// Reads the screen as it would look without the windows left out of captures,
// and tells where it changed since.
class ScreenReader : public QObject
{
    Q_OBJECT

public:
    // The pixels of `area`, in the system's own pixels of the whole desktop.
    // Null when they cannot be read.
    virtual QImage read(const QRect &area) = 0;

signals:
    // What lies in `area` may look different from when it was last read.
    void changed(const QRegion &area);
};

// Null where the screen cannot be read without this program's own windows.
std::unique_ptr<ScreenReader> readScreen();

} // namespace desktop
