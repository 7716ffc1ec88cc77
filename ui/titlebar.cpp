#include "ui/titlebar.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

namespace titlebar {

const char *const iconFontFile = ":/images/fontawesome-webfont.ttf";

void setIcon(QLabel *icon, const QString &dataDir)
{
    icon->setPixmap(QPixmap(dataDir + "/11.png"));
}

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

void setUp(QWidget *window, QLabel *icon, QLabel *title, QAbstractButton *close)
{
    setIcon(icon, QCoreApplication::applicationDirPath() + "/data");
    title->installEventFilter(window);
    setCloseGlyph(close);
}

void press(QWidget *window, QMouseEvent *event, bool &dragging, QPoint &dragOffset)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragging = true;
    // Kept for the whole drag, so the point under the cursor stays under it.
    dragOffset = event->globalPos() - window->pos();
    event->accept();
}

void move(QWidget *window, QMouseEvent *event, bool dragging, const QPoint &dragOffset)
{
    if (!dragging || event->buttons() == Qt::NoButton)
        return;
    window->move(event->globalPos() - dragOffset);
    event->accept();
}

void release(bool &dragging)
{
    dragging = false;
}

} // namespace titlebar
