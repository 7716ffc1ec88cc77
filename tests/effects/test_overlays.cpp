// What each effect draws around the pointer, and that a move repaints only
// the places the effect leaves and enters.

#include "dotoverlay.h"
#include "framestats.h"
#include "lensoverlay.h"
#include "sizemap.h"
#include "spotoverlay.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QtTest>

#include <memory>

namespace {

// Vertical stripes, 10 pixels wide, of eight colours: any pixel's column can
// be told from its colour.
const QColor kStripeColours[]
    = { QColor(200, 40, 40), QColor(40, 200, 40), QColor(40, 40, 200), QColor(220, 220, 40),
          QColor(40, 220, 220), QColor(220, 40, 220), QColor(250, 250, 250), QColor(20, 20, 20) };

QColor stripeAt(int x)
{
    return kStripeColours[(x / 10) % 8];
}

QPixmap stripes(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int x = 0; x < size.width(); x += 10)
        painter.fillRect(x, 0, 10, size.height(), stripeAt(x));
    return QPixmap::fromImage(image);
}

bool near(const QColor &a, const QColor &b, int tolerance = 3)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
        && qAbs(a.blue() - b.blue()) <= tolerance && qAbs(a.alpha() - b.alpha()) <= tolerance;
}

QString describe(const QColor &c)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

#define VERIFY_COLOUR(image, x, y, expected)                                                                 \
    QVERIFY2(near((image).pixelColor((x), (y)), (expected)),                                                 \
        qPrintable(QStringLiteral("at (%1,%2): %3, expected %4")                                             \
                       .arg(x)                                                                               \
                       .arg(y)                                                                               \
                       .arg(describe((image).pixelColor((x), (y))), describe(expected))))

QScreen *screen()
{
    return QGuiApplication::primaryScreen();
}

QColor dimmed(const QColor &c)
{
    // 40 % black over the colour.
    auto dim = [](int v) { return (v * (255 - SpotOverlay::kVeilAlpha) + 127) / 255; };
    return QColor(dim(c.red()), dim(c.green()), dim(c.blue()));
}

} // namespace

class TestOverlays : public QObject
{
    Q_OBJECT

private slots:
    void spotlightOverTranslucentVeil_data();
    void spotlightOverTranslucentVeil();
    void spotlightOverPicture();
    void lensEnlargesAroundThePointer_data();
    void lensEnlargesAroundThePointer();
    void lensShapedWithoutCompositor();
    void dotOnThePointer();
    void dotShapedFollowsThePointerAcrossScreens();
    void movesRepaintOnlyWhatChanged_data();
    void movesRepaintOnlyWhatChanged();
};

void TestOverlays::spotlightOverTranslucentVeil_data()
{
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<bool>("here");
    QTest::addColumn<QPoint>("clear"); // a point inside the circle
    QTest::addColumn<QPoint>("veiled"); // a point under the veil

    const QPoint centre = screen()->geometry().center();
    const QRect s = screen()->geometry();
    QTest::newRow("pointer in the middle")
        << centre << true << centre + QPoint(45, 0) << centre + QPoint(56, 0);
    QTest::newRow("pointer in the corner: circle kept on screen") << s.topLeft()
            + QPoint(3, 3) << true << s.topLeft() + QPoint(90, 50) << s.topLeft() + QPoint(130, 50);
    QTest::newRow("pointer at the bottom right")
        << s.bottomRight() << true << s.bottomRight() - QPoint(50, 50) << s.bottomRight() - QPoint(110, 110);
    QTest::newRow("pointer on another screen: no circle") << centre << false << QPoint(-1, -1) << centre;
}

void TestOverlays::spotlightOverTranslucentVeil()
{
    QFETCH(QPoint, pointer);
    QFETCH(bool, here);
    QFETCH(QPoint, clear);
    QFETCH(QPoint, veiled);

    SpotOverlay spot(screen(), true, nullptr);
    spot.follow(pointer, 50, here);
    const QImage image = spot.grab().toImage();
    const QPoint origin = screen()->geometry().topLeft();

    VERIFY_COLOUR(
        image, veiled.x() - origin.x(), veiled.y() - origin.y(), QColor(0, 0, 0, SpotOverlay::kVeilAlpha));
    if (here) {
        QCOMPARE(image.pixelColor(clear - origin).alpha(), 0);
        QVERIFY(spot.circle(spot.state()).size() == QSize(100, 100));
        QVERIFY(spot.rect().contains(spot.circle(spot.state())));
    }
}

void TestOverlays::spotlightOverPicture()
{
    const QPixmap picture = stripes(screen()->geometry().size());
    SpotOverlay spot(screen(), false, nullptr, picture);
    const QPoint pointer = screen()->geometry().topLeft() + QPoint(300, 200);
    spot.follow(pointer, 70, true);
    const QImage image = spot.grab().toImage();

    // Inside: the picture itself, where it was taken.
    for (int dx : { -55, -25, 0, 5, 35, 65 })
        VERIFY_COLOUR(image, 300 + dx, 200, stripeAt(300 + dx));
    // Outside: the same picture, dimmed.
    for (int dx : { -200, -75, 75, 200 })
        VERIFY_COLOUR(image, 300 + dx, 200, dimmed(stripeAt(300 + dx)));
    VERIFY_COLOUR(image, 300, 200 + 75, dimmed(stripeAt(300)));
}

void TestOverlays::lensEnlargesAroundThePointer_data()
{
    QTest::addColumn<bool>("composited");
    QTest::newRow("translucent window") << true;
    QTest::newRow("shaped window") << false;
}

void TestOverlays::lensEnlargesAroundThePointer()
{
    QFETCH(bool, composited);
    LensOverlay lens(screen(), composited, nullptr);
    lens.setPicture(stripes(screen()->geometry().size()));
    const QPoint origin = screen()->geometry().topLeft();
    const int diameter = kLensDiameter.pixels(2); // 200

    // The middle of the screen: pixel p + v shows p + v / zoom.
    lens.follow(origin + QPoint(400, 300), diameter, true);
    QImage image = lens.grab().toImage();
    for (int v : { -50, -10, 10, 30, 70 })
        VERIFY_COLOUR(image, 400 + v, 300, stripeAt(400 + v / kLensZoom));
    // The border, and beyond it nothing of the lens.
    const QColor rim = image.pixelColor(300, 300);
    QVERIFY2(rim.red() < 100 && rim.green() < 100 && rim.blue() < 100, qPrintable(describe(rim)));
    if (composited)
        QCOMPARE(image.pixelColor(400 + diameter / 2 + 10, 300).alpha(), 0);

    // At the left edge the lens stays whole on the screen and enlarges the
    // screen's edge.
    lens.follow(origin + QPoint(4, 300), diameter, true);
    image = lens.grab().toImage();
    QCOMPARE(lens.lens(lens.state()).left(), 0);
    for (int s : { 15, 25, 55, 85 })
        VERIFY_COLOUR(image, s * kLensZoom, 300, stripeAt(s));
}

void TestOverlays::lensShapedWithoutCompositor()
{
    LensOverlay lens(screen(), false, nullptr);
    lens.setPicture(stripes(screen()->geometry().size()));
    QVERIFY(lens.shaped());
    const QPoint pointer = screen()->geometry().topLeft() + QPoint(200, 250);
    lens.follow(pointer, 160, true);
    lens.present();
    QVERIFY(QTest::qWaitForWindowExposed(&lens));

    const QRegion shape = lens.mask();
    QCOMPARE(shape, QRegion(lens.footprint(lens.state()), QRegion::Ellipse));
    QVERIFY(shape.contains(QPoint(200, 250)));
    QVERIFY(!shape.contains(lens.footprint(lens.state()).topLeft()));

    lens.follow(pointer + QPoint(100, 0), 160, true);
    QCOMPARE(lens.mask(), QRegion(lens.footprint(lens.state()), QRegion::Ellipse));
    QVERIFY(lens.mask().contains(QPoint(300, 250)));
    QVERIFY(!lens.mask().contains(QPoint(130, 250)));

    // What the window really holds at its new place, not a fresh rendering:
    // the lens, enlarged, all the way out to its rim.
    const auto shown
        = [&lens](int x) { return screen()->grabWindow(lens.winId()).toImage().pixelColor(x, 250); };
    for (int v : { -70, -30, 10, 50, 70 })
        QTRY_VERIFY2(near(shown(300 + v), stripeAt(300 + v / kLensZoom)),
            qPrintable(QStringLiteral("%1: %2").arg(v).arg(describe(shown(300 + v)))));
}

void TestOverlays::dotOnThePointer()
{
    DotOverlay dot(screen(), true, nullptr);
    const QPoint origin = screen()->geometry().topLeft();
    const int diameter = kDotDiameter.pixels(3); // 22
    dot.follow(origin + QPoint(400, 300), diameter, true);
    QImage image = dot.grab().toImage();

    VERIFY_COLOUR(image, 400, 300, DotOverlay::centreColour());
    const QColor core = image.pixelColor(400 + diameter / 2 - 2, 300);
    QVERIFY2(core.alpha() == 255 && core.red() > 200 && core.green() < 60, qPrintable(describe(core)));
    const QColor glow = image.pixelColor(400 + diameter * 3 / 4, 300);
    QVERIFY2(glow.alpha() > 0 && glow.alpha() < 255 && glow.red() > 200, qPrintable(describe(glow)));
    QCOMPARE(image.pixelColor(400 + diameter + 2, 300).alpha(), 0);
    QCOMPARE(image.pixelColor(10, 10).alpha(), 0);

    // A larger level gives a larger core at once.
    dot.follow(origin + QPoint(400, 300), kDotDiameter.pixels(9), true);
    image = dot.grab().toImage();
    QCOMPARE(image.pixelColor(400 + diameter, 300).alpha(), 255);
}

void TestOverlays::dotShapedFollowsThePointerAcrossScreens()
{
    DotOverlay dot(screen(), false, nullptr);
    const QPoint origin = screen()->geometry().topLeft();
    dot.follow(origin + QPoint(50, 60), 20, true);
    dot.present();
    QVERIFY(QTest::qWaitForWindowExposed(&dot));
    QCOMPARE(dot.mask(), QRegion(QRect(39, 49, 22, 22), QRegion::Ellipse));
    QVERIFY(dot.mask().contains(QPoint(50, 60)));

    // The pointer goes to another screen: nothing of the dot stays here.
    dot.follow(origin + QPoint(50, 60), 20, false);
    QVERIFY(!dot.isVisible());

    dot.follow(origin + QPoint(500, 100), 20, true);
    QVERIFY(dot.isVisible());
    QCOMPARE(dot.mask(), QRegion(QRect(489, 89, 22, 22), QRegion::Ellipse));
    QVERIFY(!dot.mask().contains(QPoint(50, 60)));
}

void TestOverlays::movesRepaintOnlyWhatChanged_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("composited");
    QTest::addColumn<int>("pixels");

    QTest::newRow("spotlight, translucent") << 0 << true << 90;
    QTest::newRow("spotlight, picture") << 0 << false << 90;
    QTest::newRow("lens, translucent") << 1 << true << 240;
    QTest::newRow("dot, translucent") << 2 << true << 22;
}

void TestOverlays::movesRepaintOnlyWhatChanged()
{
    QFETCH(int, kind);
    QFETCH(bool, composited);
    QFETCH(int, pixels);

    FrameStats stats;
    std::unique_ptr<EffectOverlay> overlay;
    if (kind == 0) {
        overlay.reset(new SpotOverlay(screen(), composited, &stats, stripes(screen()->geometry().size())));
    } else if (kind == 1) {
        auto *lens = new LensOverlay(screen(), composited, &stats);
        lens->setPicture(stripes(screen()->geometry().size()));
        overlay.reset(lens);
    } else {
        overlay.reset(new DotOverlay(screen(), composited, &stats));
    }
    const QPoint origin = screen()->geometry().topLeft();
    overlay->follow(origin + QPoint(300, 300), pixels, true);
    overlay->present();
    QVERIFY(QTest::qWaitForWindowExposed(overlay.get()));
    QTRY_VERIFY(stats.frames() >= 1);

    auto area = [](const QRect &r) { return qint64(r.width()) * r.height(); };
    struct Step
    {
        QPoint pointer;
        int pixels;
        bool here;
    };
    const Step steps[] = {
        { QPoint(300, 300), pixels, true }, // unchanged: adds nothing
        { QPoint(340, 310), pixels, true },
        { QPoint(340, 310), pixels + 20, true },
        { QPoint(340, 310), pixels + 20, false },
        { QPoint(200, 250), pixels, true },
    };
    OverlayState before = overlay->state();
    for (const Step &step : steps) {
        overlay->follow(origin + step.pointer, step.pixels, step.here);
        const OverlayState after = overlay->state();
        if (after == before)
            continue;
        qint64 bound = 0;
        if (before.here)
            bound += area(overlay->footprint(before));
        if (after.here)
            bound += area(overlay->footprint(after));
        stats.reset();
        QTRY_VERIFY(stats.frames() >= 1);
        QVERIFY2(stats.paintedPixels() <= bound,
            qPrintable(QStringLiteral("painted %1, footprints %2").arg(stats.paintedPixels()).arg(bound)));
        before = after;
    }
}

QTEST_MAIN(TestOverlays)
#include "test_overlays.moc"
