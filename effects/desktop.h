#pragma once

class QWidget;

// What the effects need from the window system, one implementation per system.
namespace desktop {

// Whether translucent windows are blended with what lies beneath them. Without
// it, a translucent window's clear parts come out black, so the effects fall
// back on shaped windows and on a picture of the screen.
bool composites();

// Asks the system to leave `window` out of screen captures, so a live picture
// of the screen never shows the window itself. True when granted.
bool excludeFromCapture(QWidget *window);

// Makes the termination requests of the system end the event loop, so the
// effect leaves through its ordinary shutdown.
void quitOnTermination();

} // namespace desktop
