// Placing the effects (centred on the pointer, kept on the pointer's screen)
// and what the end-to-end test cannot see: a pointer on another screen, and
// that a move repaints only the places the effect leaves and enters.
#include "dotoverlay.h"
#include "framestats.h"
#include "geometry.h"
#include "lensoverlay.h"
#include "spotoverlay.h"

#include <QApplication>
#include <QScreen>
#include <QtTest>

#include <memory>

class TestOverlays : public QObject
{
    Q_OBJECT

private slots:
    void keptInside_data();
    void keptInside();
    void screenIndexAt_data();
    void screenIndexAt();
    void pointerOnAnotherScreen();
    void movesRepaintOnlyWhatChanged_data();
    void movesRepaintOnlyWhatChanged();

private:
    QScreen *screen = QGuiApplication::primaryScreen();
    QPoint origin = screen->geometry().topLeft();
};

void TestOverlays::keptInside_data()
{
    QTest::addColumn<QPoint>("centre");
    QTest::addColumn<int>("side");
    QTest::addColumn<QRect>("bounds");
    QTest::addColumn<QRect>("expected");

    const QRect fullHd(0, 0, 1920, 1080);
    QTest::newRow("centred on the pointer") << QPoint(500, 400) << 180 << fullHd << QRect(410, 310, 180, 180);
    QTest::newRow("top left corner") << QPoint(10, 10) << 180 << fullHd << QRect(0, 0, 180, 180);
    QTest::newRow("bottom right corner") << QPoint(1900, 1070) << 100 << fullHd << QRect(1820, 980, 100, 100);
    QTest::newRow("second screen, near its left edge")
        << QPoint(1925, 500) << 200 << QRect(1920, 0, 1280, 1024) << QRect(1920, 400, 200, 200);
    QTest::newRow("screen above, negative coordinates")
        << QPoint(3, -760) << 100 << QRect(0, -768, 1024, 768) << QRect(0, -768, 100, 100);
    QTest::newRow("wider than the screen")
        << QPoint(10, 10) << 400 << QRect(0, 0, 300, 1000) << QRect(-50, 0, 400, 400);
}

void TestOverlays::keptInside()
{
    QFETCH(QPoint, centre);
    QFETCH(int, side);
    QFETCH(QRect, bounds);
    QTEST(geometry::keptInside(centre, side, bounds), "expected");
}

void TestOverlays::screenIndexAt_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QVector<QRect>>("screens");
    QTest::addColumn<int>("index");

    const QVector<QRect> sideBySide { QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024) };
    const QVector<QRect> withGap { QRect(0, 0, 800, 600), QRect(1000, 0, 800, 600) };
    const QVector<QRect> leftOfPrimary { QRect(0, 0, 1024, 768), QRect(-1280, 100, 1280, 1024) };
    QTest::newRow("last pixel of the first") << QPoint(1919, 500) << sideBySide << 0;
    QTest::newRow("first pixel of the second") << QPoint(1920, 500) << sideBySide << 1;
    QTest::newRow("below the shorter screen: nearest") << QPoint(3000, 1050) << sideBySide << 1;
    QTest::newRow("in a gap, nearer the second") << QPoint(960, 300) << withGap << 1;
    QTest::newRow("negative coordinates") << QPoint(-5, 500) << leftOfPrimary << 1;
    QTest::newRow("no screens") << QPoint(0, 0) << QVector<QRect>() << -1;
}

void TestOverlays::screenIndexAt()
{
    QFETCH(QPoint, point);
    QFETCH(QVector<QRect>, screens);
    QTEST(geometry::screenIndexAt(point, screens), "index");
}

// Each screen has an overlay of its own: where the pointer is not, the
// spotlight is all veil and the dot is gone.
void TestOverlays::pointerOnAnotherScreen()
{
    const QPoint centre = screen->geometry().center();
    SpotOverlay spot(screen, true, nullptr);
    spot.follow(centre, 50, false);
    QCOMPARE(spot.grab().toImage().pixelColor(centre - origin), QColor(0, 0, 0, SpotOverlay::kVeilAlpha));

    DotOverlay dot(screen, false, nullptr);
    dot.follow(origin + QPoint(50, 60), 20, true);
    dot.present();
    QVERIFY(QTest::qWaitForWindowExposed(&dot));
    dot.follow(origin + QPoint(50, 60), 20, false);
    QVERIFY(!dot.isVisible());
    dot.follow(origin + QPoint(500, 100), 20, true);
    QVERIFY(dot.isVisible());
    QCOMPARE(dot.mask(), QRegion(QRect(489, 89, 22, 22), QRegion::Ellipse));
}

void TestOverlays::movesRepaintOnlyWhatChanged_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("composited");
    QTest::addColumn<int>("pixels");

    QTest::newRow("spotlight, translucent") << 0 << true << 90;
    QTest::newRow("lens, translucent") << 1 << true << 240;
    QTest::newRow("dot, translucent") << 2 << true << 22;
}

void TestOverlays::movesRepaintOnlyWhatChanged()
{
    QFETCH(int, kind);
    QFETCH(bool, composited);
    QFETCH(int, pixels);

    FrameStats stats;
    QPixmap picture(screen->geometry().size());
    picture.fill(Qt::darkCyan);
    std::unique_ptr<EffectOverlay> overlay;
    if (kind == 0) {
        overlay.reset(new SpotOverlay(screen, composited, &stats, picture));
    } else if (kind == 1) {
        auto *lens = new LensOverlay(screen, composited, &stats);
        lens->setPicture(picture);
        overlay.reset(lens);
    } else {
        overlay.reset(new DotOverlay(screen, composited, &stats));
    }
    overlay->follow(origin + QPoint(300, 300), pixels, true);
    overlay->present();
    QVERIFY(QTest::qWaitForWindowExposed(overlay.get()));
    QTRY_VERIFY(stats.frames() >= 1);

    const auto area = [&overlay](const OverlayState &s) {
        const QRect r = overlay->footprint(s);
        return s.here ? qint64(r.width()) * r.height() : 0;
    };
    // Moved, grown, gone to another screen, back.
    OverlayState before = overlay->state();
    for (const OverlayState &step : { OverlayState { true, QPoint(340, 310), pixels },
             OverlayState { true, QPoint(340, 310), pixels + 20 },
             OverlayState { false, QPoint(340, 310), pixels },
             OverlayState { true, QPoint(200, 250), pixels } }) {
        overlay->follow(origin + step.pointer, step.pixels, step.here);
        const OverlayState after = overlay->state();
        stats.reset();
        QTRY_VERIFY(stats.frames() >= 1);
        QVERIFY2(stats.paintedPixels() <= area(before) + area(after),
            qPrintable(QString("painted %1 pixels").arg(stats.paintedPixels())));
        before = after;
    }
}

QTEST_MAIN(TestOverlays)
#include "test_overlays.moc"
