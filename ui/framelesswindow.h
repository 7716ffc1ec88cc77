// What a window without the platform's frame needs to behave like one: its
// title bar (icon, icon-font close button) set up, dragging by any part its
// children leave to it, double clicks on its title swallowed, and Return,
// Enter and Escape kept from the window's default handling. One helper for
// every such window; it owns the drag.
#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QAbstractButton;
class QLabel;
class QWidget;

namespace chrome {
// The icon font, compiled in, whose U+F00D is a close cross.
extern const char *const iconFontFile;
constexpr char16_t closeGlyph = 0xF00D;

// Registers the icon font and shows its close cross at 15 points on the
// button. False when the font could not be registered; the button then shows
// a plain multiplication sign instead of a glyph no font has.
bool setCloseGlyph(QAbstractButton *button, const QString &fontFile = iconFontFile);
} // namespace chrome

class FramelessWindow : public QObject
{
    Q_OBJECT

public:
    // The title bar's parts may be null for a window that has none, which
    // is then not dragged. The icon is replaced by "11.png" from the data
    // folder beside the program, so the picture can be changed there.
    FramelessWindow(
        QWidget *window, QLabel *icon = nullptr, QLabel *title = nullptr, QAbstractButton *close = nullptr);

    // What Return, Enter and Escape do; by default nothing.
    void onDismissKeys(std::function<void()> action) { dismiss = std::move(action); }

    bool dragging() const { return held; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window;
    QLabel *title;
    std::function<void()> dismiss;
    bool held = false;
    QPoint offset;
};
