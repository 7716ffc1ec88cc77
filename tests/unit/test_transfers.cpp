// Moving the mapping to the receiver: the write and its two reports, the
// reset command, the saved copy of what the receiver holds, and the tray
// balloons of the receiver's acknowledgements. Runs on a display with a tray
// host, where Qt shows its balloons for real.
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include <memory>

#include "device/protocol.h"
#include "inprocess.h"
#include "keymap/hightdialog.h"
#include "mainwindow/widget.h"
#include "support/debuglog.h"
#include "support/keymapbench.h"
#include "support/recordingplatform.h"
#include "support/traydesktop.h"

using testsupport::toBytes;

namespace {

sim::Receiver &receiver()
{
    return sim::inProcessReceiver();
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray zeros(int n)
{
    return QByteArray(n, '\0');
}

QList<QByteArray> sentReports()
{
    QList<QByteArray> reports;
    for (const sim::Bytes &report : receiver().sentReports())
        reports << QByteArray(reinterpret_cast<const char *>(report.data()), static_cast<int>(report.size()));
    return reports;
}

} // namespace

class TestTransfers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quorvantInitResources(); }
    void init();
    void cleanup();

    void writeSendsBothBlocks_data();
    void writeSendsBothBlocks();
    void savedCopyFollowsTheReceiver_data();
    void savedCopyFollowsTheReceiver();
    void resetSendsItsCommandOnly_data();
    void resetSendsItsCommandOnly();

    void acknowledgementBalloons_data();
    void acknowledgementBalloons();
    void noBalloonWithoutTrayIcon();

    void shortcutsReachTheTransfers();

private:
    void pick(const QString &boxName, const QString &entry);
    void invoke(const char *slot) { QVERIFY(QMetaObject::invokeMethod(window.get(), slot)); }

    RecordingPlatform platform;
    std::unique_ptr<Widget> window;
    std::unique_ptr<DebugLog> log;
};

void TestTransfers::init()
{
    receiver().reset();
    testsupport::dismissBalloons();
    window = std::make_unique<Widget>(nullptr, &platform);
    // Read-backs here are the tests' own; the window timer must not add any.
    window->readRequested = true;
    log = std::make_unique<DebugLog>();
}

void TestTransfers::cleanup()
{
    log.reset();
    window.reset();
    testsupport::dismissBalloons();
}

void TestTransfers::pick(const QString &boxName, const QString &entry)
{
    auto *combo = window->findChild<QComboBox *>(boxName);
    QVERIFY(combo);
    combo->setCurrentIndex(combo->findText(entry, Qt::MatchExactly));
    QCOMPARE(combo->currentText(), entry);
}

void TestTransfers::writeSendsBothBlocks_data()
{
    QTest::addColumn<QStringList>("picks"); // box, entry, box, entry...
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");

    QTest::newRow("empty mapping") << QStringList() << hex("0055") + zeros(30) + hex("55")
                                   << hex("0056") + zeros(30) + hex("56");
    QTest::newRow("key 1 click PageDown")
        << QStringList { "combox_1", "PageDown" } << hex("005500004e") + zeros(27) + hex("a3")
        << hex("0056") + zeros(30) + hex("56");
    // 0x55 + 0xF5 + 0xF4 + 0xE7 = 0x325: the checksum wraps to 0x25.
    QTest::newRow("block 1 sum wraps")
        << QStringList { "combox_1", "Shift+F5/Esc", "combox_2", "MOUSE_R", "combox_21", "R_Win" }
        << hex("00550000f5f4e7") + zeros(25) + hex("25") << hex("0056") + zeros(30) + hex("56");
    // Key 5 long press col 4 is byte 19 of block 2; key 6 long press col 4 byte 28.
    QTest::newRow("block 2 only") << QStringList { "combox_58", "A", "combox_68", "Mute" }
                                  << hex("0055") + zeros(30)
            + hex("55") << hex("0056") + zeros(18) + hex("04") + zeros(8) + hex("ce0000") + hex("28");
}

void TestTransfers::writeSendsBothBlocks()
{
    QFETCH(QStringList, picks);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    for (int i = 0; i + 1 < picks.size(); i += 2)
        pick(picks[i], picks[i + 1]);

    invoke("onSetKey");

    QCOMPARE(sentReports(), (QList<QByteArray> { first, second }));
    QCOMPARE(log->lines(), QStringList { "Write Usb Hid SUCC!" });
    // The image keeps the checksums it sent, and the receiver holds it.
    QCOMPARE(toBytes(window->keyValue), first.mid(1) + second.mid(1));
    QCOMPARE(toBytes(receiver().mapping()), toBytes(window->keyValue));
    QCOMPARE(toBytes(window->savedKeyValue), toBytes(window->keyValue));
}

void TestTransfers::savedCopyFollowsTheReceiver_data()
{
    QTest::addColumn<QString>("receiverState");
    QTest::addColumn<bool>("written");

    QTest::newRow("cannot be opened") << "closed" << false;
    QTest::newRow("pulled out after opening") << "pulled out" << false;
    // A mapping whose first block is lost is not the mapping in the receiver.
    QTest::newRow("first report refused") << "refuse 1" << false;
    QTest::newRow("both reports refused") << "refuse 2" << false;
    QTest::newRow("plugged") << "plugged" << true;
}

void TestTransfers::savedCopyFollowsTheReceiver()
{
    QFETCH(QString, receiverState);
    QFETCH(bool, written);

    if (receiverState == "closed") {
        receiver().setOpenable(false);
    } else {
        // Opens the link; the saved copy becomes what the receiver holds.
        QVERIFY(testsupport::readBack(*window));
        QCOMPARE(toBytes(window->savedKeyValue), toBytes(sim::Receiver::factoryMapping()));
    }
    const protocol::Image before = window->savedKeyValue;
    pick("combox_1", "PageDown");
    const protocol::Image edited = window->keyValue;
    log->clear();

    if (receiverState == "pulled out")
        receiver().unplug();
    else if (receiverState.startsWith("refuse"))
        receiver().failNextWrites(receiverState.section(' ', 1).toInt());

    invoke("onSetKey");

    QCOMPARE(log->lines(), QStringList { written ? "Write Usb Hid SUCC!" : "Write Usb Hid Fail!" });
    // The checksums are stored whatever became of the write.
    QCOMPARE(int(window->keyValue[31]), int(protocol::blockChecksum(edited.data())));
    QCOMPARE(int(window->keyValue[63]), int(protocol::blockChecksum(edited.data() + 32)));
    QCOMPARE(toBytes(window->savedKeyValue), toBytes(written ? window->keyValue : before));
}

void TestTransfers::resetSendsItsCommandOnly_data()
{
    QTest::addColumn<bool>("plugged");
    QTest::addColumn<QString>("line");
    QTest::newRow("unplugged") << false << "Write Usb Hid Reset CMD Fail!";
    QTest::newRow("plugged") << true << "Write Usb Hid Reset CMD SUCC!";
}

void TestTransfers::resetSendsItsCommandOnly()
{
    QFETCH(bool, plugged);
    QFETCH(QString, line);

    pick("combox_61", "Vol-");
    const protocol::Image image = window->keyValue;
    const protocol::Image saved = window->savedKeyValue;
    if (!plugged)
        receiver().unplug();

    invoke("onReset");

    QCOMPARE(log->lines(), QStringList { line });
    QCOMPARE(sentReports(), plugged ? QList<QByteArray> { hex("006060") + zeros(30) } : QList<QByteArray> {});
    // The editor learns the defaults from the next read-back, not from here.
    QCOMPARE(window->findChild<QComboBox *>("combox_61")->currentText(), QString("Vol-"));
    QCOMPARE(toBytes(window->keyValue), toBytes(image));
    QCOMPARE(toBytes(window->savedKeyValue), toBytes(saved));
    if (plugged)
        QCOMPARE(toBytes(receiver().mapping()), toBytes(sim::Receiver::factoryMapping()));
}

void TestTransfers::acknowledgementBalloons_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    QTest::newRow("mapping written") << "onSetKey"
                                     << " Prompt "
                                     << "Modify pen shortcut key successfully!";
    QTest::newRow("advanced mapping written") << "advanced"
                                              << " Prompt "
                                              << "Modify pen shortcut key successfully!";
    QTest::newRow("reset") << "onReset"
                           << "Prompt"
                           << "One click Reset shortcut key succeeded!";
    // Acknowledgements that nothing asked for are shown all the same.
    QTest::newRow("unasked write acknowledgement") << "8899"
                                                   << " Prompt "
                                                   << "Modify pen shortcut key successfully!";
    QTest::newRow("unasked reset acknowledgement") << "6666"
                                                   << "Prompt"
                                                   << "One click Reset shortcut key succeeded!";
}

void TestTransfers::acknowledgementBalloons()
{
    QFETCH(QString, cause);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QVERIFY(window->trayIcon);
    QVERIFY(window->trayIcon->isVisible());

    if (cause.startsWith("on")) {
        invoke(qPrintable(cause));
    } else if (cause == "advanced") {
        invoke("onAdvancedSet");
        window->findChild<QLineEdit *>("lineEdit_30")->setText("e2");
        QMetaObject::invokeMethod(window->hightDialog, "onHightSetting");
    } else {
        receiver().inject(sim::Bytes { static_cast<std::uint8_t>(cause.left(2).toInt(nullptr, 16)),
            static_cast<std::uint8_t>(cause.right(2).toInt(nullptr, 16)) });
    }
    // Nothing is shown for what was sent, only for what the receiver says.
    QCOMPARE(testsupport::visibleBalloon(), QStringList());

    QCOMPARE(testsupport::deliverInput(*window), 1);
    QCOMPARE(testsupport::visibleBalloon(), (QStringList { title, text }));
}

void TestTransfers::noBalloonWithoutTrayIcon()
{
    delete window->trayIcon;
    window->trayIcon = nullptr;
    receiver().inject(sim::Bytes { 0x88, 0x99 });
    receiver().inject(sim::Bytes { 0x66, 0x66 });
    QCOMPARE(testsupport::deliverInput(*window), 2);
    QCOMPARE(testsupport::visibleBalloon(), QStringList());
}

void TestTransfers::shortcutsReachTheTransfers()
{
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    receiver().clearSent();
    log->clear();

    pick("combox_1", "PageDown");
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(sentReports().size(), 2);
    QCOMPARE(int(receiver().mapping()[3]), 0x4E);

    QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(sentReports().size(), 3);
    QCOMPARE(sentReports().last(), hex("006060") + zeros(30));
    QCOMPARE(log->lines(), (QStringList { "Write Usb Hid SUCC!", "Write Usb Hid Reset CMD SUCC!" }));

    QVERIFY(!window->hightDialog->isVisible());
    QTest::keyClick(window.get(), Qt::Key_H, Qt::ControlModifier);
    QVERIFY(window->hightDialog->isVisible());
    QCOMPARE(window->findChild<QLineEdit *>("lineEdit_1")->text(), QString("4e"));
}

QUORVANT_TRAY_TEST_MAIN(TestTransfers)
#include "test_transfers.moc"
