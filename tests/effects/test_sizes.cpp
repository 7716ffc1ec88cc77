// Size levels: from the segment's bytes to pixels, and the segment's life
// between the main program and an effect.

#include "effecthost.h"
#include "overlay.h"
#include "sizemap.h"
#include "sizesegment.h"

#include <QApplication>
#include <QScreen>
#include <QSharedMemory>
#include <QtTest>

#include <climits>
#include <csignal>
#include <sys/wait.h>
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

class NullOverlay : public EffectOverlay
{
public:
    using EffectOverlay::EffectOverlay;
    QRect footprint(const OverlayState &) const override { return QRect(); }

protected:
    void paintEffect(QPainter &, const QRegion &) override { }
};

} // namespace

class TestSizes : public QObject
{
    Q_OBJECT

private slots:
    void levelToPixels_data();
    void levelToPixels();
    void mapsGrowWithLevel();
    void decodeIsLittleEndian_data();
    void decodeIsLittleEndian();

    void missingSegmentIsCreatedEmpty();
    void segmentOfTheMainProgramIsAttached();
    void changesAreSeenWhileAttached();
    void segmentTooSmallIsNotRead();
    void effectKilledWhileHoldingTheLock();

    void hostFollowsSizeChanges();
    void hostKeepsLastLevelWhenSegmentUnreadable();
};

void TestSizes::levelToPixels_data()
{
    QTest::addColumn<int>("map"); // 0 dot, 1 lens, 2 spot
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("pixels");

    QTest::newRow("dot level 0 is the smallest legal size") << 0 << 0 << 10;
    QTest::newRow("dot top level") << 0 << 9 << 46;
    QTest::newRow("dot byte 255 from the receiver") << 0 << 255 << 46;
    QTest::newRow("dot INT_MIN") << 0 << INT_MIN << 10;
    QTest::newRow("dot INT_MAX") << 0 << INT_MAX << 46;
    QTest::newRow("lens level 0") << 1 << 0 << 120;
    QTest::newRow("lens default 3") << 1 << 3 << 240;
    QTest::newRow("lens INT_MAX") << 1 << INT_MAX << 480;
    QTest::newRow("spot level 1 as the main program's overlay") << 2 << 1 << 50;
    QTest::newRow("spot level 4 as the main program's overlay") << 2 << 4 << 110;
    QTest::newRow("spot level 0") << 2 << 0 << 30;
    QTest::newRow("spot INT_MAX") << 2 << INT_MAX << 210;
}

void TestSizes::levelToPixels()
{
    QFETCH(int, map);
    QFETCH(int, level);
    QFETCH(int, pixels);
    const SizeMap maps[] = { kDotDiameter, kLensDiameter, kSpotRadius };
    QCOMPARE(maps[map].pixels(level), pixels);
}

void TestSizes::mapsGrowWithLevel()
{
    for (const SizeMap &map : { kDotDiameter, kLensDiameter, kSpotRadius }) {
        QVERIFY(map.pixels(0) > 0);
        for (int level = 1; level <= map.maxLevel; ++level)
            QVERIFY2(map.pixels(level) > map.pixels(level - 1), qPrintable(QString::number(level)));
    }
    // The lens enlarges an exact number of pixels.
    for (int level = 0; level <= kLensDiameter.maxLevel; ++level)
        QCOMPARE(kLensDiameter.pixels(level) % kLensZoom, 0);
}

void TestSizes::decodeIsLittleEndian_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("level");

    QTest::newRow("small") << QByteArray("\x05\x00\x00\x00\xaa\xbb", 6) << 5;
    QTest::newRow("most negative") << QByteArray("\x00\x00\x00\x80", 4) << INT_MIN;
    QTest::newRow("bytes after the integer ignored")
        << QByteArray("\x03\x00\x00\x00\xff\xff\xff\xff\xff\xff", 10) << 3;
}

void TestSizes::decodeIsLittleEndian()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, level);
    QCOMPARE(SizeSegment::decode(bytes.constData()), level);
}

void TestSizes::missingSegmentIsCreatedEmpty()
{
    SizeSegment segment(uniqueKey("missing"));
    QVERIFY(segment.open());
    QCOMPARE(segment.read().value_or(kUnread), 0);

    // The main program started after the effect attaches and writes.
    MainProgramSegment main(uniqueKey("missing"));
    QVERIFY(main.memory.isAttached());
    main.write(4);
    QCOMPARE(segment.read().value_or(kUnread), 4);
}

void TestSizes::segmentOfTheMainProgramIsAttached()
{
    MainProgramSegment main(uniqueKey("first"));
    main.write(7);

    SizeSegment segment(uniqueKey("first"));
    QVERIFY(segment.open());
    QCOMPARE(segment.read().value_or(kUnread), 7);
    QVERIFY(segment.open()); // again: still the same attachment
    QCOMPARE(segment.read().value_or(kUnread), 7);
}

void TestSizes::changesAreSeenWhileAttached()
{
    MainProgramSegment main(uniqueKey("changes"));
    SizeSegment segment(uniqueKey("changes"));
    QVERIFY(segment.open());
    for (qint32 level : { 1, 5, 0, -3, 1000000, 2 }) {
        main.write(level);
        QCOMPARE(segment.read().value_or(kUnread), level);
    }
}

void TestSizes::segmentTooSmallIsNotRead()
{
    MainProgramSegment stranger(uniqueKey("small"), 2);
    QVERIFY(stranger.memory.isAttached());
    SizeSegment segment(uniqueKey("small"));
    QVERIFY(segment.open());
    QVERIFY(!segment.read().has_value());

    SizeSegment closed(uniqueKey("never_opened"));
    QVERIFY(!closed.read().has_value());
}

void TestSizes::effectKilledWhileHoldingTheLock()
{
    MainProgramSegment main(uniqueKey("killed"));
    main.write(6);

    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        QSharedMemory effect(uniqueKey("killed"));
        effect.attach();
        effect.lock();
        ::raise(SIGKILL);
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status));

    // The lock went with the killed effect: the main program and a new effect
    // both get through.
    main.write(8);
    SizeSegment next(uniqueKey("killed"));
    QVERIFY(next.open());
    QCOMPARE(next.read().value_or(kUnread), 8);
}

void TestSizes::hostFollowsSizeChanges()
{
    MainProgramSegment main(uniqueKey("host"));
    main.write(2);

    QVector<NullOverlay *> made;
    EffectHost host(
        uniqueKey("host"), kSpotRadius, [&made](QScreen *screen, bool composited, FrameStats *stats) {
            auto *overlay = new NullOverlay(screen, composited, stats);
            made.append(overlay);
            return overlay;
        });
    host.setPointerSource([] { return QPoint(100, 100); });
    host.start();

    QCOMPARE(host.level(), 2);
    QCOMPARE(host.overlays().size(), QGuiApplication::screens().size());
    for (EffectOverlay *overlay : host.overlays()) {
        QVERIFY(overlay->windowFlags().testFlag(Qt::WindowTransparentForInput));
        QVERIFY(overlay->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(overlay->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(overlay->state().pixels, 70);
        QVERIFY(overlay->state().here);
        QCOMPARE(overlay->state().pointer, QPoint(100, 100) - overlay->geometry().topLeft());
    }

    main.write(4);
    QTRY_COMPARE(host.pixels(), 110);
    QTRY_COMPARE(made.first()->state().pixels, 110);

    main.write(INT_MAX);
    QTRY_COMPARE(host.pixels(), kSpotRadius.pixels(kSpotRadius.maxLevel));
}

void TestSizes::hostKeepsLastLevelWhenSegmentUnreadable()
{
    // A segment made too small by someone else: the effect runs at level 0
    // and does not read past the segment's end.
    MainProgramSegment stranger(uniqueKey("host_small"), 1);
    EffectHost host(
        uniqueKey("host_small"), kDotDiameter, [](QScreen *screen, bool composited, FrameStats *stats) {
            return new NullOverlay(screen, composited, stats);
        });
    host.setPointerSource([] { return QPoint(5, 5); });
    host.start();
    QCOMPARE(host.level(), 0);
    QCOMPARE(host.pixels(), kDotDiameter.pixels(0));
}

QTEST_MAIN(TestSizes)
#include "test_sizes.moc"
