// Size levels: from the segment to pixels, clamped, and the segment's life
// between the main program and an effect.
#include "sizemap.h"
#include "sizesegment.h"

#include <QSharedMemory>
#include <QtTest>

#include <climits>
#include <unistd.h>

namespace {

constexpr qint32 kUnread = -424242;

// Keys of this test run only, so a real program's segments are never touched.
QString uniqueKey(const char *name)
{
    return QStringLiteral("quorvant_test_%1_%2").arg(::getpid()).arg(QLatin1String(name));
}

// What the main program does with a segment: create, else attach, and store a
// level under the lock.
struct MainProgramSegment
{
    QSharedMemory memory;
    explicit MainProgramSegment(const QString &key, int bytes = SizeSegment::kBytes)
        : memory(key)
    {
        if (!memory.create(bytes, QSharedMemory::ReadWrite))
            memory.attach(QSharedMemory::ReadWrite);
    }
    void write(qint32 level)
    {
        memory.lock();
        qToLittleEndian(level, memory.data());
        memory.unlock();
    }
};

} // namespace

class TestSizes : public QObject
{
    Q_OBJECT

private slots:
    void levelToPixels_data();
    void levelToPixels();
    void segmentMadeByEitherSide();
    void segmentTooSmallIsNotRead();
};

void TestSizes::levelToPixels_data()
{
    QTest::addColumn<int>("map"); // 0 dot, 1 lens, 2 spot
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("pixels");

    QTest::newRow("dot level 0 is the smallest legal size") << 0 << 0 << 10;
    QTest::newRow("dot byte 255 from the receiver") << 0 << 255 << 46;
    QTest::newRow("dot INT_MIN") << 0 << INT_MIN << 10;
    QTest::newRow("lens level 0") << 1 << 0 << 120;
    QTest::newRow("lens INT_MAX") << 1 << INT_MAX << 480;
    // Levels 1 to 4 as the main program's own spotlight overlay.
    QTest::newRow("spot level 1") << 2 << 1 << 50;
    QTest::newRow("spot level 4") << 2 << 4 << 110;
    QTest::newRow("spot INT_MAX") << 2 << INT_MAX << 210;
}

void TestSizes::levelToPixels()
{
    QFETCH(int, map);
    QFETCH(int, level);
    const SizeMap maps[] = { kDotDiameter, kLensDiameter, kSpotRadius };
    QTEST(maps[map].pixels(level), "pixels");
}

void TestSizes::segmentMadeByEitherSide()
{
    // The effect first: it makes the segment, empty; the main program attaches.
    SizeSegment segment(uniqueKey("missing"));
    QVERIFY(segment.open());
    QCOMPARE(segment.read().value_or(kUnread), 0);
    MainProgramSegment main(uniqueKey("missing"));
    QVERIFY(main.memory.isAttached());
    for (qint32 level : { 4, 0, -3, 1000000 }) {
        main.write(level);
        QCOMPARE(segment.read().value_or(kUnread), level);
    }

    // The main program first: the effect attaches and reads what it holds.
    MainProgramSegment first(uniqueKey("first"));
    first.write(7);
    SizeSegment late(uniqueKey("first"));
    QVERIFY(late.open());
    QCOMPARE(late.read().value_or(kUnread), 7);
}

// Made too short by someone else: never read past its end.
void TestSizes::segmentTooSmallIsNotRead()
{
    MainProgramSegment stranger(uniqueKey("small"), 2);
    SizeSegment segment(uniqueKey("small"));
    QVERIFY(segment.open());
    QVERIFY(!segment.read().has_value());
}

QTEST_GUILESS_MAIN(TestSizes)
#include "test_sizes.moc"
