// The effects' common library: sizes from the segment to pixels, clamped; the
// segment between the main program and an effect; placing the effect on the
// pointer's screen; that a move repaints only what the effect leaves and enters;
// that the pointer is looked at once a frame while it moves, and hardly at all
// while it rests; and that a live backdrop brings what changed on the screen
// into the lens and the spotlight, and nothing else.
#include "backdrop.h"
#include "core/sizesegment.h"
#include "desktop.h"
#include "dotoverlay.h"
#include "effecthost.h"
#include "framestats.h"
#include "geometry.h"
#include "lensoverlay.h"
#include "platform/privatefolder.h"
#include "sizemap.h"
#include "spotoverlay.h"

#include <QScreen>
#include <QtTest>

#include <climits>
#include <memory>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace {

// Keys of this test run only, so a real program's segments are never touched.
QString uniqueKey(const char *name)
{
    return QStringLiteral("quorvant_test_%1_%2").arg(::getpid()).arg(QLatin1String(name));
}

// The key file of a segment: its native key, and the file whose lock it is.
QString keyFile(const QString &name)
{
    return QFile::decodeName(platform::privateFolder().c_str()) + '/' + name;
}

// A screen of one colour, which the test paints anew and then tells of.
class PaintedScreen : public desktop::ScreenReader
{
public:
    QColor colour = Qt::darkCyan;
    int reads = 0;

    QImage read(const QRect &area) override
    {
        ++reads;
        QImage image(area.size(), QImage::Format_RGB32);
        image.fill(colour);
        return image;
    }
    void paint(const QColor &c, const QRect &area)
    {
        colour = c;
        emit changed(area);
    }
};

} // namespace

class TestOverlays : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void levelToPixels_data();
    void levelToPixels();
    void segmentMadeByEitherSide();
    void lockHeldElsewhereIsNotWaitedFor();
    void keptInside_data();
    void keptInside();
    void screenIndexAt_data();
    void screenIndexAt();
    void movesRepaintOnlyWhatChanged_data();
    void movesRepaintOnlyWhatChanged();
    void pointerLookedAtWhenItMoves_data();
    void pointerLookedAtWhenItMoves();
    void liveBackdrop_data();
    void liveBackdrop();

private:
    // The segments' folder: of this test alone.
    QTemporaryDir runtime;
    QScreen *screen = QGuiApplication::primaryScreen();
    QPoint origin = screen->geometry().topLeft();
};

void TestOverlays::initTestCase()
{
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
}

void TestOverlays::levelToPixels_data()
{
    QTest::addColumn<int>("map"); // 0 dot, 1 lens, 2 spot
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("pixels");

    QTest::newRow("dot level 0 is the smallest legal size") << 0 << 0 << 10;
    QTest::newRow("dot byte 255 from the receiver") << 0 << 255 << 46;
    QTest::newRow("dot INT_MIN") << 0 << INT_MIN << 10;
    QTest::newRow("lens level 0") << 1 << 0 << 120;
    QTest::newRow("lens INT_MAX") << 1 << INT_MAX << 480;
    QTest::newRow("spot level 4, as the main program's own overlay") << 2 << 4 << 110;
}

void TestOverlays::levelToPixels()
{
    QFETCH(int, map);
    QFETCH(int, level);
    const SizeMap maps[] = { kDotDiameter, kLensDiameter, kSpotRadius };
    QTEST(maps[map].pixels(level), "pixels");
}

void TestOverlays::segmentMadeByEitherSide()
{
    // The effect first: it makes the segment, empty; the main program attaches.
    SizeSegment segment(uniqueKey("missing"));
    QVERIFY(segment.open());
    QCOMPARE(segment.read().value_or(INT_MIN), 0);
    SizeSegment main(uniqueKey("missing"));
    QVERIFY(main.open());
    for (qint32 level : { 4, 0, -3, 1000000 }) {
        QVERIFY(main.write(level));
        QCOMPARE(segment.read().value_or(INT_MIN), level);
    }

    // The main program first: the effect attaches and reads what it holds.
    SizeSegment first(uniqueKey("first"));
    QVERIFY(first.open() && first.write(7));
    SizeSegment late(uniqueKey("first"));
    QVERIFY(late.attach());
    QCOMPARE(late.read().value_or(INT_MIN), 7);

    // Made too short by someone else: never read past its end.
    QSharedMemory stranger;
    stranger.setNativeKey(keyFile(uniqueKey("small")));
    QVERIFY(stranger.create(2));
    SizeSegment small(uniqueKey("small"));
    QVERIFY(small.open());
    QVERIFY(!small.read().has_value());
}

// A side that stops while it holds the lock (a stopped or stuck process)
// costs the other a moment, never its loop; let go, the lock is had again.
void TestOverlays::lockHeldElsewhereIsNotWaitedFor()
{
    SizeSegment segment(uniqueKey("held"));
    QVERIFY(segment.open() && segment.write(5));
    QFile holder(keyFile(uniqueKey("held")));
    QVERIFY(holder.open(QIODevice::ReadOnly));
    QCOMPARE(::flock(holder.handle(), LOCK_EX), 0);
    QVERIFY(!segment.write(6));
    QVERIFY(!segment.read().has_value());
    holder.close();
    QCOMPARE(segment.read().value_or(INT_MIN), 5);
}

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
    QTest::newRow("in a gap, nearer the first") << QPoint(850, 300) << withGap << 0;
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

void TestOverlays::movesRepaintOnlyWhatChanged_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("composited");
    QTest::addColumn<int>("pixels");

    QTest::newRow("spotlight, translucent") << 0 << true << 90;
    QTest::newRow("spotlight, opaque picture") << 0 << false << 90;
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
        auto *spot = new SpotOverlay(screen, composited, &stats);
        if (!composited)
            spot->setBackdrop(new Backdrop(picture.toImage()));
        overlay.reset(spot);
    } else if (kind == 1) {
        auto *lens = new LensOverlay(screen, composited, &stats);
        lens->setBackdrop(new Backdrop(picture.toImage()));
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
    for (const OverlayState &step : { OverlayState { true, QPoint(340, 310), pixels },
             OverlayState { true, QPoint(340, 310), pixels + 20 },
             OverlayState { false, QPoint(340, 310), pixels },
             OverlayState { true, QPoint(200, 250), pixels } }) {
        const qint64 bound = area(overlay->state()) + area(step);
        overlay->follow(origin + step.pointer, step.pixels, step.here);
        stats.reset();
        QTRY_VERIFY(stats.frames() >= 1);
        QVERIFY2(stats.paintedPixels() <= bound,
            qPrintable(QString("painted %1 pixels").arg(stats.paintedPixels())));
    }
}

void TestOverlays::pointerLookedAtWhenItMoves_data()
{
    QTest::addColumn<bool>("heard");
    QTest::newRow("the system tells of motion") << true;
    QTest::newRow("polled") << false;
}

void TestOverlays::pointerLookedAtWhenItMoves()
{
    QFETCH(bool, heard);
    QPoint where = origin + QPoint(100, 100);
    int looks = 0;
    EffectHost host(uniqueKey("host"), kDotDiameter,
        [](QScreen *s, bool composited, FrameStats *stats) { return new DotOverlay(s, composited, stats); });
    auto motion = heard ? std::make_unique<desktop::PointerMotion>() : nullptr;
    desktop::PointerMotion *events = motion.get();
    host.setPointerMotion(std::move(motion));
    host.setPointerSource([&] {
        ++looks;
        return where;
    });
    host.start();
    QCOMPARE(host.pointer(), where);
    DotOverlay *dot = static_cast<DotOverlay *>(host.overlays().value(0));
    QVERIFY(dot);

    where += QPoint(40, 10);
    if (events) {
        // A quick move of a fine mouse: the first motion is looked at at
        // once, the rest of the burst waits for the next frame.
        looks = 0;
        for (int i = 0; i < 50; ++i)
            emit events->moved();
        QCOMPARE(looks, 1);
    }
    QTRY_COMPARE(host.pointer(), where);
    QTRY_COMPARE(dot->state().pointer, where - dot->geometry().topLeft());

    if (events) {
        // At rest the frames stop; only the odd look for a warped pointer is left.
        QTest::qWait(4 * EffectHost::kFrameMs);
        looks = 0;
        QTest::qWait(10 * EffectHost::kFrameMs);
        QVERIFY2(looks <= 1, qPrintable(QString("%1 looks").arg(looks)));

        // A program warps the pointer: nothing is heard, and yet it is found.
        where += QPoint(-60, 30);
        QTRY_COMPARE(host.pointer(), where);
    }
}

void TestOverlays::liveBackdrop_data()
{
    QTest::addColumn<bool>("lens");
    QTest::newRow("lens") << true;
    QTest::newRow("spotlight without a compositor") << false;
}

void TestOverlays::liveBackdrop()
{
    QFETCH(bool, lens);
    FrameStats stats;
    auto *painted = new PaintedScreen;
    auto *backdrop = new Backdrop(screen, std::unique_ptr<desktop::ScreenReader>(painted));
    std::unique_ptr<EffectOverlay> overlay;
    if (lens) {
        auto *l = new LensOverlay(screen, false, &stats);
        l->setBackdrop(backdrop);
        overlay.reset(l);
    } else {
        auto *s = new SpotOverlay(screen, false, &stats);
        s->setBackdrop(backdrop);
        overlay.reset(s);
    }
    const QPoint at(300, 300);
    overlay->follow(origin + at, 120, true);
    overlay->present();
    QVERIFY(QTest::qWaitForWindowExposed(overlay.get()));
    const auto shown = [&overlay, at] { return overlay->grab().toImage().pixelColor(at); };
    QCOMPARE(shown(), QColor(Qt::darkCyan));

    // A change away from the effect: the lens has nothing new to show, the
    // spotlight's veil only that part.
    const QRect far(origin + QPoint(650, 450), QSize(50, 40));
    QTRY_VERIFY(stats.frames() >= 1);
    stats.reset();
    painted->paint(Qt::red, far);
    QTRY_COMPARE(painted->reads, 2);
    QTest::qWait(Backdrop::kRefreshMs);
    QCOMPARE(stats.frames(), lens ? 0 : 1);
    QVERIFY(stats.paintedPixels() <= far.width() * far.height());

    // A burst of changes under the effect is read once, and shown.
    for (int i = 0; i < 20; ++i)
        painted->paint(Qt::blue, QRect(origin + at - QPoint(20, 20), QSize(40, 40)));
    QTRY_COMPARE(shown(), QColor(Qt::blue));
    QCOMPARE(painted->reads, 3);

    // A screen that holds still is neither read nor painted.
    stats.reset();
    QTest::qWait(3 * Backdrop::kRefreshMs);
    QCOMPARE(painted->reads, 3);
    QCOMPARE(stats.frames(), 0);
}

QTEST_MAIN(TestOverlays)
#include "test_overlays.moc"
