// Life in the tray and its end: what every start does, the icon that follows
// the receiver with one read-back request per appearance, hiding to the tray,
// and the ways out (the exit action, termination signals, the end of the
// event loop), which all remove the tray icon first, write the sizes, stop
// the effect program of the current mode only, and end with code 0, once.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>

#include "device/protocol.h"
#include "device/usbhid.h"
#include "inprocess.h"
#include "mainwindow/widget.h"
#include "support/debuglog.h"
#include "support/ipcsandbox.h"
#include "support/privatefolder.h"
#include "support/recordingplatform.h"

namespace {

// Far longer than any of this takes; only a program that never ends hits it.
constexpr int kDeadlineMs = 60000;
constexpr int kNoExit = 99;

// Also notes, when the kill command is asked for, whether the tray icon was
// already gone and what the settings file held.
class OrderPlatform : public RecordingPlatform
{
public:
    Widget *window = nullptr;
    mutable QStringList atKill;

    std::string killCommand(const std::string &windowsName) const override
    {
        atKill << (window && window->trayIcon ? "tray icon present" : "tray icon gone");
        QSettings settings(Widget::settingsPath(), QSettings::IniFormat);
        atKill << "MagnifeerSize=" + settings.value("config/MagnifeerSize").toString();
        return RecordingPlatform::killCommand(windowsName);
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

const QStringList kSizesOfMakeWindow { "config/MagnifeerSize=4", "config/QyLightSize=0",
    "config/redDotrixSize=9" };

} // namespace

class TestTray : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void everyStartWritesAutostartAndResetsCursors();
    void presence_data();
    void presence();
    void hidingToTheTray_data();
    void hidingToTheTray();

    void waysOut_data();
    void waysOut();
    void severalWaysOutActOnce();
    void ignoredSignalStaysIgnored();

private:
    void makeWindow(int mode = Widget::NormalMode);
    int exitCodeOf(int signalNumber);

    IpcSandbox ipc;
    OrderPlatform platform;
    std::unique_ptr<Widget> window;
};

void TestTray::initTestCase()
{
    quorvantInitResources();
    QVERIFY2(!testsupport::privateFolder().isEmpty(), "runs from a private folder");
}

void TestTray::init()
{
    QFile::remove(Widget::settingsPath());
    sim::inProcessReceiver().reset();
    platform.running.clear();
    platform.atKill.clear();
}

void TestTray::cleanup()
{
    window.reset();
    platform.window = nullptr;
}

void TestTray::makeWindow(int mode)
{
    platform.calls.clear();
    window = std::make_unique<Widget>(nullptr, &platform);
    platform.window = window.get();
    window->currentMode = mode;
    window->magnifierSize = 4;
    window->qyLightSize = 0;
    window->redDotrixSize = 9;
}

// Runs the application's own event loop (a nested one would return at once),
// raises the signal or picks the tray's exit action (0) in it, and returns the
// exit code asked for.
int TestTray::exitCodeOf(int signalNumber)
{
    QTimer deadline;
    deadline.callOnTimeout([] { QCoreApplication::exit(kNoExit); });
    deadline.start(kDeadlineMs);
    QTimer::singleShot(0, this, [this, signalNumber] {
        if (signalNumber)
            raise(signalNumber);
        else
            window->trayIcon->contextMenu()->actions().last()->trigger();
    });
    return QCoreApplication::exec();
}

void TestTray::everyStartWritesAutostartAndResetsCursors()
{
    const QStringList once { "autostart " + QCoreApplication::applicationFilePath(), "cursors" };
    for (int start = 0; start < 2; ++start) {
        makeWindow();
        QCOMPARE(platform.calls.filter(QRegularExpression("^(autostart|cursors)")), once);
    }
}

void TestTray::presence_data()
{
    // Steps: p plug, u unplug, t one tick of the window's timer.
    QTest::addColumn<bool>("pluggedAtStart");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("requests");

    QTest::newRow("present at start, many ticks") << true << "tttttt" << 1;
    QTest::newRow("absent at start, many ticks") << false << "tttttt" << 0;
    QTest::newRow("three appearances") << false << "tpttuttpttutpt" << 3;
    QTest::newRow("no tick, no request") << false << "pupup" << 0;
}

void TestTray::presence()
{
    QFETCH(bool, pluggedAtStart);
    QFETCH(QString, steps);

    const auto image = [](const QIcon &icon) {
        return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    const QString data = QCoreApplication::applicationDirPath() + "/data/";
    const QImage present = image(QIcon(data + "3.png"));
    const QImage absent = image(QIcon(data + "2.png"));
    QVERIFY2(!present.isNull() && present != absent, "data/2.png and data/3.png beside the test");

    sim::Receiver &pen = sim::inProcessReceiver();
    if (!pluggedAtStart)
        pen.unplug();
    makeWindow();
    // Right from the start, before the first tick.
    QCOMPARE(image(window->trayIcon->icon()), pluggedAtStart ? present : absent);
    for (const QChar step : steps) {
        if (step == 'p') {
            pen.plug();
        } else if (step == 'u') {
            pen.unplug();
            QTRY_VERIFY_WITH_TIMEOUT(!window->usbHid->isOpen(), kDeadlineMs);
        } else {
            QTimerEvent tick(1);
            QCoreApplication::sendEvent(window.get(), &tick);
            QCOMPARE(image(window->trayIcon->icon()), pen.plugged() ? present : absent);
        }
    }
    const protocol::OutputReport request = protocol::readBackRequest();
    const std::vector<sim::Bytes> &sent = pen.sentReports();
    QTEST(int(std::count(sent.begin(), sent.end(), sim::Bytes(request.begin(), request.end()))), "requests");
}

void TestTray::hidingToTheTray_data()
{
    QTest::addColumn<int>("key"); // 0: the close button
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("hides");

    QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier) << true;
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier) << true;
    QTest::newRow("Enter on the keypad") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true;
    QTest::newRow("close button") << 0 << 0 << true;
    QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier) << false;
    QTest::newRow("Alt+F4") << int(Qt::Key_F4) << int(Qt::AltModifier) << false;
}

// Hidden, never ended: the icon stays and no sizes are written. The balloon
// that goes with it needs a real tray; the end-to-end test looks at it.
void TestTray::hidingToTheTray()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);

    makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    if (key)
        QTest::keyClick(window.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    else
        QTest::mouseClick(window->findChild<QPushButton *>("btnMenu_Close"), Qt::LeftButton);
    QTEST(!window->isVisible(), "hides");
    QVERIFY(window->trayIcon && window->trayIcon->isVisible());
    QVERIFY(!QFile::exists(Widget::settingsPath()));
}

void TestTray::waysOut_data()
{
    QTest::addColumn<int>("signalNumber"); // 0: the tray's exit action
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("running");
    QTest::addColumn<QStringList>("kills");

    const QStringList all { "Dotrix.exe", "Loupex.exe", "Halvix.exe" };
    QTest::newRow("exit in normal use") << 0 << int(Widget::NormalMode) << all << QStringList();
    QTest::newRow("exit, magnifier running")
        << 0 << int(Widget::MagnifierMode) << all << QStringList { "kill-command Loupex.exe" };
    QTest::newRow("exit, laser pointer already closed")
        << 0 << int(Widget::LaserMode) << QStringList { "Loupex.exe" } << QStringList();
    QTest::newRow("SIGTERM") << int(SIGTERM) << int(Widget::SpotlightMode) << all
                             << QStringList { "kill-command Halvix.exe" };
    QTest::newRow("SIGINT") << int(SIGINT) << int(Widget::MagnifierMode) << all
                            << QStringList { "kill-command Loupex.exe" };
    QTest::newRow("SIGHUP") << int(SIGHUP) << int(Widget::LaserMode) << all
                            << QStringList { "kill-command Dotrix.exe" };
}

void TestTray::waysOut()
{
    QFETCH(int, signalNumber);
    QFETCH(int, mode);
    QFETCH(QStringList, running);
    QFETCH(QStringList, kills);

    makeWindow(mode);
    platform.running = QSet<QString>(running.begin(), running.end());
    QCOMPARE(exitCodeOf(signalNumber), 0);
    QCOMPARE(platform.callsStartingWith("kill-command"), kills);
    if (!kills.isEmpty())
        QCOMPARE(platform.atKill, (QStringList { "tray icon gone", "MagnifeerSize=4" }));
    QVERIFY(!window->trayIcon);
    QCOMPARE(savedSizes(), kSizesOfMakeWindow);

    // The next start reads them back.
    window = std::make_unique<Widget>(nullptr, &platform);
    QCOMPARE(window->magnifierSize, 4);
    QCOMPARE(window->qyLightSize, 0);
    QCOMPARE(window->redDotrixSize, 9);
}

void TestTray::severalWaysOutActOnce()
{
    DebugLog log;
    makeWindow(Widget::LaserMode);
    platform.running.insert("Dotrix.exe");
    QCOMPARE(exitCodeOf(0), 0);

    // Whatever else arrives on the way out changes nothing.
    window->redDotrixSize = 6;
    platform.running.insert("Dotrix.exe");
    QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
    raise(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(log.count("Signal 15 received, exiting") == 1, kDeadlineMs);
    QVERIFY(QMetaObject::invokeMethod(window.get(), "onExit"));

    QCOMPARE(savedSizes(), kSizesOfMakeWindow);
    QCOMPARE(platform.callsStartingWith("kill-command"), QStringList { "kill-command Dotrix.exe" });
}

// Started under nohup, the program is meant to outlive its terminal.
void TestTray::ignoredSignalStaysIgnored()
{
    DebugLog log;
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction before = {};
    QCOMPARE(sigaction(SIGHUP, &ignore, &before), 0);
    makeWindow();
    raise(SIGHUP);
    const int code = exitCodeOf(SIGTERM);
    sigaction(SIGHUP, &before, nullptr);
    QCOMPARE(code, 0);
    QCOMPARE(log.count("Signal 15 received, exiting"), 1);
    QCOMPARE(log.count("Signal 1 received, exiting"), 0);
}

QUORVANT_PRIVATE_TEST_MAIN(TestTray)
#include "test_tray.moc"
