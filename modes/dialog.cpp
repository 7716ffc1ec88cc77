#include "modes/dialog.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "ui/framelesswindow.h"
#include "ui_dialog.h"

namespace {

// Half the side of the circle's square for levels 1 to 4; index 0 serves
// every other level.
constexpr int kHalfSides[] = { 128, 50, 70, 90, 110 };

int halfSide(int level)
{
    return level >= 1 && level <= 4 ? kHalfSides[level] : kHalfSides[0];
}

// Keeps [centre - half, centre + half) on a line of that length.
int squareStart(int centre, int half, int length)
{
    if (centre + half >= length)
        return length - 2 * half;
    if (centre <= half)
        return 0;
    return centre - half;
}

} // namespace

Dialog::Dialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Dialog)
{
    ui->setupUi(this);
    // The overlay stays up until whoever showed it hides it.
    new FramelessWindow(this);
    // Like the effect programs' windows, it never takes the focus from the
    // slide show beneath.
    setWindowFlags(
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_MouseTracking);
    // As large as the desktop. The picture of it is taken only when the
    // overlay is shown: held from start-up it would cost megabytes for a
    // window that may never appear, and keep a copy of whatever the user had
    // on screen then.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        resize(screen->geometry().size());
    setCursor(Qt::BlankCursor);
}

Dialog::~Dialog()
{
    delete ui;
    ui = nullptr;
}

void Dialog::setLevel(int newLevel)
{
    level = newLevel;
    update();
}

QRect Dialog::circleSquare(const QPoint &pointer, int level, int screenWidth, int screenHeight)
{
    const int half = halfSide(level);
    return QRect(squareStart(pointer.x(), half, screenWidth), squareStart(pointer.y(), half, screenHeight),
        2 * half, 2 * half);
}

void Dialog::setVisible(bool visible)
{
    // Taken before the overlay is up, or it would capture its own veil.
    if (visible && !isVisible()) {
        grab = captureDesktop();
        if (!grab.isNull())
            resize(grab.size());
    }
    QDialog::setVisible(visible);
    if (!visible)
        grab = QPixmap();
}

QPixmap Dialog::captureDesktop() const
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->grabWindow(0) : QPixmap();
}

void Dialog::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setOpacity(0.4);
    painter.fillRect(0, 0, width(), height(), QColor(0, 0, 0, 255));

    painter.setOpacity(1.0);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.setPen(QPen(QBrush(Qt::white), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));

    const QRect square = circleSquare(QCursor::pos(), level, width(), height());
    if (!grab.isNull()) {
        // The captured pixels land exactly where they were taken, unscaled.
        QBrush brush(grab.copy(square));
        brush.setTransform(QTransform::fromTranslate(square.left(), square.top()));
        painter.setBrush(brush);
    }
    painter.drawEllipse(square);

    // The circle follows the pointer by painting again and again while shown.
    update();
}
