#include "ui/framelesswindow.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QWidget>
#include <QWindow>

namespace chrome {

const char *const iconFontFile = ":/images/fontawesome-webfont.ttf";

bool setCloseGlyph(QAbstractButton *button, const QString &fontFile)
{
    const int id = QFontDatabase::addApplicationFont(fontFile);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty()) {
        // Without the icon font U+F00D would be drawn as an empty box.
        button->setText(QString(QChar(0x00D7)));
        return false;
    }
    QFont iconFont(families.first());
    iconFont.setPointSize(15);
    button->setFont(iconFont);
    button->setText(QString(QChar(closeGlyph)));
    return true;
}

} // namespace chrome

FramelessWindow::FramelessWindow(QWidget *window_, QLabel *icon, QLabel *title_, QAbstractButton *close)
    : QObject(window_)
    , window(window_)
    , title(title_)
{
    if (icon)
        icon->setPixmap(QPixmap(QCoreApplication::applicationDirPath() + "/data/11.png"));
    if (title)
        title->installEventFilter(this);
    if (close)
        chrome::setCloseGlyph(close);
    window->installEventFilter(this);
}

bool FramelessWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == title) {
        // A double click on the title would otherwise reach the label.
        return event->type() == QEvent::MouseButtonDblClick;
    }
    if (watched != window)
        return false;
    // A window without a title bar, the overlay, is not for dragging.
    if (!title && event->type() != QEvent::KeyPress)
        return false;

    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // Presses the children leave to the window, on the title bar or on a
        // picture, drag it; the second press of a double click too, as a
        // widget takes it by default.
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        // A Wayland window cannot place itself: the desktop moves it.
        if (QGuiApplication::platformName() == QLatin1String("wayland") && window->windowHandle()
            && window->windowHandle()->startSystemMove())
            return true;
        held = true;
        // Kept for the whole drag, so the point under the cursor stays under it.
        offset = mouse->globalPos() - window->pos();
        return true;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (!held || mouse->buttons() == Qt::NoButton)
            return false;
        window->move(mouse->globalPos() - offset);
        return true;
    }
    case QEvent::MouseButtonRelease:
        held = false;
        return false;
    case QEvent::KeyPress:
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // A dialog would close on Escape and press its default button on
            // Return; these windows go away by their close button.
            event->ignore();
            if (dismiss)
                dismiss();
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}
