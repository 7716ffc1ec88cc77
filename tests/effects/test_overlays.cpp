// The effects' common library: sizes from the segment to pixels, clamped,
// and the effect placed on the pointer's screen.
#include "geometry.h"
#include "sizemap.h"

#include <QtTest>

#include <climits>

class TestOverlays : public QObject
{
    Q_OBJECT

private slots:
    void levelToPixels_data()
    {
        QTest::addColumn<int>("map"); // 0 dot, 1 lens, 2 spot
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("pixels");

        QTest::newRow("dot level 0 is the smallest legal size") << 0 << 0 << 10;
        QTest::newRow("dot byte 255 from the receiver") << 0 << 255 << 46;
        QTest::newRow("dot INT_MIN") << 0 << INT_MIN << 10;
        QTest::newRow("lens level 0") << 1 << 0 << 120;
        QTest::newRow("lens INT_MAX") << 1 << INT_MAX << 480;
    }

    void levelToPixels()
    {
        QFETCH(int, map);
        QFETCH(int, level);
        const SizeMap maps[] = { kDotDiameter, kLensDiameter, kSpotRadius };
        QTEST(maps[map].pixels(level), "pixels");
    }

    void keptInside_data()
    {
        QTest::addColumn<QPoint>("centre");
        QTest::addColumn<int>("side");
        QTest::addColumn<QRect>("bounds");
        QTest::addColumn<QRect>("expected");

        const QRect fullHd(0, 0, 1920, 1080);
        QTest::newRow("centred on the pointer")
            << QPoint(500, 400) << 180 << fullHd << QRect(410, 310, 180, 180);
        QTest::newRow("bottom right corner")
            << QPoint(1900, 1070) << 100 << fullHd << QRect(1820, 980, 100, 100);
        QTest::newRow("second screen, near its left edge")
            << QPoint(1925, 500) << 200 << QRect(1920, 0, 1280, 1024) << QRect(1920, 400, 200, 200);
        QTest::newRow("screen above, negative coordinates")
            << QPoint(3, -760) << 100 << QRect(0, -768, 1024, 768) << QRect(0, -768, 100, 100);
        QTest::newRow("wider than the screen")
            << QPoint(10, 10) << 400 << QRect(0, 0, 300, 1000) << QRect(-50, 0, 400, 400);
    }

    void keptInside()
    {
        QFETCH(QPoint, centre);
        QFETCH(int, side);
        QFETCH(QRect, bounds);
        QTEST(geometry::keptInside(centre, side, bounds), "expected");
    }

    void screenIndexAt_data()
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
        QTest::newRow("in a gap, nearer the first") << QPoint(850, 300) << withGap << 0;
        QTest::newRow("in a gap, nearer the second") << QPoint(960, 300) << withGap << 1;
        QTest::newRow("negative coordinates") << QPoint(-5, 500) << leftOfPrimary << 1;
        QTest::newRow("no screens") << QPoint(0, 0) << QVector<QRect>() << -1;
    }

    void screenIndexAt()
    {
        QFETCH(QPoint, point);
        QFETCH(QVector<QRect>, screens);
        QTEST(geometry::screenIndexAt(point, screens), "index");
    }
};

QTEST_MAIN(TestOverlays)
#include "test_overlays.moc"
