// Placing the effects: centred on the pointer, kept on the pointer's screen.

#include "geometry.h"

#include <QtTest>

class TestGeometry : public QObject
{
    Q_OBJECT

private slots:
    void keptInside_data();
    void keptInside();
    void screenIndexAt_data();
    void screenIndexAt();
};

void TestGeometry::keptInside_data()
{
    QTest::addColumn<QPoint>("centre");
    QTest::addColumn<int>("side");
    QTest::addColumn<QRect>("bounds");
    QTest::addColumn<QRect>("expected");

    const QRect fullHd(0, 0, 1920, 1080);
    const QRect right(1920, 0, 1280, 1024); // a second screen to the right
    const QRect above(0, -768, 1024, 768); // and one above

    QTest::newRow("centred on the pointer") << QPoint(500, 400) << 180 << fullHd << QRect(410, 310, 180, 180);
    QTest::newRow("odd side") << QPoint(500, 400) << 5 << fullHd << QRect(498, 398, 5, 5);
    QTest::newRow("top left corner") << QPoint(10, 10) << 180 << fullHd << QRect(0, 0, 180, 180);
    QTest::newRow("bottom right corner") << QPoint(1900, 1070) << 100 << fullHd << QRect(1820, 980, 100, 100);
    QTest::newRow("exactly fits at the left") << QPoint(90, 500) << 180 << fullHd << QRect(0, 410, 180, 180);
    QTest::newRow("last pixel of the screen")
        << QPoint(1919, 1079) << 20 << fullHd << QRect(1900, 1060, 20, 20);
    QTest::newRow("second screen, near its left edge")
        << QPoint(1925, 500) << 200 << right << QRect(1920, 400, 200, 200);
    QTest::newRow("second screen, bottom edge")
        << QPoint(2500, 1020) << 200 << right << QRect(2400, 824, 200, 200);
    QTest::newRow("screen above, negative coordinates")
        << QPoint(3, -760) << 100 << above << QRect(0, -768, 100, 100);
    QTest::newRow("wider than the screen")
        << QPoint(10, 10) << 400 << QRect(0, 0, 300, 1000) << QRect(-50, 0, 400, 400);
    QTest::newRow("pointer off the bounds") << QPoint(-500, 5000) << 100 << fullHd << QRect(0, 980, 100, 100);
}

void TestGeometry::keptInside()
{
    QFETCH(QPoint, centre);
    QFETCH(int, side);
    QFETCH(QRect, bounds);
    QFETCH(QRect, expected);
    const QRect placed = geometry::keptInside(centre, side, bounds);
    QCOMPARE(placed, expected);
    if (side <= bounds.width() && side <= bounds.height())
        QVERIFY(bounds.contains(placed));
}

void TestGeometry::screenIndexAt_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QVector<QRect>>("screens");
    QTest::addColumn<int>("index");

    const QVector<QRect> sideBySide { QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024) };
    const QVector<QRect> withGap { QRect(0, 0, 800, 600), QRect(1000, 0, 800, 600) };
    const QVector<QRect> leftOfPrimary { QRect(0, 0, 1024, 768), QRect(-1280, 100, 1280, 1024) };

    QTest::newRow("first screen") << QPoint(100, 100) << sideBySide << 0;
    QTest::newRow("second screen") << QPoint(2000, 100) << sideBySide << 1;
    QTest::newRow("last pixel of the first") << QPoint(1919, 500) << sideBySide << 0;
    QTest::newRow("first pixel of the second") << QPoint(1920, 500) << sideBySide << 1;
    QTest::newRow("below the shorter screen: nearest") << QPoint(3000, 1050) << sideBySide << 1;
    QTest::newRow("in a gap, nearer the first") << QPoint(850, 300) << withGap << 0;
    QTest::newRow("in a gap, nearer the second") << QPoint(960, 300) << withGap << 1;
    QTest::newRow("negative coordinates") << QPoint(-5, 500) << leftOfPrimary << 1;
    QTest::newRow("above both") << QPoint(-10, -10) << leftOfPrimary << 0;
    QTest::newRow("no screens") << QPoint(0, 0) << QVector<QRect>() << -1;
}

void TestGeometry::screenIndexAt()
{
    QFETCH(QPoint, point);
    QFETCH(QVector<QRect>, screens);
    QFETCH(int, index);
    QCOMPARE(geometry::screenIndexAt(point, screens), index);
}

QTEST_APPLESS_MAIN(TestGeometry)
#include "test_geometry.moc"
