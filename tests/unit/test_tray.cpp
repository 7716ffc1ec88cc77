// The main window's life in the tray: the settings it starts from, the
// autostart entry and cursor reset of every start, the icon that follows the
// receiver with one read-back request per appearance, the menu, the tooltip,
// and hiding to the tray.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimerEvent>
#include <QtTest>

#include <memory>

#include "device/protocol.h"
#include "device/usbhid.h"
#include "inprocess.h"
#include "mainwindow/widget.h"
#include "platform/platform.h"
#include "support/debuglog.h"
#include "support/ipcsandbox.h"
#include "support/privatefolder.h"
#include "support/recordingplatform.h"
#include "ui/dialogclient.h"

namespace {

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage dataImage(const QString &file)
{
    return iconImage(QIcon(QCoreApplication::applicationDirPath() + "/data/" + file));
}

// Read-back requests the receiver has taken so far.
int readBackRequests()
{
    const protocol::OutputReport request = protocol::readBackRequest();
    const sim::Bytes wanted(request.begin(), request.end());
    int n = 0;
    for (const sim::Bytes &report : sim::inProcessReceiver().sentReports())
        if (report == wanted)
            ++n;
    return n;
}

// Pulls the receiver out and lets the device link notice, as it does within
// a fraction of a second.
bool unplug(Widget &window)
{
    sim::inProcessReceiver().unplug();
    return QTest::qWaitFor([&window] { return !window.usbHid->isOpen(); }, 60000);
}

// One tick of the window's presence timer, as the event loop delivers it.
void tick(Widget &window)
{
    QTimerEvent event(1);
    QCoreApplication::sendEvent(&window, &event);
}

} // namespace

class TestTray : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sizesRead_data();
    void sizesRead();
    void sizesSurviveExit();

    void everyStartWritesAutostartAndResetsCursors();
    void autostartEntryOfThisExecutable();

    void presence_data();
    void presence();
    void failedRequestWaitsForNextAppearance();

    void menuAndTooltip();
    void activation_data();
    void activation();

    void keys_data();
    void keys();
    void closeButtonHidesToTray();

private:
    // The effect programs' segments of this test alone.
    IpcSandbox ipc;
    std::unique_ptr<Widget> makeWindow();

    RecordingPlatform platform;
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
    platform.calls.clear();
    platform.running.clear();
}

void TestTray::cleanup()
{
    window.reset();
    QFile::remove(Widget::settingsPath());
}

std::unique_ptr<Widget> TestTray::makeWindow()
{
    return std::make_unique<Widget>(nullptr, &platform);
}

void TestTray::sizesRead_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("magnifier");
    QTest::addColumn<int>("spotlight");
    QTest::addColumn<int>("laser");

    QTest::newRow("no file") << QByteArray() << 3 << 3 << 3;
    QTest::newRow("all three") << QByteArray("[config]\nMagnifeerSize=5\nQyLightSize=1\nredDotrixSize=7\n")
                               << 5 << 1 << 7;
    QTest::newRow("some missing") << QByteArray("[config]\nQyLightSize=2\n") << 3 << 2 << 3;
    QTest::newRow("letters read as 0")
        << QByteArray("[config]\nMagnifeerSize=big\nQyLightSize=4\n") << 0 << 4 << 3;
    QTest::newRow("the usual spelling is not the key")
        << QByteArray("[config]\nMagnifierSize=8\nMagnifeerSize=6\n") << 6 << 3 << 3;
    QTest::newRow("another group") << QByteArray("[other]\nMagnifeerSize=9\n") << 3 << 3 << 3;
    QTest::newRow("empty file") << QByteArray("") << 3 << 3 << 3;
}

void TestTray::sizesRead()
{
    QFETCH(QByteArray, file);
    if (!file.isNull()) {
        QFile out(Widget::settingsPath());
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file);
    }

    QFETCH(int, magnifier);
    QFETCH(int, spotlight);
    QFETCH(int, laser);

    window = makeWindow();
    QCOMPARE(window->magnifierSize, magnifier);
    QCOMPARE(window->qyLightSize, spotlight);
    QCOMPARE(window->redDotrixSize, laser);
}

void TestTray::sizesSurviveExit()
{
    window = makeWindow();
    window->magnifierSize = 4;
    window->qyLightSize = 0;
    window->redDotrixSize = 9;
    QVERIFY(QMetaObject::invokeMethod(window.get(), "onExit"));

    QSettings written(Widget::settingsPath(), QSettings::IniFormat);
    QCOMPARE(written.childGroups(), QStringList { "config" });
    QCOMPARE(written.value("config/MagnifeerSize").toString(), QString("4"));
    QCOMPARE(written.value("config/QyLightSize").toString(), QString("0"));
    QCOMPARE(written.value("config/redDotrixSize").toString(), QString("9"));
    QCOMPARE(written.allKeys().size(), 3);

    window = makeWindow();
    QCOMPARE(window->magnifierSize, 4);
    QCOMPARE(window->qyLightSize, 0);
    QCOMPARE(window->redDotrixSize, 9);
}

void TestTray::everyStartWritesAutostartAndResetsCursors()
{
    for (int start = 1; start <= 2; ++start) {
        platform.calls.clear();
        window = makeWindow();
        const QString autostart = "autostart " + QCoreApplication::applicationFilePath();
        QCOMPARE(platform.callsStartingWith("autostart"), QStringList { autostart });
        QCOMPARE(platform.callsStartingWith("cursors").size(), 1);
        // Autostart comes before the tray and the cursors after it.
        QVERIFY(platform.calls.indexOf(autostart) < platform.calls.indexOf("cursors"));
    }
}

// The real platform, with autostart entries going to a folder of the test's.
void TestTray::autostartEntryOfThisExecutable()
{
    QTemporaryDir config;
    QVERIFY(config.isValid());
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QString entryPath = config.path() + "/autostart/Quorvant.desktop";
    QDir().mkpath(config.path() + "/autostart");
    {
        QFile stale(entryPath);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("[Desktop Entry]\nExec=/old/place/quorvant -bg\n");
    }

    std::unique_ptr<platform::Platform> real = platform::createPlatform();
    window = std::make_unique<Widget>(nullptr, real.get());
    window.reset();
    qputenv("XDG_CONFIG_HOME", previous);

    QFile entry(entryPath);
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split('\n');
    const QString exec = "Exec=\"" + QCoreApplication::applicationFilePath() + "\" -bg";
    QVERIFY2(lines.contains(exec), qPrintable(lines.join('\n')));
    QVERIFY(!lines.contains("Exec=/old/place/quorvant -bg"));
}

void TestTray::presence_data()
{
    // Steps: p plug, u unplug, t one tick of the window's timer.
    QTest::addColumn<bool>("pluggedAtStart");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("requests");
    QTest::addColumn<bool>("presentAtEnd");

    QTest::newRow("present at start, many ticks") << true << "tttttttttt" << 1 << true;
    QTest::newRow("absent at start, many ticks") << false << "tttttttttt" << 0 << false;
    QTest::newRow("plugged in while running") << false << "tttpttt" << 1 << true;
    QTest::newRow("unplugged while running") << true << "tttuttt" << 1 << false;
    QTest::newRow("three appearances") << false << "tpttuttpttutpt" << 3 << true;
    QTest::newRow("no tick, no request") << false << "pupup" << 0 << false;
}

void TestTray::presence()
{
    QFETCH(bool, pluggedAtStart);
    QFETCH(QString, steps);
    QFETCH(int, requests);
    QFETCH(bool, presentAtEnd);

    const QImage present = dataImage("3.png");
    const QImage absent = dataImage("2.png");
    QVERIFY2(!present.isNull() && !absent.isNull(), "data/2.png and data/3.png beside the test");
    QVERIFY2(present != absent, "the two tray pictures differ");

    sim::Receiver &pen = sim::inProcessReceiver();
    if (!pluggedAtStart)
        pen.unplug();
    window = makeWindow();
    QVERIFY(window->trayIcon);
    // The icon is right from the start, before the first tick.
    QCOMPARE(iconImage(window->trayIcon->icon()), pluggedAtStart ? present : absent);

    for (const QChar step : steps) {
        if (step == 'p') {
            pen.plug();
        } else if (step == 'u') {
            QVERIFY(unplug(*window));
        } else {
            tick(*window);
            QCOMPARE(iconImage(window->trayIcon->icon()), pen.plugged() ? present : absent);
        }
    }
    QCOMPARE(readBackRequests(), requests);
    QCOMPARE(iconImage(window->trayIcon->icon()), presentAtEnd ? present : absent);
}

void TestTray::failedRequestWaitsForNextAppearance()
{
    DebugLog log;
    sim::Receiver &pen = sim::inProcessReceiver();
    pen.failNextWrites(1);
    window = makeWindow();

    for (int i = 0; i < 5; ++i)
        tick(*window);
    QCOMPARE(log.count("Write Usb Hid Read KeyValue Fail!"), 1);
    QCOMPARE(log.count("Write Usb Hid Read KeyValue SUCC!"), 0);
    QCOMPARE(readBackRequests(), 0);

    QVERIFY(unplug(*window));
    tick(*window);
    pen.plug();
    tick(*window);
    tick(*window);
    QCOMPARE(log.count("Write Usb Hid Read KeyValue SUCC!"), 1);
    QCOMPARE(log.count("Write Usb Hid Read KeyValue Fail!"), 1);
    QCOMPARE(readBackRequests(), 1);
}

void TestTray::menuAndTooltip()
{
    window = makeWindow();
    QSystemTrayIcon *tray = window->trayIcon;
    QVERIFY(tray);
    QVERIFY(tray->isVisible());
    QCOMPARE(tray->toolTip(), QString("Quorvant"));
    QMenu *menu = tray->contextMenu();
    QVERIFY(menu);
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions.at(0)->text(), QString("Function navigation (&S)"));
    QCOMPARE(actions.at(1)->text(), QString("Exit(&E)"));

    QVERIFY(!window->navDialog->isVisible());
    actions.at(0)->trigger();
    QVERIFY(window->navDialog->isVisible());
    QVERIFY(window->trayIcon);

    actions.at(1)->trigger();
    QVERIFY(!window->trayIcon);
    QVERIFY(QFile::exists(Widget::settingsPath()));
}

void TestTray::activation_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("opens");

    QTest::newRow("single click") << int(QSystemTrayIcon::Trigger) << true;
    QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << false;
    QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << false;
    QTest::newRow("context menu") << int(QSystemTrayIcon::Context) << false;
    QTest::newRow("unknown") << int(QSystemTrayIcon::Unknown) << false;
}

void TestTray::activation()
{
    QFETCH(int, reason);
    QFETCH(bool, opens);

    window = makeWindow();
    emit window->trayIcon->activated(QSystemTrayIcon::ActivationReason(reason));
    QCOMPARE(window->navDialog->isVisible(), opens);
    QVERIFY(!window->isVisible());
}

void TestTray::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("hides");

    QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier) << true;
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier) << true;
    QTest::newRow("Enter on the keypad") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true;
    QTest::newRow("Shift+Return") << int(Qt::Key_Return) << int(Qt::ShiftModifier) << true;
    QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier) << false;
    QTest::newRow("Q") << int(Qt::Key_Q) << int(Qt::NoModifier) << false;
    QTest::newRow("F4") << int(Qt::Key_F4) << int(Qt::AltModifier) << false;
}

void TestTray::keys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, hides);

    window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    // The balloon that goes with hiding needs a real tray: the end-to-end
    // test looks at it.
    QTest::keyClick(window.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(window->isVisible(), !hides);
    // Hidden, never ended.
    QVERIFY(window->trayIcon);
    QVERIFY(window->trayIcon->isVisible());
    QVERIFY(!QFile::exists(Widget::settingsPath()));
}

void TestTray::closeButtonHidesToTray()
{
    window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *close = window->findChild<QPushButton *>("btnMenu_Close");
    QVERIFY(close);

    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(!window->isVisible());
    QVERIFY(window->trayIcon);
    QVERIFY(!QFile::exists(Widget::settingsPath()));
}

QUORVANT_PRIVATE_TEST_MAIN(TestTray)
#include "test_tray.moc"
