// The key-mapping editor against the in-process receiver: the 48 boxes and
// the bytes they edit, read-backs loaded into them, the hexadecimal editor,
// writes and resets, and the balloons of the receiver's acknowledgements.
// Runs on a display with a tray host, where Qt shows its balloons for real.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

#include "device/protocol.h"
#include "device/usbhid.h"
#include "inprocess.h"
#include "keymap/hightdialog.h"
#include "keymap/vocabulary.h"
#include "mainwindow/widget.h"
#include "support/debuglog.h"
#include "support/linkpump.h"
#include "support/recordingplatform.h"
#include "support/traydesktop.h"

namespace {

sim::Receiver &receiver()
{
    return sim::inProcessReceiver();
}

// Written out apart from the program's tables. The image byte of each slot:
// per key four click bytes, then four long-press bytes; keys 1-3 in block 1,
// keys 4-6 in block 2, from offset 3 with one unused byte between keys.
QList<int> slotBytes()
{
    QList<int> bytes;
    for (int block : { 0, 32 })
        for (int keyStart : { 3, 12, 21 })
            for (int i = 0; i < 8; ++i)
                bytes << block + keyStart + i;
    return bytes;
}

QStringList boxNames()
{
    const int rows[12][4] = { { 1, 2, 21, 22 }, { 11, 12, 31, 32 }, { 3, 4, 23, 24 }, { 13, 14, 33, 34 },
        { 5, 6, 25, 26 }, { 15, 16, 35, 36 }, { 7, 8, 27, 28 }, { 17, 18, 37, 38 }, { 51, 52, 53, 54 },
        { 55, 56, 57, 58 }, { 61, 62, 63, 64 }, { 65, 66, 67, 68 } };
    QStringList names;
    for (const auto &row : rows)
        for (int number : row)
            names << QString("combox_%1").arg(number);
    return names;
}

QStringList fieldNames()
{
    QStringList names;
    for (int n = 1; n <= 68; ++n)
        if (n <= 32 || (n > 50 && n % 10 >= 1 && n % 10 <= 8))
            names << QString("lineEdit_%1").arg(n);
    return names;
}

// Both markers and the given (image byte, value) pairs; checksums at 0.
protocol::Image imageWith(std::initializer_list<std::pair<int, int>> bytes = {})
{
    protocol::Image image {};
    image[0] = 0x55;
    image[32] = 0x56;
    for (const auto &byte : bytes)
        image[std::size_t(byte.first)] = std::uint8_t(byte.second);
    return image;
}

template <typename Bytes> QByteArray toBytes(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

QList<QByteArray> sentReports()
{
    QList<QByteArray> reports;
    for (const sim::Bytes &report : receiver().sentReports())
        reports << toBytes(report);
    return reports;
}

QByteArray hex(const char *text, int zerosAfter = 0, const char *more = "")
{
    return QByteArray::fromHex(text) + QByteArray(zerosAfter, '\0') + QByteArray::fromHex(more);
}

} // namespace

class TestKeymapEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        quorvantInitResources();
        usbhid::setSettleDelay(std::chrono::milliseconds(0));
    }
    void init()
    {
        receiver().reset();
        // The window reads the receiver back when it opens it: a blank
        // mapping leaves every box on no action, as with no receiver at all.
        receiver().setMapping(imageWith());
        window = std::make_unique<Widget>(nullptr, &platform);
        QVERIFY(testsupport::waitOpen(window->usbHid));
        testsupport::deliverPending(window->usbHid);
        receiver().clearSent();
        log = std::make_unique<DebugLog>(); // after QtTest's own message handler
    }

    void cleanup()
    {
        log.reset();
        window.reset();
        testsupport::dismissBalloons();
    }

    void everyBoxWritesItsByte_data()
    {
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<int>("slot");
        const QStringList names = boxNames();
        for (int slot = 0; slot < names.size(); ++slot)
            QTest::newRow(qPrintable(names[slot])) << names[slot] << slot;
    }

    void everyBoxWritesItsByte()
    {
        QFETCH(QString, boxName);
        QFETCH(int, slot);
        QComboBox *combo = box(boxName);
        QVERIFY(combo);
        QCOMPARE(window->keyCombos.value(slot), combo);
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(toBytes(window->keyValue), toBytes(imageWith()));

        // A different entry per slot, so a box wired to a neighbour's slot
        // stores a code that gives it away.
        const int entry = 1 + slot;
        combo->setCurrentIndex(entry);
        QCOMPARE(
            toBytes(window->keyValue), toBytes(imageWith({ { slotBytes()[slot], keymap::keyCode(entry) } })));
        combo->setCurrentIndex(0);
        QCOMPARE(toBytes(window->keyValue), toBytes(imageWith()));
    }

    void readBackShowsTheReceiversMapping()
    {
        protocol::Image mapping = imageWith();
        const QList<int> bytes = slotBytes();
        for (int slot = 0; slot < 48; ++slot)
            mapping[bytes[slot]] = keymap::keyCode(94 - slot);
        receiver().setMapping(mapping);
        QVERIFY(readBack());
        for (int slot = 0; slot < 48; ++slot)
            QCOMPARE(window->keyCombos.at(slot)->currentText(), keymap::keyNames().at(94 - slot));
        // The image keeps its own checksum bytes; the saved copy is the
        // receiver's blocks exactly.
        QCOMPARE(toBytes(window->keyValue), toBytes(mapping));
        QCOMPARE(toBytes(window->savedKeyValue), toBytes(receiver().mapping()));

        // Bytes stored from the hexadecimal editor, whose write the receiver
        // refuses, so that it still holds the mapping the boxes show: a
        // read-back of it moves no box and touches no byte.
        invoke("onAdvancedSet");
        field("lineEdit_1")->setText("2d");
        field("lineEdit_68")->setText("4e");
        receiver().failNextWrites(2);
        hexOk();
        const protocol::Image edited = window->keyValue;
        QCOMPARE(int(edited[3]), 0x2D);
        QVERIFY(readBack());
        QCOMPARE(toBytes(window->keyValue), toBytes(edited));
        QCOMPARE(toBytes(window->savedKeyValue), toBytes(receiver().mapping()));
        QCOMPARE(window->keyCombos.at(47)->currentText(), keymap::keyNames().at(47));
    }

    void oneBlockAtATime_data()
    {
        QTest::addColumn<int>("marker");
        QTest::newRow("block 1") << 0x55;
        QTest::newRow("block 2") << 0x56;
    }

    void oneBlockAtATime()
    {
        QFETCH(int, marker);
        const int half = marker == 0x55 ? 0 : 32;
        const int unknownSlot = half ? 24 : 0, knownSlot = unknownSlot + 23;
        const int unknownByte = slotBytes()[unknownSlot], knownByte = slotBytes()[knownSlot];
        pick(boxNames()[unknownSlot], "Tab");

        // Unasked and alone, with a code the program has no entry for, bytes the
        // receiver keeps to itself and a checksum that is wrong.
        sim::Bytes report(32, 0);
        report[0] = std::uint8_t(marker);
        for (int offset : { 1, 2, 11, 20, 29, 30, 31 })
            report[std::size_t(offset)] = 0xA5;
        report[std::size_t(unknownByte - half)] = 0x2D;
        report[std::size_t(knownByte - half)] = keymap::keyCode(7);
        const QByteArray savedBefore = toBytes(window->savedKeyValue);
        receiver().inject(report);
        deliverInput();

        QCOMPARE(box(boxNames()[unknownSlot])->currentText(), QString("Tab"));
        QCOMPARE(box(boxNames()[knownSlot])->currentText(), keymap::keyNames().at(7));
        // No other box moved: it would have changed its byte.
        QCOMPARE(toBytes(window->keyValue),
            toBytes(imageWith({ { unknownByte, 0x2B }, { knownByte, keymap::keyCode(7) } })));
        // What the receiver holds is remembered as it came, in its half only.
        QCOMPARE(toBytes(window->savedKeyValue).mid(half, 32), toBytes(report));
        QCOMPARE(toBytes(window->savedKeyValue).mid(32 - half, 32), savedBefore.mid(32 - half, 32));
    }

    void hexEditorShowsTheImage_data()
    {
        QTest::addColumn<QString>("editDroppedBy");
        QTest::newRow("first opening") << "";
        QTest::newRow("取 消") << "cancel";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("window closed") << "close";
    }

    void hexEditorShowsTheImage()
    {
        QFETCH(QString, editDroppedBy);
        // Lower case, no leading zeros, each field on its own slot.
        const QList<int> bytes = slotBytes();
        for (int slot = 0; slot < 48; ++slot)
            window->keyValue[bytes[slot]] = std::uint8_t(slot * 5);
        window->keyValue[bytes[47]] = 0xFF;
        const protocol::Image image = window->keyValue;

        // An edit left without 确 定 is neither stored nor shown again.
        if (!editDroppedBy.isEmpty()) {
            invoke("onAdvancedSet");
            field("lineEdit_9")->setText("ee");
            if (editDroppedBy == "cancel")
                QTest::mouseClick(
                    window->hightDialog->findChild<QPushButton *>("pushButton_2"), Qt::LeftButton);
            else if (editDroppedBy == "escape")
                QTest::keyClick(field("lineEdit_9"), Qt::Key_Escape);
            else
                window->hightDialog->close();
            QVERIFY(!window->hightDialog->isVisible());
            QCOMPARE(toBytes(window->keyValue), toBytes(image));
        }

        // Nothing in the window opens it but its shortcut.
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_H, Qt::ControlModifier);
        QVERIFY(window->hightDialog && window->hightDialog->isVisible());
        const QStringList names = fieldNames();
        for (int slot = 0; slot < 48; ++slot)
            QCOMPARE(field(names[slot])->text(), QString::number(image[bytes[slot]], 16));
        QCOMPARE(field("lineEdit_1")->text() + field("lineEdit_3")->text() + field("lineEdit_68")->text(),
            QString("0aff"));
    }

    void hexEditorWritesSilently_data()
    {
        QTest::addColumn<bool>("plugged");
        QTest::newRow("plugged") << true;
        QTest::newRow("receiver away") << false;
    }

    void hexEditorWritesSilently()
    {
        QFETCH(bool, plugged);
        pick("combox_3", "Tab");
        const protocol::Image saved = window->savedKeyValue;
        invoke("onAdvancedSet");
        const QStringList names = fieldNames();
        for (int slot = 0; slot < 48; ++slot)
            field(names[slot])->setText(QString::number(slot + 0xA0, 16));
        receiver().clearSent();
        if (!plugged)
            receiver().unplug();
        log->clear();

        hexOk();

        protocol::Image expected = imageWith();
        for (int slot = 0; slot < 48; ++slot)
            expected[slotBytes()[slot]] = std::uint8_t(slot + 0xA0);
        protocol::storeChecksums(expected);
        QCOMPARE(toBytes(window->keyValue), toBytes(expected));
        const QByteArray sent = toBytes(expected);
        const QList<QByteArray> reports { hex("00") + sent.left(32), hex("00") + sent.mid(32) };
        QCOMPARE(sentReports(), plugged ? reports : QList<QByteArray>());
        QCOMPARE(toBytes(window->savedKeyValue), toBytes(plugged ? expected : saved));
        QCOMPARE(log->lines(), QStringList());
        QCOMPARE(box("combox_3")->currentText(), QString("Tab"));
        QVERIFY(window->hightDialog->isVisible());
    }

    void writeSendsBothBlocks_data()
    {
        QTest::addColumn<QStringList>("picks"); // box, entry, box, entry...
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");

        const QByteArray emptyBlock2 = hex("0056", 30, "56");
        QTest::newRow("key 1 click PageDown")
            << QStringList { "combox_1", "PageDown" } << hex("005500004e", 27, "a3") << emptyBlock2;
        // 0x55 + 0xF5 + 0xF4 + 0xE7 = 0x325: the checksum wraps to 0x25.
        QTest::newRow("block 1 sum wraps")
            << QStringList { "combox_1", "Shift+F5/Esc", "combox_2", "MOUSE_R", "combox_21", "R_Win" }
            << hex("00550000f5f4e7", 25, "25") << emptyBlock2;
        // Key 5 long press col 4 is byte 19 of block 2, key 6 long press col 4 byte 28.
        QTest::newRow("block 2 only")
            << QStringList { "combox_58", "A", "combox_68", "Mute" } << hex("0055", 30, "55")
            << hex("0056", 18, "04") + hex("", 8, "ce000028");
    }

    void writeSendsBothBlocks()
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
        QCOMPARE(toBytes(window->savedKeyValue), toBytes(window->keyValue));
    }

    void savedCopyFollowsTheReceiver_data()
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

    void savedCopyFollowsTheReceiver()
    {
        QFETCH(QString, receiverState);
        QFETCH(bool, written);

        if (receiverState == "closed") {
            // Pulled out and plugged in again, it cannot be opened any more.
            receiver().setOpenable(false);
            receiver().unplug();
            QTRY_VERIFY(!window->usbHid->isOpen());
            receiver().plug();
            QTRY_VERIFY(window->usbHid->present());
        } else {
            // Opens the link; the saved copy becomes what the receiver holds.
            QVERIFY(readBack());
        }
        const protocol::Image before = window->savedKeyValue;
        pick("combox_1", "PageDown");
        protocol::Image edited = window->keyValue;
        protocol::storeChecksums(edited);
        if (receiverState == "pulled out")
            receiver().unplug();
        else if (receiverState.startsWith("refuse"))
            receiver().failNextWrites(receiverState.section(' ', 1).toInt());
        log->clear();

        invoke("onSetKey");

        QCOMPARE(log->lines(), QStringList { written ? "Write Usb Hid SUCC!" : "Write Usb Hid Fail!" });
        // The checksums are stored whatever became of the write.
        QCOMPARE(toBytes(window->keyValue), toBytes(edited));
        QCOMPARE(toBytes(window->savedKeyValue), toBytes(written ? edited : before));
    }

    void resetSendsItsCommandOnly_data()
    {
        QTest::addColumn<bool>("plugged");
        QTest::addColumn<QString>("line");
        QTest::newRow("unplugged") << false << "Write Usb Hid Reset CMD Fail!";
        QTest::newRow("plugged") << true << "Write Usb Hid Reset CMD SUCC!";
    }

    void resetSendsItsCommandOnly()
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
        QCOMPARE(sentReports(), plugged ? QList<QByteArray> { hex("006060", 30) } : QList<QByteArray> {});
        // The editor learns the defaults from the next read-back, not from here.
        QCOMPARE(box("combox_61")->currentText(), QString("Vol-"));
        QCOMPARE(toBytes(window->keyValue), toBytes(image));
        QCOMPARE(toBytes(window->savedKeyValue), toBytes(saved));
    }

    void acknowledgementBalloons_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QStringList>("balloon");
        const QStringList written { " Prompt ", "Modify pen shortcut key successfully!" };
        const QStringList reset { "Prompt", "One click Reset shortcut key succeeded!" };
        QTest::newRow("mapping written") << "onSetKey" << written;
        QTest::newRow("reset") << "onReset" << reset;
        // Acknowledgements that nothing asked for are shown all the same.
        QTest::newRow("unasked write acknowledgement") << "8899" << written;
        QTest::newRow("unasked reset acknowledgement") << "6666" << reset;
        // As after the tray's Exit: nothing to show them on.
        QTest::newRow("tray icon gone") << "6666" << QStringList();
    }

    void acknowledgementBalloons()
    {
        QFETCH(QString, cause);
        QFETCH(QStringList, balloon);
        if (balloon.isEmpty()) {
            delete window->trayIcon;
            window->trayIcon = nullptr;
        }
        if (cause.startsWith("on")) {
            invoke(qPrintable(cause));
        } else {
            const QByteArray report = hex(qPrintable(cause));
            receiver().inject(sim::Bytes(report.begin(), report.end()));
        }
        // Nothing is shown for what was sent, only for what the receiver says.
        QCOMPARE(testsupport::visibleBalloon(), QStringList());
        deliverInput();
        QCOMPARE(testsupport::visibleBalloon(), balloon);
    }

private:
    QComboBox *box(const QString &name) const { return window->findChild<QComboBox *>(name); }
    QLineEdit *field(const QString &name) const { return window->findChild<QLineEdit *>(name); }
    void pick(const QString &boxName, const QString &entry)
    {
        QComboBox *combo = box(boxName);
        QVERIFY(combo);
        combo->setCurrentIndex(combo->findText(entry, Qt::MatchExactly));
        QCOMPARE(combo->currentText(), entry);
    }

    void invoke(const char *slot) { QVERIFY(QMetaObject::invokeMethod(window.get(), slot)); }
    void hexOk()
    {
        QTest::mouseClick(window->hightDialog->findChild<QPushButton *>("pushButton"), Qt::LeftButton);
    }
    // Hands the window every queued report, as the link's reader would.
    void deliverInput() { testsupport::deliverPending(window->usbHid); }

    bool readBack()
    {
        if (window->usbHid->writeReport(protocol::readBackRequest().data()) <= 0)
            return false;
        deliverInput();
        return true;
    }

    RecordingPlatform platform;
    std::unique_ptr<Widget> window;
    std::unique_ptr<DebugLog> log;
};

QUORVANT_TRAY_TEST_MAIN(TestKeymapEditor)
#include "test_keymap_editor.moc"
