// The combo-box editor of the main window: its 48 boxes and the bytes they
// edit, and the loading of the receiver's read-back into them.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

#include "device/protocol.h"
#include "inprocess.h"
#include "keymap/hightdialog.h"
#include "keymap/vocabulary.h"
#include "mainwindow/widget.h"
#include "support/keymapbench.h"
#include "support/privatefolder.h"
#include "support/recordingplatform.h"

using testsupport::toBytes;

namespace {

sim::Receiver &receiver()
{
    return sim::inProcessReceiver();
}

// A mapping that puts a different known action on every slot.
protocol::Image everySlotSet()
{
    protocol::Image image = testsupport::imageWith({});
    const QList<int> bytes = testsupport::slotBytes();
    for (int slot = 0; slot < bytes.size(); ++slot)
        image[bytes[slot]] = keymap::keyCode(94 - slot);
    return image;
}

// A raw block-1 or block-2 report as the receiver would send it.
sim::Bytes block(std::uint8_t marker, std::initializer_list<std::pair<int, int>> bytes)
{
    sim::Bytes report(32, 0);
    report[0] = marker;
    for (const auto &byte : bytes)
        report[static_cast<std::size_t>(byte.first)] = static_cast<std::uint8_t>(byte.second);
    return report;
}

} // namespace

class TestKeymapEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quorvantInitResources(); }
    void init();
    void cleanup() { window.reset(); }

    void startsWithNoActionAnywhere();
    void pickingAnEntryStoresItsCode_data();
    void pickingAnEntryStoresItsCode();
    void pickingByName_data();
    void pickingByName();
    void keyboardMovesABox();

    void readBackShowsTheReceiversMapping();
    void blocksLoadOnTheirOwn_data();
    void blocksLoadOnTheirOwn();
    void unknownCodesLeaveTheirBoxes();
    void bytesOutsideTheSlotsStayOutOfTheImage();
    void sameReadBackLeavesTheImageAlone();

private:
    QComboBox *box(const QString &name) const { return window->findChild<QComboBox *>(name); }

    RecordingPlatform platform;
    std::unique_ptr<Widget> window;
};

void TestKeymapEditor::init()
{
    receiver().reset();
    window = std::make_unique<Widget>(nullptr, &platform);
    // The tests ask for read-backs themselves; the window timer must not.
    window->readRequested = true;
}

void TestKeymapEditor::startsWithNoActionAnywhere()
{
    const QStringList names = testsupport::boxNamesInSlotOrder();
    QCOMPARE(window->keyCombos.size(), 48);
    for (int slot = 0; slot < 48; ++slot) {
        QComboBox *combo = window->keyCombos.at(slot);
        QVERIFY2(combo, qPrintable(names[slot]));
        QCOMPARE(combo->objectName(), names[slot]);
        QCOMPARE(combo->count(), 95);
        for (int index = 0; index < combo->count(); ++index)
            QCOMPARE(combo->itemText(index), keymap::keyNames().at(index));
        QCOMPARE(combo->currentIndex(), 0);
    }
    QCOMPARE(toBytes(window->keyValue), toBytes(testsupport::imageWith({})));
}

void TestKeymapEditor::pickingAnEntryStoresItsCode_data()
{
    QTest::addColumn<QString>("boxName");
    QTest::addColumn<int>("slot");
    const QStringList names = testsupport::boxNamesInSlotOrder();
    for (int slot = 0; slot < names.size(); ++slot)
        QTest::newRow(qPrintable(names[slot])) << names[slot] << slot;
}

void TestKeymapEditor::pickingAnEntryStoresItsCode()
{
    QFETCH(QString, boxName);
    QFETCH(int, slot);
    QComboBox *combo = box(boxName);
    QVERIFY(combo);
    QCOMPARE(window->keyCombos.value(slot), combo);

    // Every slot gets an entry of its own, so a box wired to a neighbour's
    // slot stores a code that gives it away.
    const int entry = 1 + slot;
    combo->setCurrentIndex(entry);
    const int byte = testsupport::slotBytes().at(slot);
    QCOMPARE(
        toBytes(window->keyValue), toBytes(testsupport::imageWith({ { byte, keymap::keyCode(entry) } })));

    // And back to no action.
    combo->setCurrentIndex(0);
    QCOMPARE(toBytes(window->keyValue), toBytes(testsupport::imageWith({})));
}

void TestKeymapEditor::pickingByName_data()
{
    QTest::addColumn<QString>("boxName");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("code");

    QTest::newRow("PageDown, key 1 click") << "combox_1"
                                           << "PageDown" << 3 << 0x4E;
    QTest::newRow("MOUSE_L, key 6 click") << "combox_61"
                                          << "MOUSE_L" << 53 << 0xF3;
    QTest::newRow("0, key 3 long press col 4") << "combox_36"
                                               << "0" << 28 << 0x27;
    QTest::newRow("Vol+, key 4 click col 1") << "combox_7"
                                             << "Vol+" << 35 << 0xC3;
    QTest::newRow("R_Win, key 6 long press col 4") << "combox_68"
                                                   << "R_Win" << 60 << 0xE7;
}

void TestKeymapEditor::pickingByName()
{
    QFETCH(QString, boxName);
    QFETCH(QString, entry);
    QFETCH(int, byte);
    QFETCH(int, code);

    QComboBox *combo = box(boxName);
    QVERIFY(combo);
    combo->setCurrentIndex(combo->findText(entry, Qt::MatchExactly));
    QCOMPARE(combo->currentText(), entry);
    QCOMPARE(int(window->keyValue[byte]), code);
}

void TestKeymapEditor::keyboardMovesABox()
{
    // The grid lies under the picture, but the boxes still take keys.
    QComboBox *combo = box("combox_22");
    QVERIFY(combo);
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(combo->currentText(), QString("Shift+F5/Esc"));
    QCOMPARE(int(window->keyValue[6]), 0xF5);
    QTest::keyClick(combo, Qt::Key_End);
    QCOMPARE(int(window->keyValue[6]), 0xCD);
}

void TestKeymapEditor::readBackShowsTheReceiversMapping()
{
    receiver().setMapping(everySlotSet());
    QVERIFY(testsupport::readBack(*window));

    const protocol::Image stored = receiver().mapping();
    const QList<int> bytes = testsupport::slotBytes();
    for (int slot = 0; slot < 48; ++slot) {
        QCOMPARE(window->keyCombos.at(slot)->currentText(), keymap::keyNames().at(94 - slot));
        QCOMPARE(window->keyValue[bytes[slot]], stored[bytes[slot]]);
    }
    // The image keeps its own markers and checksum bytes; the saved copy is
    // the receiver's blocks exactly.
    protocol::Image expected = stored;
    expected[31] = 0;
    expected[63] = 0;
    QCOMPARE(toBytes(window->keyValue), toBytes(expected));
    QCOMPARE(toBytes(window->savedKeyValue), toBytes(stored));
}

void TestKeymapEditor::blocksLoadOnTheirOwn_data()
{
    QTest::addColumn<int>("marker");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("boxName");
    QTest::addColumn<QString>("entry");

    QTest::newRow("block 1, key 1 long press col 1") << 0x55 << 7 << 0x04 << "combox_11"
                                                     << "A";
    QTest::newRow("block 1, key 2 click col 1") << 0x55 << 12 << 0x4B << "combox_3"
                                                << "PageUp";
    QTest::newRow("block 2, key 6 long press col 4") << 0x56 << 28 << 0xCD << "combox_68"
                                                     << "PREV_TRACK";
    QTest::newRow("block 2, key 4 click col 1") << 0x56 << 3 << 0x27 << "combox_7"
                                                << "0";
}

void TestKeymapEditor::blocksLoadOnTheirOwn()
{
    QFETCH(int, marker);
    QFETCH(int, offset);
    QFETCH(int, code);
    QFETCH(QString, boxName);
    QFETCH(QString, entry);

    // Unasked, and only one of the two blocks: it is loaded all the same.
    receiver().inject(block(static_cast<std::uint8_t>(marker), { { offset, code } }));
    QCOMPARE(testsupport::deliverInput(*window), 1);

    QCOMPARE(box(boxName)->currentText(), entry);
    const int half = marker == 0x55 ? 0 : 32;
    QCOMPARE(toBytes(window->keyValue), toBytes(testsupport::imageWith({ { half + offset, code } })));
    // Only the half of the saved copy that came in changed.
    QCOMPARE(int(window->savedKeyValue[half]), marker);
    QCOMPARE(int(window->savedKeyValue[half + offset]), code);
    for (int slot = 0; slot < 48; ++slot)
        if (window->keyCombos.at(slot)->objectName() != boxName)
            QCOMPARE(window->keyCombos.at(slot)->currentIndex(), 0);
}

void TestKeymapEditor::unknownCodesLeaveTheirBoxes()
{
    box("combox_1")->setCurrentIndex(box("combox_1")->findText("Tab"));
    box("combox_21")->setCurrentIndex(box("combox_21")->findText("Esc"));
    box("combox_11")->setCurrentIndex(box("combox_11")->findText("Home"));

    // 0x2D, 0x01 and 0xFF are codes the program has no entry for.
    receiver().inject(block(0x55, { { 3, 0x2D }, { 4, 0x05 }, { 5, 0x01 }, { 7, 0xFF }, { 28, 0x4E } }));
    QCOMPARE(testsupport::deliverInput(*window), 1);

    QCOMPARE(box("combox_1")->currentText(), QString("Tab"));
    QCOMPARE(int(window->keyValue[3]), 0x2B);
    QCOMPARE(box("combox_21")->currentText(), QString("Esc"));
    QCOMPARE(int(window->keyValue[5]), 0x29);
    QCOMPARE(box("combox_11")->currentText(), QString("Home"));
    QCOMPARE(int(window->keyValue[7]), 0x4A);
    // The known codes of the same block are loaded.
    QCOMPARE(box("combox_2")->currentText(), QString("B"));
    QCOMPARE(int(window->keyValue[4]), 0x05);
    QCOMPARE(box("combox_36")->currentText(), QString("PageDown"));
    QCOMPARE(int(window->keyValue[28]), 0x4E);
    // What the receiver holds is remembered as it came.
    QCOMPARE(int(window->savedKeyValue[3]), 0x2D);
    QCOMPARE(int(window->savedKeyValue[7]), 0xFF);
}

void TestKeymapEditor::bytesOutsideTheSlotsStayOutOfTheImage()
{
    // Bytes the receiver keeps to itself, and a checksum that is wrong.
    const sim::Bytes report = block(0x56,
        { { 1, 0x11 }, { 2, 0x22 }, { 11, 0x33 }, { 20, 0x44 }, { 29, 0x55 }, { 30, 0x66 }, { 31, 0x77 },
            { 21, 0xF4 } });
    receiver().inject(report);
    QCOMPARE(testsupport::deliverInput(*window), 1);

    QCOMPARE(box("combox_61")->currentText(), QString("MOUSE_R"));
    QCOMPARE(toBytes(window->keyValue), toBytes(testsupport::imageWith({ { 53, 0xF4 } })));
    const QByteArray saved = toBytes(window->savedKeyValue).mid(32);
    QCOMPARE(saved, QByteArray(reinterpret_cast<const char *>(report.data()), 32));
}

void TestKeymapEditor::sameReadBackLeavesTheImageAlone()
{
    const protocol::Image mapping = everySlotSet();
    receiver().setMapping(mapping);
    QVERIFY(testsupport::readBack(*window));
    const protocol::Image loaded = window->keyValue;

    // The same mapping again moves no box and touches no byte.
    QVERIFY(testsupport::readBack(*window));
    QCOMPARE(toBytes(window->keyValue), toBytes(loaded));

    // Bytes stored from the hexadecimal editor, whose write the receiver
    // refuses, so that it still holds the mapping the boxes show.
    QVERIFY(QMetaObject::invokeMethod(window.get(), "onAdvancedSet"));
    QVERIFY(window->hightDialog);
    window->findChild<QLineEdit *>("lineEdit_1")->setText("2d");
    window->findChild<QLineEdit *>("lineEdit_68")->setText("4");
    receiver().failNextWrites(2);
    QTest::mouseClick(window->hightDialog->findChild<QPushButton *>("pushButton"), Qt::LeftButton);
    QCOMPARE(int(window->keyValue[3]), 0x2D);
    QCOMPARE(int(window->keyValue[60]), 0x04);
    const protocol::Image edited = window->keyValue;

    QVERIFY(testsupport::readBack(*window));
    QCOMPARE(toBytes(window->keyValue), toBytes(edited));
    QCOMPARE(toBytes(window->savedKeyValue), toBytes(receiver().mapping()));
    QCOMPARE(window->keyCombos.at(0)->currentIndex(), 94);
}

QUORVANT_PRIVATE_TEST_MAIN(TestKeymapEditor)
#include "test_keymap_editor.moc"
