// The frameless title bar that the main window and the navigation window
// share: its icon, its icon-font close button and dragging the window by it.
// Each window keeps its own drag state and calls these from its handlers.
#pragma once

#include <QPoint>
#include <QString>

class QAbstractButton;
class QLabel;
class QMouseEvent;
class QWidget;

namespace titlebar {

// The icon font, compiled in, whose U+F00D is a close cross.
extern const char *const iconFontFile;
constexpr char16_t closeGlyph = 0xF00D;

// Replaces the form's icon with dataDir + "/11.png", so the picture can be
// changed beside the program. A missing file leaves the label empty.
void setIcon(QLabel *icon, const QString &dataDir);

// Registers the icon font and shows its close cross at 15 points on the
// button. Returns false when the font could not be registered; the button
// then shows a plain multiplication sign instead of a glyph no font has.
bool setCloseGlyph(QAbstractButton *button, const QString &fontFile = iconFontFile);

// The set-up each window runs right after its form is built: the icon from
// the data folder beside the program, `window` as event filter on the title
// (to swallow double clicks there), and the close glyph.
void setUp(QWidget *window, QLabel *icon, QLabel *title, QAbstractButton *close);

// Mouse handling for dragging `window` by any part the children leave to it.
void press(QWidget *window, QMouseEvent *event, bool &dragging, QPoint &dragOffset);
void move(QWidget *window, QMouseEvent *event, bool dragging, const QPoint &dragOffset);
void release(bool &dragging);

} // namespace titlebar
