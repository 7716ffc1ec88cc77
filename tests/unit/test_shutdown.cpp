// Ending the program: the tray's exit action, termination signals and the end
// of the event loop all remove the tray icon first, write the sizes, stop the
// effect program of the current mode only, and end with code 0, once.
#include <QAction>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QSettings>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <memory>

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

// Also notes, at the moment the kill command is asked for, whether the tray
// icon was already gone and what the settings file held.
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

// Runs the application's event loop, does `trigger` inside it, and returns
// what QCoreApplication::exit asked for, or kNoExit. Only the application's
// own loop may run after an exit: a nested loop would return at once.
int exitCodeOf(const std::function<void()> &trigger)
{
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(kNoExit); });
    deadline.start(kDeadlineMs);
    QTimer::singleShot(0, trigger);
    return QCoreApplication::exec();
}

QAction *exitActionOf(Widget &window)
{
    const QList<QAction *> actions = window.trayIcon->contextMenu()->actions();
    return actions.isEmpty() ? nullptr : actions.last();
}

// What the program did to effect programs, leaving out the device link's pauses.
QStringList effectCalls(const RecordingPlatform &platform)
{
    QStringList calls;
    for (const QString &call : platform.calls)
        if (call.startsWith("find ") || call.startsWith("kill-command ") || call.startsWith("start "))
            calls << call;
    return calls;
}

QString savedSize(const char *key)
{
    QSettings settings(Widget::settingsPath(), QSettings::IniFormat);
    return settings.value(QString("config/") + key).toString();
}

} // namespace

class TestShutdown : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void exitAction_data();
    void exitAction();
    void termination_data();
    void termination();
    void severalWaysOutActOnce();
    void ignoredSignalStaysIgnored();
    void unwritableSettingsStillEnds();

private:
    // The effect programs' segments of this test alone.
    IpcSandbox ipc;
    void makeWindow();

    OrderPlatform platform;
    std::unique_ptr<Widget> window;
};

void TestShutdown::initTestCase()
{
    quorvantInitResources();
    QVERIFY2(!testsupport::privateFolder().isEmpty(), "runs from a private folder");
}

void TestShutdown::init()
{
    QFile::remove(Widget::settingsPath());
    sim::inProcessReceiver().reset();
    platform.calls.clear();
    platform.running.clear();
    platform.atKill.clear();
}

void TestShutdown::cleanup()
{
    window.reset();
    platform.window = nullptr;
    QFile::remove(Widget::settingsPath());
    QDir(Widget::settingsPath()).removeRecursively();
}

void TestShutdown::makeWindow()
{
    window = std::make_unique<Widget>(nullptr, &platform);
    platform.window = window.get();
    platform.calls.clear();
}

void TestShutdown::exitAction_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("running");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("normal use") << int(Widget::NormalMode) << QStringList { "Loupex.exe", "Dotrix.exe" }
                                << QStringList {};
    QTest::newRow("magnifier running")
        << int(Widget::MagnifierMode) << QStringList { "Loupex.exe", "Halvix.exe", "Dotrix.exe" }
        << QStringList { "find Loupex.exe", "kill-command Loupex.exe" };
    QTest::newRow("spotlight running") << int(Widget::SpotlightMode) << QStringList { "Halvix.exe" }
                                       << QStringList { "find Halvix.exe", "kill-command Halvix.exe" };
    QTest::newRow("laser pointer already closed")
        << int(Widget::LaserMode) << QStringList { "Loupex.exe" } << QStringList { "find Dotrix.exe" };
}

void TestShutdown::exitAction()
{
    QFETCH(int, mode);
    QFETCH(QStringList, running);
    QFETCH(QStringList, calls);

    makeWindow();
    window->currentMode = mode;
    window->magnifierSize = 5;
    for (const QString &name : running)
        platform.running.insert(name);
    QAction *exit = exitActionOf(*window);
    QVERIFY(exit);

    QCOMPARE(exitCodeOf([exit] { exit->trigger(); }), 0);
    QCOMPARE(effectCalls(platform), calls);
    if (!calls.isEmpty() && calls.last().startsWith("kill-command"))
        QCOMPARE(platform.atKill, (QStringList { "tray icon gone", "MagnifeerSize=5" }));
    QVERIFY(!window->trayIcon);
    QVERIFY(!window->overlay);
    QCOMPARE(savedSize("MagnifeerSize"), QString("5"));
}

void TestShutdown::termination_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestShutdown::termination()
{
    QFETCH(int, signalNumber);

    makeWindow();
    window->currentMode = Widget::MagnifierMode;
    platform.running.insert("Loupex.exe");
    window->magnifierSize = 7;
    window->qyLightSize = 1;
    window->redDotrixSize = 0;

    QCOMPARE(exitCodeOf([signalNumber] { raise(signalNumber); }), 0);
    QCOMPARE(savedSize("MagnifeerSize"), QString("7"));
    QCOMPARE(savedSize("QyLightSize"), QString("1"));
    QCOMPARE(savedSize("redDotrixSize"), QString("0"));
    QCOMPARE(platform.callsStartingWith("kill-command"), QStringList { "kill-command Loupex.exe" });
    QCOMPARE(platform.atKill.first(), QString("tray icon gone"));
}

void TestShutdown::severalWaysOutActOnce()
{
    DebugLog log;
    makeWindow();
    window->currentMode = Widget::LaserMode;
    platform.running.insert("Dotrix.exe");
    window->redDotrixSize = 2;
    QAction *exit = exitActionOf(*window);

    QCOMPARE(exitCodeOf([exit] { exit->trigger(); }), 0);
    QCOMPARE(savedSize("redDotrixSize"), QString("2"));

    // Whatever else arrives on the way out changes nothing.
    window->redDotrixSize = 6;
    platform.running.insert("Dotrix.exe");
    QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
    raise(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(log.count("Signal 15 received, exiting") == 1, kDeadlineMs);
    QVERIFY(QMetaObject::invokeMethod(window.get(), "onExit"));

    QCOMPARE(savedSize("redDotrixSize"), QString("2"));
    QCOMPARE(platform.callsStartingWith("kill-command"), QStringList { "kill-command Dotrix.exe" });
}

// Started under nohup, the program is meant to outlive its terminal.
void TestShutdown::ignoredSignalStaysIgnored()
{
    DebugLog log;
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction before = {};
    QCOMPARE(sigaction(SIGHUP, &ignore, &before), 0);
    makeWindow();

    const int code = exitCodeOf([] {
        raise(SIGHUP);
        raise(SIGTERM);
    });
    sigaction(SIGHUP, &before, nullptr);
    QCOMPARE(code, 0);
    QCOMPARE(log.count("Signal 15 received, exiting"), 1);
    QCOMPARE(log.count("Signal 1 received, exiting"), 0);
}

void TestShutdown::unwritableSettingsStillEnds()
{
    // A folder where the file should be: nothing can be written there.
    QVERIFY(QDir().mkpath(Widget::settingsPath()));
    makeWindow();
    window->currentMode = Widget::SpotlightMode;
    platform.running.insert("Halvix.exe");
    QAction *exit = exitActionOf(*window);

    QCOMPARE(exitCodeOf([exit] { exit->trigger(); }), 0);
    QCOMPARE(platform.callsStartingWith("kill-command"), QStringList { "kill-command Halvix.exe" });
    QVERIFY(!window->trayIcon);
}

QUORVANT_PRIVATE_TEST_MAIN(TestShutdown)
#include "test_shutdown.moc"
