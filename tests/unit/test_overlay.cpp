// The spotlight overlay: where its circle goes, what it paints, and when it
// holds a picture of the desktop.
#include <QCursor>
#include <QImage>
#include <QPainter>
#include <QtTest>

#include "mainwindow/widget.h"
#include "modes/dialog.h"
#include "support/ipcsandbox.h"
#include "support/recordingplatform.h"
#include "support/traydesktop.h"

#include <cstdio>

namespace {

// A desktop whose every pixel tells where it came from.
QPixmap patternDesktop(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, 77));
    return QPixmap::fromImage(image);
}

// The overlay with a desktop picture of our choosing, counting how often it
// is taken.
class PatternDialog : public Dialog
{
public:
    using Dialog::Dialog;
    QSize desktop;
    int captures = 0;

protected:
    QPixmap captureDesktop() const override
    {
        ++const_cast<PatternDialog *>(this)->captures;
        return patternDesktop(desktop);
    }
};

} // namespace

class OverlayTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void circleSquare_data();
    void circleSquare();

    void startsWithoutAPicture();
    void pictureIsTakenOnShowAndDroppedOnHide();
    void painting_data();
    void painting();
    void keys_data();
    void keys();

private:
    QImage render(Dialog *dialog) const;

    IpcSandbox sandbox;
    RecordingPlatform *platform = nullptr;
    Widget *window = nullptr;
};

void OverlayTest::initTestCase()
{
    quorvantInitResources();
}

void OverlayTest::init()
{
    platform = new RecordingPlatform;
    window = new Widget(nullptr, platform);
}

void OverlayTest::cleanup()
{
    delete window;
    window = nullptr;
    delete platform;
    platform = nullptr;
}

void OverlayTest::circleSquare_data()
{
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<int>("level");
    QTest::addColumn<QRect>("square");

    // On a 1920 x 1080 desktop.
    QTest::newRow("level 3 near the top left corner") << QPoint(10, 10) << 3 << QRect(0, 0, 180, 180);
    QTest::newRow("level 1 near the bottom right corner")
        << QPoint(1900, 1070) << 1 << QRect(1820, 980, 100, 100);
    QTest::newRow("level 2 in the middle") << QPoint(960, 540) << 2 << QRect(890, 470, 140, 140);
    QTest::newRow("level 4 in the middle") << QPoint(960, 540) << 4 << QRect(850, 430, 220, 220);
    QTest::newRow("level 5 is the largest") << QPoint(960, 540) << 5 << QRect(832, 412, 256, 256);
    QTest::newRow("level 0 is the largest") << QPoint(960, 540) << 0 << QRect(832, 412, 256, 256);
    QTest::newRow("level 7 is the largest") << QPoint(960, 540) << 7 << QRect(832, 412, 256, 256);
    QTest::newRow("negative level is the largest") << QPoint(960, 540) << -1 << QRect(832, 412, 256, 256);

    // The edges, one pixel either side of where the square starts to stick.
    QTest::newRow("left edge, at half a side") << QPoint(50, 540) << 1 << QRect(0, 490, 100, 100);
    QTest::newRow("left edge, one past") << QPoint(51, 540) << 1 << QRect(1, 490, 100, 100);
    QTest::newRow("right edge, one short") << QPoint(1869, 540) << 1 << QRect(1819, 490, 100, 100);
    QTest::newRow("right edge, reaching it") << QPoint(1870, 540) << 1 << QRect(1820, 490, 100, 100);
    QTest::newRow("top edge, at half a side") << QPoint(960, 128) << 0 << QRect(832, 0, 256, 256);
    QTest::newRow("bottom edge, reaching it") << QPoint(960, 952) << 0 << QRect(832, 824, 256, 256);
    QTest::newRow("pointer left of the desktop") << QPoint(-40, -40) << 2 << QRect(0, 0, 140, 140);
    QTest::newRow("pointer past the far corner") << QPoint(5000, 3000) << 2 << QRect(1780, 940, 140, 140);
}

void OverlayTest::circleSquare()
{
    QFETCH(QPoint, pointer);
    QFETCH(int, level);
    QFETCH(QRect, square);

    QCOMPARE(Dialog::circleSquare(pointer, level, 1920, 1080), square);
}

// Built with the main window and never shown, the overlay holds no picture of
// the user's screen; shown, it holds one of the whole desktop, until hidden.
void OverlayTest::startsWithoutAPicture()
{
    Dialog *overlay = window->overlay;
    QVERIFY(overlay);
    QVERIFY(!overlay->isVisible());
    QVERIFY(overlay->capture().isNull());
    QCOMPARE(overlay->size(), QSize(window->screenWidth, window->screenHeight));

    overlay->show();
    QCOMPARE(overlay->capture().size(), QSize(window->screenWidth, window->screenHeight));
    QCOMPARE(overlay->size(), overlay->capture().size());
    overlay->hide();
    QVERIFY(overlay->capture().isNull());
}

void OverlayTest::pictureIsTakenOnShowAndDroppedOnHide()
{
    PatternDialog overlay(window);
    overlay.desktop = QSize(320, 200);
    QCOMPARE(overlay.captures, 0);

    overlay.show();
    QCOMPARE(overlay.captures, 1);
    QCOMPARE(overlay.capture().size(), QSize(320, 200));
    QCOMPARE(overlay.size(), QSize(320, 200));

    // Shown again while up: the picture taken first stays.
    overlay.show();
    QCOMPARE(overlay.captures, 1);

    overlay.hide();
    QVERIFY(overlay.capture().isNull());

    // A later showing sees the desktop as it is then.
    overlay.desktop = QSize(640, 400);
    overlay.show();
    QCOMPARE(overlay.captures, 2);
    QCOMPARE(overlay.size(), QSize(640, 400));
    overlay.close();
    QVERIFY(overlay.capture().isNull());
}

QImage OverlayTest::render(Dialog *dialog) const
{
    QImage image(dialog->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    dialog->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

void OverlayTest::painting_data()
{
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<int>("level");

    QTest::newRow("level 1 in the middle") << QPoint(400, 300) << 1;
    QTest::newRow("largest near the top left") << QPoint(10, 20) << 0;
    QTest::newRow("level 4 near the bottom right") << QPoint(790, 590) << 4;
}

// A 40 % black veil everywhere but the circle, which shows the desktop as it
// was, in place, behind a white outline.
void OverlayTest::painting()
{
    QFETCH(QPoint, pointer);
    QFETCH(int, level);

    window->screenWidth = 800;
    window->screenHeight = 600;
    PatternDialog overlay(window);
    overlay.desktop = QSize(800, 600);
    overlay.setLevel(level);
    overlay.show();
    QCursor::setPos(pointer);
    QCOMPARE(QCursor::pos(), pointer);

    const QImage image = render(&overlay);
    const QRect square = Dialog::circleSquare(pointer, level, 800, 600);
    const QPoint centre = square.center();

    // Outside the circle: the veil.
    for (const QPoint &outside :
        { QPoint(square.left() - 2, centre.y()), QPoint(square.right() + 2, centre.y()),
            square.topLeft() + QPoint(2, 2), square.bottomRight() - QPoint(2, 2) }) {
        if (!image.rect().contains(outside))
            continue;
        const QColor veil = image.pixelColor(outside);
        QCOMPARE(veil.alpha(), 102);
        QCOMPARE(veil.rgb() & 0xffffff, 0u);
    }

    // Inside: the desktop's own pixels, opaque.
    const QImage desktop = patternDesktop(overlay.desktop).toImage();
    for (const QPoint &inside :
        { centre, centre + QPoint(square.width() / 4, 0), centre - QPoint(0, square.height() / 4) }) {
        QCOMPARE(image.pixelColor(inside), desktop.pixelColor(inside));
    }

    // The outline: white where the circle meets its square's sides. The
    // desktop's blue is 77 everywhere and the veil has none, so only the
    // white pen can bring more.
    for (const QPoint &edge : { QPoint(centre.x(), square.top()), QPoint(square.left(), centre.y()) }) {
        const QColor outline = image.pixelColor(edge);
        QVERIFY2(outline.blue() > 140,
            qPrintable(QString("outline at %1,%2 is %3")
                           .arg(edge.x())
                           .arg(edge.y())
                           .arg(outline.name(QColor::HexArgb))));
    }
}

void OverlayTest::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("Escape") << int(Qt::Key_Escape) << false;
    QTest::newRow("Return") << int(Qt::Key_Return) << false;
    QTest::newRow("Enter") << int(Qt::Key_Enter) << false;
    QTest::newRow("Space") << int(Qt::Key_Space) << true;
    QTest::newRow("A") << int(Qt::Key_A) << true;
}

// No key closes the overlay; the three that would are passed on.
void OverlayTest::keys()
{
    QFETCH(int, key);
    QFETCH(bool, accepted);

    PatternDialog overlay(window);
    overlay.desktop = QSize(100, 100);
    overlay.show();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&overlay, &press);
    QCOMPARE(press.isAccepted(), accepted);
    QVERIFY(overlay.isVisible());
    QCOMPARE(overlay.result(), 0);
}

// On a display of its own: offscreen, Qt takes no picture of the desktop.
int main(int argc, char *argv[])
{
    testsupport::TrayDesktop desktop;
    QString error;
    if (!desktop.start(&error)) {
        std::fprintf(stderr, "no display: %s\n", qPrintable(error));
        return 1;
    }
    QApplication app(argc, argv);
    OverlayTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_overlay.moc"
