// The main window's presentation modes and its life in the tray: effect programs
// stopped and started, what the user is told, the segments the effect programs
// read, the mode notice, the spotlight overlay, hiding, and the ways out.
#include <QElapsedTimer>
#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <cstring>
#include <memory>

#include "inprocess.h"
#include "mainwindow/widget.h"
#include "modes/dialog.h"
#include "modes/showmodediag.h"
#include "support/debuglog.h"
#include "support/ipcsandbox.h"
#include "support/recordingplatform.h"
#include "support/traydesktop.h"

namespace {

const QString kDotrixKey = "Dotrix_shared";
const QString kMagnifierKey = "Magnifier_shared";
const QString kHalvixKey = "Halvix_shared";
// Far longer than any of this takes; only a program that never ends hits it.
constexpr int kDeadlineMs = 60000;
// What makeWindow sets and the ways out write.
const QStringList kSizes { "config/MagnifeerSize=4", "config/QyLightSize=0", "config/redDotrixSize=9" };

// A row of the transition table; lists are separated by "; ", and "start X"
// stands for "start <appDir>/X".
void row(const char *name, const char *before, const char *running, const char *event, const char *calls,
    const char *balloon, int mode)
{
    const auto list = [](const char *items) { return QString(items).split("; ", Qt::SkipEmptyParts); };
    QTest::newRow(name) << list(before) << list(running) << QString(event) << list(calls) << QString(balloon)
                        << mode;
}

// Notes at each kill whether the tray icon was gone and the sizes written.
class OrderPlatform : public RecordingPlatform
{
public:
    Widget *window = nullptr;
    mutable QStringList atKill;

    int stopProgram(const std::string &program) override
    {
        QSettings settings(Widget::settingsPath(), QSettings::IniFormat);
        atKill << (window && window->trayIcon ? "tray icon present" : "tray icon gone")
               << "MagnifeerSize=" + settings.value("config/MagnifeerSize").toString();
        return RecordingPlatform::stopProgram(program);
    }
};

// The overlay on an 800 x 600 desktop whose every pixel tells where it came
// from, counting how often it is taken.
class PatternDialog : public Dialog
{
public:
    using Dialog::Dialog;
    mutable int captures = 0;

protected:
    QPixmap captureDesktop() const override
    {
        ++captures;
        QImage image(800, 600, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb(x % 256, y % 256, 77));
        return QPixmap::fromImage(image);
    }
};

QStringList savedSizes()
{
    QSettings settings(Widget::settingsPath(), QSettings::IniFormat);
    QStringList saved;
    for (const QString &key : settings.allKeys())
        saved << key + "=" + settings.value(key).toString();
    return saved;
}

} // namespace

class ModesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quorvantInitResources(); }
    void init();
    void cleanup();

    void transitions_data();
    void transitions();
    void sizes_data();
    void sizes();
    void segmentsMadeByOthersAreAttached();
    void shortForeignSegmentIsNotOverrun();
    void notices_data();
    void notices();
    void circleSquare_data();
    void circleSquare();
    void overlay();

    void everyStartWritesAutostartAndResetsCursors();
    void hidingToTheTray();
    void waysOut_data();
    void waysOut();
    void severalWaysOutActOnce();

private:
    void makeWindow(int mode = Widget::NormalMode);
    // "laser 7", "magnifier 0", "spotlight 5", "normal", "showui", or, for an
    // effect program, "ended Dotrix" (by itself) or "fails Dotrix" (to start).
    void fire(const QString &event);
    int exitCodeOf(int signalNumber);

    IpcSandbox sandbox;
    // Per test: the test library takes the message handler over when it starts.
    std::unique_ptr<DebugLog> log;
    OrderPlatform platform;
    std::unique_ptr<Widget> window;
};

void ModesTest::init()
{
    QFile::remove(Widget::settingsPath());
    sim::inProcessReceiver().reset();
    platform = OrderPlatform();
    log = std::make_unique<DebugLog>();
    makeWindow();
}

void ModesTest::cleanup()
{
    window.reset();
    log.reset();
}

void ModesTest::makeWindow(int mode)
{
    platform.calls.clear();
    window = std::make_unique<Widget>(nullptr, &platform);
    platform.window = window.get();
    log->clear();
    window->currentMode = mode;
    window->magnifierSize = 4;
    window->qyLightSize = 0;
    window->redDotrixSize = 9;
}

void ModesTest::fire(const QString &event)
{
    const QString what = event.section(' ', 0, 0);
    const QString arg = event.section(' ', 1);
    if (what == "ended" || what == "fails") {
        platform.running.remove(arg);
        if (what == "fails")
            platform.unstartable.insert(arg);
        return;
    }
    static const QMap<QString, const char *> slotOf { { "laser", "onDotrix" }, { "magnifier", "onLoupex" },
        { "spotlight", "onQyLight" }, { "normal", "onNormal" }, { "showui", "ShowUI" } };
    const bool ok = arg.isEmpty()
        ? QMetaObject::invokeMethod(window.get(), slotOf.value(what))
        : QMetaObject::invokeMethod(window.get(), slotOf.value(what), Q_ARG(int, arg.toInt()));
    QVERIFY2(ok, qPrintable("cannot fire " + event));
}

// Raises the signal, or picks the tray's exit action (0), in the application's
// own event loop (a nested one would return at once); returns the exit code.
int ModesTest::exitCodeOf(int signalNumber)
{
    QTimer deadline;
    deadline.callOnTimeout([] { QCoreApplication::exit(99); });
    deadline.start(kDeadlineMs);
    QTimer::singleShot(0, this, [this, signalNumber] {
        if (signalNumber)
            raise(signalNumber);
        else
            window->trayIcon->contextMenu()->actions().last()->trigger();
    });
    return QCoreApplication::exec();
}

void ModesTest::transitions_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("running");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("balloon");
    QTest::addColumn<int>("mode");

    row("normal to laser, running", "", "Dotrix", "laser 7", "find Dotrix",
        R"(" Prompt " "Laser pointer mode is running!")", 3);
    row("normal to magnifier, running", "", "Loupex", "magnifier 0", "find Loupex",
        R"("Prompt" "Magnifier mode is running!")", 1);
    row("normal to spotlight, running", "", "Halvix", "spotlight 5", "find Halvix",
        R"("Prompt" "Spotlight mode is running!")", 2);
    row("magnifier to spotlight", "magnifier 2", "", "spotlight 5",
        "find Loupex; stop Loupex; find Halvix; start Halvix", R"("Prompt" "Spotlight mode!")", 2);
    row("spotlight to laser, laser running", "spotlight 2", "Dotrix", "laser 1",
        "find Halvix; stop Halvix; find Dotrix", R"(" Prompt " "Laser pointer mode is running!")", 3);
    row("magnifier ended by itself to spotlight", "magnifier 2; ended Loupex", "", "spotlight 5",
        "find Loupex; find Halvix; start Halvix", R"("Prompt" "Spotlight mode!")", 2);
    // The same mode again only changes the size, even with its program gone.
    row("laser again, program ended", "laser 1; ended Dotrix", "", "laser 2", "", "", 3);
    row("spotlight to normal through ShowUI", "spotlight 3", "", "showui", "find Halvix; stop Halvix", "", 0);
    // A program that cannot be started is not announced as running. The mode
    // is still taken and its size written, for a program started by hand.
    row("laser, cannot start", "fails Dotrix", "", "laser 1", "find Dotrix; start Dotrix",
        R"("Prompt" "Laser pointer mode: Dotrix could not be started.")", 3);
    row("magnifier, cannot start", "fails Loupex", "", "magnifier 4", "find Loupex; start Loupex",
        R"("Prompt" "Magnifier mode: Loupex could not be started.")", 1);
    row("spotlight, cannot start", "fails Halvix", "", "spotlight 1", "find Halvix; start Halvix",
        R"("Prompt" "Spotlight mode: Halvix could not be started.")", 2);
    // Effect programs started by hand are left alone.
    row("normal stays normal", "", "Dotrix; Loupex; Halvix", "normal", "", "", 0);
}

void ModesTest::transitions()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, running);
    QFETCH(QString, event);
    QFETCH(QStringList, calls);
    QFETCH(QString, balloon);
    QFETCH(int, mode);

    platform.running = QSet<QString>(running.begin(), running.end());
    for (const QString &step : before)
        fire(step);
    platform.calls.clear();
    log->clear();

    fire(event);
    calls.replaceInStrings(
        QRegularExpression("^start "), "start " + QCoreApplication::applicationDirPath() + "/");
    QCOMPARE(platform.calls, calls);
    QCOMPARE(log->after("Mode balloon:"), balloon.isEmpty() ? QStringList() : QStringList { balloon });
    QCOMPARE(window->currentMode, mode);
    // The mode's segment holds its size; 0 stands for 3 but with the laser.
    const int n = event.section(' ', 1).toInt();
    if (mode != Widget::NormalMode)
        QCOMPARE(readSegment(QStringList { "", kMagnifierKey, kHalvixKey, kDotrixKey }.at(mode)).level,
            n || mode == Widget::LaserMode ? n : 3);
    // Every kill command that ran has its exit code logged.
    QCOMPARE(log->count("pInt: 0"), calls.filter("stop").size());
    QCOMPARE(window->isVisible(), event == "showui");
}

void ModesTest::sizes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("zero"); // what size 0 stands for

    QTest::newRow("laser") << "laser" << kDotrixKey << 0;
    QTest::newRow("magnifier") << "magnifier" << kMagnifierKey << 3;
    QTest::newRow("spotlight") << "spotlight" << kHalvixKey << 3;
}

// Each mode writes its own segment only. Reports of the active mode change the
// size and nothing else: no process is looked up, started or stopped, and
// nobody is told.
void ModesTest::sizes()
{
    QFETCH(QString, mode);
    QFETCH(QString, key);
    QFETCH(int, zero);

    fire(mode + " 0");
    for (const QString &other : { kDotrixKey, kMagnifierKey, kHalvixKey })
        QCOMPARE(readSegment(other).level, other == key ? zero : 0);
    platform.calls.clear();
    log->clear();

    // The same size again leaves alone what an effect program put there.
    QVERIFY(writeSegmentLevel(key, 77));
    fire(mode + " 0");
    QCOMPARE(readSegment(key).level, 77);
    // A signed 32-bit little-endian integer at byte 0 of the 10 bytes.
    fire(mode + " -2");
    QCOMPARE(readSegment(key).bytes.toHex(' '), QByteArray("fe ff ff ff 00 00 00 00 00 00"));
    fire(mode + " 0");
    QCOMPARE(readSegment(key).level, zero);

    QCOMPARE(platform.calls, QStringList());
    QCOMPARE(log->after("Mode balloon:"), QStringList());
}

// A segment made first by a running effect program, and one left behind by a
// crashed one (nobody attached, its lock still there): creating fails, and
// attaching must then work.
void ModesTest::segmentsMadeByOthersAreAttached()
{
    // Beside the test itself (argv[0]), not beside its private copy.
    const QString tool
        = QFileInfo(QCoreApplication::arguments().first()).absolutePath() + "/quorvant-segment";
    window.reset();
    QCOMPARE(QProcess::execute(tool, { "abandon", kDotrixKey, "9" }), 0);
    QProcess holder;
    holder.start(tool, { "hold", kHalvixKey, "42" });
    QVERIFY2(holder.waitForReadyRead(30000), qPrintable(holder.errorString()));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("ready"));

    makeWindow();
    // Nothing is written at start: the segments keep what they held.
    QCOMPARE(readSegment(kDotrixKey).level, 9);
    QCOMPARE(readSegment(kHalvixKey).level, 42);
    fire("laser 0");
    QCOMPARE(readSegment(kDotrixKey).level, 0);
    fire("spotlight 5");
    QCOMPARE(readSegment(kHalvixKey).level, 5);
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(30000));
}

// Too short for the level and made by something else: attached to, but never
// written past its end.
void ModesTest::shortForeignSegmentIsNotOverrun()
{
    window.reset();
    QSharedMemory foreign(kDotrixKey);
    QVERIFY(foreign.create(2));
    std::memset(foreign.data(), 0x5a, 2);

    makeWindow();
    fire("laser 7");
    QCOMPARE(window->redDotrixSize, 7);
    QCOMPARE(QByteArray(static_cast<const char *>(foreign.constData()), foreign.size()), QByteArray(2, 0x5a));
}

void ModesTest::notices_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("text");

    QTest::newRow("laser") << QByteArray("onSetLazer") << "Electronic laser";
    QTest::newRow("magnifier") << QByteArray("onSetMagnify") << "Magnifier";
    QTest::newRow("spotlight") << QByteArray("onSetSpotLight") << "Spotlight";
    QTest::newRow("normal use") << QByteArray("onSetNormalUse") << "Normal use";
}

// Up for about two seconds; a notice put up over another counts anew.
void ModesTest::notices()
{
    QFETCH(QByteArray, slot);
    QVERIFY(QMetaObject::invokeMethod(window.get(), "onSetSpotLight"));
    QTest::qWait(1000);
    QVERIFY(window->modeDiag->isVisible());
    QVERIFY(QMetaObject::invokeMethod(window.get(), slot.constData()));
    QElapsedTimer shown;
    shown.start();
    QTEST(window->modeDiag->findChild<QLabel *>("label")->text(), "text");
    QTRY_VERIFY_WITH_TIMEOUT(!window->modeDiag->isVisible(), 5000);
    QVERIFY2(shown.elapsed() >= 1800, qPrintable(QString::number(shown.elapsed())));
}

void ModesTest::circleSquare_data()
{
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<int>("level");
    QTest::addColumn<QRect>("square");

    // On a 1920 x 1080 desktop.
    QTest::newRow("level 3 near the top left corner") << QPoint(10, 10) << 3 << QRect(0, 0, 180, 180);
    QTest::newRow("level 1 near the bottom right") << QPoint(1900, 1070) << 1 << QRect(1820, 980, 100, 100);
    QTest::newRow("level 2") << QPoint(960, 540) << 2 << QRect(890, 470, 140, 140);
    QTest::newRow("level 4") << QPoint(960, 540) << 4 << QRect(850, 430, 220, 220);
    QTest::newRow("level 5 is the largest") << QPoint(960, 540) << 5 << QRect(832, 412, 256, 256);
    QTest::newRow("negative level is the largest") << QPoint(960, 540) << -1 << QRect(832, 412, 256, 256);
    // One pixel either side of where the square starts to stick out.
    QTest::newRow("left edge, at half a side") << QPoint(50, 540) << 1 << QRect(0, 490, 100, 100);
    QTest::newRow("left edge, one past") << QPoint(51, 540) << 1 << QRect(1, 490, 100, 100);
    QTest::newRow("pointer past the far corner") << QPoint(5000, 3000) << 2 << QRect(1780, 940, 140, 140);
}

void ModesTest::circleSquare()
{
    QFETCH(QPoint, pointer);
    QFETCH(int, level);
    QTEST(Dialog::circleSquare(pointer, level, 1920, 1080), "square");
}

// Built with the main window and never shown, the overlay holds no picture of
// the user's screen; shown, it holds one of the whole desktop, until hidden.
// It paints a 40 % black veil everywhere but the circle, which shows the
// desktop as it was, in place, behind a white outline; no key closes it.
void ModesTest::overlay()
{
    QVERIFY(window->overlay->capture().isNull());
    window->overlay->show();
    QCOMPARE(window->overlay->capture().size(), QSize(window->screenWidth, window->screenHeight));
    window->overlay->hide();
    QVERIFY(window->overlay->capture().isNull());

    window->screenWidth = 800;
    window->screenHeight = 600;
    PatternDialog overlay(window.get());
    overlay.setLevel(0);
    overlay.show();
    overlay.show(); // while up: the first picture stays
    QCOMPARE(overlay.captures, 1);
    QCursor::setPos(10, 20);
    QCOMPARE(Dialog::circleSquare(QCursor::pos(), 0, 800, 600), QRect(0, 0, 256, 256));
    QImage image(overlay.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    overlay.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    for (const QPoint &outside : { QPoint(300, 128), QPoint(253, 253) })
        QCOMPARE(image.pixelColor(outside), QColor(0, 0, 0, 102));
    for (const QPoint &inside : { QPoint(128, 128), QPoint(192, 128) })
        QCOMPARE(image.pixel(inside), qRgb(inside.x(), inside.y(), 77));
    // The desktop's blue is 77 everywhere and the veil has none: only the
    // white outline brings more.
    for (const QPoint &edge : { QPoint(128, 0), QPoint(0, 128) })
        QVERIFY(image.pixelColor(edge).blue() > 140);

    for (int key : { Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space }) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&overlay, &press);
        QCOMPARE(press.isAccepted(), key == Qt::Key_Space); // the others are passed on
        QVERIFY(overlay.isVisible());
    }
}

void ModesTest::everyStartWritesAutostartAndResetsCursors()
{
    const QStringList once { "autostart " + QCoreApplication::applicationFilePath(), "cursors" };
    QCOMPARE(platform.calls.filter(QRegularExpression("^(autostart|cursors)")), once);
    makeWindow();
    QCOMPARE(platform.calls.filter(QRegularExpression("^(autostart|cursors)")), once);
}

// Escape, Return, Enter (0: the close button) hide the window; other keys do
// nothing. Hidden, never ended: the icon stays and no sizes are written.
void ModesTest::hidingToTheTray()
{
    for (int key : { int(Qt::Key_Escape), int(Qt::Key_Return), int(Qt::Key_Enter), 0 }) {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Space);
        QTest::keyClick(window.get(), Qt::Key_F4, Qt::AltModifier);
        QVERIFY(window->isVisible());
        if (key)
            QTest::keyClick(window.get(), Qt::Key(key));
        else
            QTest::mouseClick(window->findChild<QPushButton *>("btnMenu_Close"), Qt::LeftButton);
        QVERIFY(!window->isVisible());
    }
    QVERIFY(window->trayIcon && window->trayIcon->isVisible());
    QVERIFY(!QFile::exists(Widget::settingsPath()));
}

void ModesTest::waysOut_data()
{
    QTest::addColumn<int>("signalNumber"); // 0: the tray's exit action
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("kills"); // with every effect program running

    QTest::newRow("exit in normal use") << 0 << int(Widget::NormalMode) << QStringList();
    QTest::newRow("exit, magnifier") << 0 << int(Widget::MagnifierMode) << QStringList { "stop Loupex" };
    QTest::newRow("SIGINT") << int(SIGINT) << int(Widget::MagnifierMode) << QStringList { "stop Loupex" };
    QTest::newRow("SIGTERM") << int(SIGTERM) << int(Widget::SpotlightMode) << QStringList { "stop Halvix" };
    QTest::newRow("SIGHUP") << int(SIGHUP) << int(Widget::LaserMode) << QStringList { "stop Dotrix" };
}

void ModesTest::waysOut()
{
    QFETCH(int, signalNumber);
    QFETCH(int, mode);
    QFETCH(QStringList, kills);

    makeWindow(mode);
    platform.running = { "Dotrix", "Loupex", "Halvix" };
    QCOMPARE(exitCodeOf(signalNumber), 0);
    QCOMPARE(platform.callsStartingWith("stop"), kills);
    if (!kills.isEmpty())
        QCOMPARE(platform.atKill, (QStringList { "tray icon gone", "MagnifeerSize=4" }));
    QVERIFY(!window->trayIcon);
    QCOMPARE(savedSizes(), kSizes);
}

void ModesTest::severalWaysOutActOnce()
{
    makeWindow(Widget::LaserMode);
    platform.running.insert("Dotrix");
    QCOMPARE(exitCodeOf(0), 0);

    // Whatever else arrives on the way out changes nothing.
    window->redDotrixSize = 6;
    platform.running.insert("Dotrix");
    QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
    raise(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(log->count("Signal 15 received, exiting") == 1, kDeadlineMs);
    QVERIFY(QMetaObject::invokeMethod(window.get(), "onExit"));

    QCOMPARE(savedSizes(), kSizes);
    QCOMPARE(platform.callsStartingWith("stop"), QStringList { "stop Dotrix" });
}

QUORVANT_TRAY_TEST_MAIN(ModesTest)
#include "test_modes.moc"
