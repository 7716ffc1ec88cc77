// The mode machine of the main window: which effect programs are stopped and
// started, what the user is told, and what lands in the shared-memory
// segments the effect programs read.
#include <QCoreApplication>
#include <QProcess>
#include <QSharedMemory>
#include <QSystemSemaphore>
#include <QtTest>

#include <cstring>
#include <memory>

#include "inprocess.h"
#include "mainwindow/widget.h"
#include "support/debuglog.h"
#include "support/ipcsandbox.h"
#include "support/recordingplatform.h"

namespace {

const QString kDotrixKey = "Dotrix_shared";
const QString kMagnifierKey = "Magnifier_shared";
const QString kHalvixKey = "Halvix_shared";

QString segmentTool()
{
    return QCoreApplication::applicationDirPath() + "/quorvant-segment";
}

} // namespace

class ModesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void transitions_data();
    void transitions();

    void effectiveSizes_data();
    void effectiveSizes();
    void segmentLayout();
    void sizeUpdates_data();
    void sizeUpdates();
    void spotlightLogsEveryRawSize();

    void unstartableProgramIsReported();

    void segmentCreatedByAnotherProcessFirst();
    void segmentLeftBehindByACrash();
    void shortForeignSegmentIsNotOverrun();

    void receiverReportsDriveTheModes();

private:
    // "laser 7", "magnifier 0", "spotlight 5", "normal", "showui", or
    // "ended Dotrix.exe" for an effect program that ends by itself.
    void fire(const QString &event);
    Widget *makeWindow();
    void destroyWindow();
    QString appDir() const { return QCoreApplication::applicationDirPath(); }

    IpcSandbox sandbox;
    // Made per test: the test library takes the message handler over when it
    // starts.
    std::unique_ptr<DebugLog> log;
    RecordingPlatform *platform = nullptr;
    Widget *window = nullptr;
};

void ModesTest::initTestCase()
{
    quorvantInitResources();
}

Widget *ModesTest::makeWindow()
{
    platform = new RecordingPlatform;
    window = new Widget(nullptr, platform);
    platform->calls.clear();
    log->clear();
    return window;
}

void ModesTest::destroyWindow()
{
    delete window;
    window = nullptr;
    delete platform;
    platform = nullptr;
}

void ModesTest::init()
{
    sim::inProcessReceiver().reset();
    log = std::make_unique<DebugLog>();
    makeWindow();
}

void ModesTest::cleanup()
{
    destroyWindow();
    log.reset();
}

void ModesTest::fire(const QString &event)
{
    const QStringList words = event.split(' ');
    const QString what = words.value(0);
    if (what == "ended") {
        platform->running.remove(words.value(1));
        return;
    }
    static const QMap<QString, const char *> modeSlots {
        { "laser", "onDotrix" },
        { "magnifier", "onLoupex" },
        { "spotlight", "onQyLight" },
    };
    bool ok = false;
    if (modeSlots.contains(what))
        ok = QMetaObject::invokeMethod(window, modeSlots.value(what), Q_ARG(int, words.value(1).toInt()));
    else if (what == "normal")
        ok = QMetaObject::invokeMethod(window, "onNormal");
    else if (what == "showui")
        ok = QMetaObject::invokeMethod(window, "ShowUI");
    QVERIFY2(ok, qPrintable("cannot fire " + event));
}

void ModesTest::transitions_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("running");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("balloons");
    QTest::addColumn<int>("mode");

    const QStringList none;
    const QString dir = appDir();

    // From normal use: nothing to stop.
    QTest::newRow("normal to laser") << none << none << "laser 7"
                                     << QStringList { "find Dotrix.exe", "start " + dir + "/Dotrix.exe" }
                                     << QStringList { R"("Prompt" "Laser pointer mode")" } << 3;
    QTest::newRow("normal to laser, already running")
        << none << QStringList { "Dotrix.exe" } << "laser 7" << QStringList { "find Dotrix.exe" }
        << QStringList { R"(" Prompt " "Laser pointer mode is running!")" } << 3;
    QTest::newRow("normal to magnifier")
        << none << none << "magnifier 0" << QStringList { "find Loupex.exe", "start " + dir + "/Loupex.exe" }
        << QStringList { R"("Prompt" "Magnifier mode")" } << 1;
    QTest::newRow("normal to magnifier, already running")
        << none << QStringList { "Loupex.exe" } << "magnifier 0" << QStringList { "find Loupex.exe" }
        << QStringList { R"("Prompt" "Magnifier mode is running!")" } << 1;
    QTest::newRow("normal to spotlight")
        << none << none << "spotlight 5" << QStringList { "find Halvix.exe", "start " + dir + "/Halvix.exe" }
        << QStringList { R"("Prompt" "Spotlight mode!")" } << 2;
    QTest::newRow("normal to spotlight, already running")
        << none << QStringList { "Halvix.exe" } << "spotlight 5" << QStringList { "find Halvix.exe" }
        << QStringList { R"("Prompt" "Spotlight mode is running!")" } << 2;
    QTest::newRow("names are compared case-sensitively")
        << none << QStringList { "loupex.exe" } << "magnifier 1"
        << QStringList { "find Loupex.exe", "start " + dir + "/Loupex.exe" }
        << QStringList { R"("Prompt" "Magnifier mode")" } << 1;

    // From one effect mode to another: the old program goes first.
    QTest::newRow("magnifier to spotlight") << QStringList { "magnifier 2" } << none << "spotlight 5"
                                            << QStringList { "find Loupex.exe", "kill-command Loupex.exe",
                                                   "find Halvix.exe", "start " + dir + "/Halvix.exe" }
                                            << QStringList { R"("Prompt" "Spotlight mode!")" } << 2;
    QTest::newRow("laser to magnifier") << QStringList { "laser 0" } << none << "magnifier 4"
                                        << QStringList { "find Dotrix.exe", "kill-command Dotrix.exe",
                                               "find Loupex.exe", "start " + dir + "/Loupex.exe" }
                                        << QStringList { R"("Prompt" "Magnifier mode")" } << 1;
    QTest::newRow("spotlight to laser, laser already running")
        << QStringList { "spotlight 2" } << QStringList { "Dotrix.exe" } << "laser 1"
        << QStringList { "find Halvix.exe", "kill-command Halvix.exe", "find Dotrix.exe" }
        << QStringList { R"(" Prompt " "Laser pointer mode is running!")" } << 3;
    QTest::newRow("magnifier to spotlight, magnifier already ended")
        << QStringList { "magnifier 2", "ended Loupex.exe" } << none << "spotlight 5"
        << QStringList { "find Loupex.exe", "find Halvix.exe", "start " + dir + "/Halvix.exe" }
        << QStringList { R"("Prompt" "Spotlight mode!")" } << 2;

    // The same mode again: only the size may change.
    QTest::newRow("magnifier again") << QStringList { "magnifier 2" } << none << "magnifier 4" << none << none
                                     << 1;
    QTest::newRow("laser again after its program ended")
        << QStringList { "laser 1", "ended Dotrix.exe" } << none << "laser 2" << none << none << 3;

    // Back to normal use.
    QTest::newRow("laser to normal") << QStringList { "laser 1" } << none << "normal"
                                     << QStringList { "find Dotrix.exe", "kill-command Dotrix.exe" } << none
                                     << 0;
    QTest::newRow("laser to normal, program already ended")
        << QStringList { "laser 1", "ended Dotrix.exe" } << none << "normal"
        << QStringList { "find Dotrix.exe" } << none << 0;
    QTest::newRow("spotlight to normal through ShowUI")
        << QStringList { "spotlight 3" } << none << "showui"
        << QStringList { "find Halvix.exe", "kill-command Halvix.exe" } << none << 0;
    QTest::newRow("normal stays normal")
        << none << QStringList { "Dotrix.exe", "Loupex.exe", "Halvix.exe" } << "normal" << none << none << 0;
    QTest::newRow("ShowUI in normal use")
        << none << QStringList { "Halvix.exe" } << "showui" << none << none << 0;
}

void ModesTest::transitions()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, running);
    QFETCH(QString, event);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, balloons);
    QFETCH(int, mode);

    for (const QString &name : running)
        platform->running.insert(name);
    for (const QString &step : before)
        fire(step);
    platform->calls.clear();
    log->clear();

    fire(event);

    QCOMPARE(platform->calls, calls);
    QCOMPARE(log->after("Mode balloon:"), balloons);
    QCOMPARE(window->currentMode, mode);
    // Every kill command that ran reports its exit code.
    QCOMPARE(log->count("pInt: 0"), calls.filter("kill-command").size());
    if (event == "showui")
        QVERIFY(window->isVisible());
}

void ModesTest::effectiveSizes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("expected");

    QTest::newRow("laser 0 is the smallest dot") << "laser" << 0 << kDotrixKey << 0;
    QTest::newRow("laser 7") << "laser" << 7 << kDotrixKey << 7;
    QTest::newRow("magnifier 0 reads as 3") << "magnifier" << 0 << kMagnifierKey << 3;
    QTest::newRow("magnifier 1") << "magnifier" << 1 << kMagnifierKey << 1;
    QTest::newRow("spotlight 0 reads as 3") << "spotlight" << 0 << kHalvixKey << 3;
    QTest::newRow("spotlight 255") << "spotlight" << 255 << kHalvixKey << 255;
}

// The same size rule holds when the mode is entered and while it is active,
// and each mode writes only its own segment.
void ModesTest::effectiveSizes()
{
    QFETCH(QString, mode);
    QFETCH(int, n);
    QFETCH(QString, key);
    QFETCH(int, expected);

    const QMap<QString, int *> members { { kDotrixKey, &window->redDotrixSize },
        { kMagnifierKey, &window->magnifierSize }, { kHalvixKey, &window->qyLightSize } };

    fire(mode + " " + QString::number(n));
    QCOMPARE(*members.value(key), expected);
    QCOMPARE(readSegment(key).level, expected);
    for (const QString &other : members.keys())
        if (other != key)
            QCOMPARE(readSegment(other).level, 0);

    fire(mode + " 9");
    QCOMPARE(readSegment(key).level, 9);
    fire(mode + " " + QString::number(n));
    QCOMPARE(*members.value(key), expected);
    QCOMPARE(readSegment(key).level, expected);
}

void ModesTest::segmentLayout()
{
    // Larger than the receiver's byte, so that a wrong width or byte order shows.
    fire("magnifier 258");
    const SegmentContents contents = readSegment(kMagnifierKey);
    QVERIFY(contents.attached);
    QCOMPARE(contents.size, 10);
    QCOMPARE(contents.bytes.toHex(' '), QByteArray("02 01 00 00 00 00 00 00 00 00"));

    fire("magnifier -2");
    QCOMPARE(readSegment(kMagnifierKey).bytes.toHex(' '), QByteArray("fe ff ff ff 00 00 00 00 00 00"));
}

void ModesTest::sizeUpdates_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("program");

    QTest::newRow("laser") << "laser" << kDotrixKey << "Dotrix.exe";
    QTest::newRow("magnifier") << "magnifier" << kMagnifierKey << "Loupex.exe";
    QTest::newRow("spotlight") << "spotlight" << kHalvixKey << "Halvix.exe";
}

// Reports of the active mode change the size and nothing else: no process is
// looked up, started or stopped, and nobody is told.
void ModesTest::sizeUpdates()
{
    QFETCH(QString, mode);
    QFETCH(QString, key);
    QFETCH(QString, program);

    fire(mode + " 2");
    QCOMPARE(platform->callsStartingWith("start ").size(), 1);
    platform->calls.clear();
    log->clear();

    // The same size again leaves the segment alone: what an effect program
    // put there meanwhile stays.
    QVERIFY(writeSegmentLevel(key, 77));
    fire(mode + " 2");
    QCOMPARE(readSegment(key).level, 77);

    fire(mode + " 6");
    QCOMPARE(readSegment(key).level, 6);
    fire(mode + " 1");
    QCOMPARE(readSegment(key).level, 1);

    QCOMPARE(platform->calls, QStringList());
    QCOMPARE(log->after("Mode balloon:"), QStringList());
    QVERIFY(platform->running.contains(program));
}

void ModesTest::spotlightLogsEveryRawSize()
{
    fire("spotlight 0");
    QCOMPARE(log->after("Halvix Size:"), QStringList());
    fire("spotlight 0");
    fire("spotlight 4");
    fire("magnifier 0");
    fire("magnifier 0");
    QCOMPARE(log->after("Halvix Size:"), (QStringList { "0", "4" }));
}

// A program that cannot be started is said to be missing, not announced as
// running. The mode is still taken, so that its sizes are kept for a program
// started by hand, and only entering the mode anew tries again.
void ModesTest::unstartableProgramIsReported()
{
    platform->unstartable.insert("Loupex.exe");
    fire("magnifier 5");
    QCOMPARE(log->after("Mode balloon:"),
        QStringList { R"("Prompt" "Magnifier mode: Loupex.exe could not be started.")" });
    QCOMPARE(window->currentMode, 1);
    QCOMPARE(readSegment(kMagnifierKey).level, 5);

    platform->calls.clear();
    fire("magnifier 6");
    QCOMPARE(platform->calls, QStringList());
    QCOMPARE(readSegment(kMagnifierKey).level, 6);

    platform->unstartable.clear();
    fire("normal");
    log->clear();
    fire("magnifier 6");
    QCOMPARE(platform->callsStartingWith("start "), QStringList { "start " + appDir() + "/Loupex.exe" });
    QCOMPARE(log->after("Mode balloon:"), QStringList { R"("Prompt" "Magnifier mode")" });

    platform->unstartable = { "Dotrix.exe", "Halvix.exe" };
    log->clear();
    fire("laser 1");
    fire("spotlight 1");
    QCOMPARE(log->after("Mode balloon:"),
        (QStringList { R"("Prompt" "Laser pointer mode: Dotrix.exe could not be started.")",
            R"("Prompt" "Spotlight mode: Halvix.exe could not be started.")" }));
}

// An effect program started before the program made the segment itself.
void ModesTest::segmentCreatedByAnotherProcessFirst()
{
    destroyWindow();
    QProcess holder;
    holder.start(segmentTool(), { "hold", kHalvixKey, "42" });
    QVERIFY2(holder.waitForStarted(30000), qPrintable(holder.errorString()));
    QVERIFY(holder.waitForReadyRead(30000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("ready"));

    makeWindow();
    QVERIFY(window->halvixShared->isAttached());
    // Nothing is written at start: the segment keeps what it held.
    QCOMPARE(readSegment(kHalvixKey).level, 42);

    fire("spotlight 5");
    QCOMPARE(readSegment(kHalvixKey).level, 5);
    QProcess reader;
    reader.start(segmentTool(), { "read", kHalvixKey });
    QVERIFY(reader.waitForFinished(30000));
    QCOMPARE(reader.exitCode(), 0);
    QCOMPARE(reader.readAllStandardOutput().trimmed(), QByteArray("5"));

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(30000));
    QCOMPARE(holder.exitCode(), 0);

    // The segment outlives the program that made it.
    fire("spotlight 8");
    QCOMPARE(readSegment(kHalvixKey).level, 8);
}

// An effect program that crashed leaves its segment with nobody attached;
// making it anew fails, and the program attaches to it instead.
void ModesTest::segmentLeftBehindByACrash()
{
    destroyWindow();
    // Not looked at before the program attaches: the last one to detach
    // from a segment removes it.
    QCOMPARE(QProcess::execute(segmentTool(), { "abandon", kDotrixKey, "9" }), 0);

    makeWindow();
    QVERIFY(window->dotrixShared->isAttached());
    QCOMPARE(readSegment(kDotrixKey).level, 9);
    fire("laser 0");
    QCOMPARE(readSegment(kDotrixKey).level, 0);

    // The lock the crashed program made is not the program's to remove.
    destroyWindow();
    QSystemSemaphore leftover(kDotrixKey, 1, QSystemSemaphore::Create);
    Q_UNUSED(leftover);
}

// A segment of the right name but too short for the level, made by something
// else, is attached to but never written past its end.
void ModesTest::shortForeignSegmentIsNotOverrun()
{
    destroyWindow();
    QSharedMemory foreign(kDotrixKey);
    QVERIFY(foreign.create(2));
    std::memset(foreign.data(), 0x5a, 2);

    makeWindow();
    fire("laser 7");
    QCOMPARE(window->currentMode, 3);
    QCOMPARE(window->redDotrixSize, 7);
    QCOMPARE(QByteArray(static_cast<const char *>(foreign.constData()), foreign.size()), QByteArray(2, 0x5a));
    destroyWindow();
}

// The device link's mode reports reach the mode machine.
void ModesTest::receiverReportsDriveTheModes()
{
    sim::Receiver &pen = sim::inProcessReceiver();
    pen.pressMode(sim::Mode::Magnifier, 0);
    QTRY_COMPARE_WITH_TIMEOUT(window->currentMode, 1, 30000);
    QCOMPARE(readSegment(kMagnifierKey).level, 3);

    pen.pressMode(sim::Mode::Laser, 7);
    QTRY_COMPARE_WITH_TIMEOUT(window->currentMode, 3, 30000);
    QCOMPARE(readSegment(kDotrixKey).level, 7);

    pen.pressMode(sim::Mode::Normal, 0);
    QTRY_COMPARE_WITH_TIMEOUT(window->currentMode, 0, 30000);
    QVERIFY(platform->running.isEmpty());
}

QTEST_MAIN(ModesTest)
#include "test_modes.moc"
