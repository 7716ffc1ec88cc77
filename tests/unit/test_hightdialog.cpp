// The hexadecimal editor of the mapping bytes: its form, what it shows, what
// "确 定" stores and sends, and that a cancelled edit is forgotten.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

#include "device/protocol.h"
#include "inprocess.h"
#include "keymap/hightdialog.h"
#include "mainwindow/widget.h"
#include "support/debuglog.h"
#include "support/keymapbench.h"
#include "support/privatefolder.h"
#include "support/recordingplatform.h"

using testsupport::toBytes;

namespace {

sim::Receiver &receiver()
{
    return sim::inProcessReceiver();
}

QStringList fieldNamesInSlotOrder()
{
    QStringList names;
    for (int n = 1; n <= 32; ++n)
        names << QString("lineEdit_%1").arg(n);
    for (int first : { 51, 61 })
        for (int n = first; n < first + 8; ++n)
            names << QString("lineEdit_%1").arg(n);
    return names;
}

} // namespace

class TestHightDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quorvantInitResources(); }
    void init();
    void cleanup();

    void form();

    void showsTheImage();
    void okStoresAField_data();
    void okStoresAField();
    void okWritesTheWholeImage();
    void okWithTheReceiverAway();
    void hidingForgetsAnEdit_data();
    void hidingForgetsAnEdit();

private:
    HightDialog *dialog() const { return window->hightDialog; }
    QLineEdit *field(const QString &name) const { return dialog()->findChild<QLineEdit *>(name); }
    void open() { QVERIFY(QMetaObject::invokeMethod(window.get(), "onAdvancedSet")); }
    void ok() { QTest::mouseClick(dialog()->findChild<QPushButton *>("pushButton"), Qt::LeftButton); }

    RecordingPlatform platform;
    std::unique_ptr<Widget> window;
};

void TestHightDialog::init()
{
    receiver().reset();
    window = std::make_unique<Widget>(nullptr, &platform);
    window->readRequested = true;
}

void TestHightDialog::cleanup()
{
    window.reset();
}

void TestHightDialog::form()
{
    // One instance, built hidden with the window, a window of its own.
    QVERIFY(dialog());
    QVERIFY(!dialog()->isVisible());
    QCOMPARE(dialog()->parentWidget(), window.get());
    QVERIFY(dialog()->isWindow());
    QVERIFY(!dialog()->isModal());
    QCOMPARE(dialog()->windowTitle(), QString::fromUtf8("高级设置界面"));
    QCOMPARE(dialog()->findChild<QPushButton *>("pushButton")->text(), QString::fromUtf8("确 定"));
    QCOMPARE(dialog()->findChild<QPushButton *>("pushButton_2")->text(), QString::fromUtf8("取 消"));

    // No field beyond the 48, and they come in slot order.
    const QStringList names = fieldNamesInSlotOrder();
    QCOMPARE(dialog()->findChildren<QLineEdit *>().size(), 48);
    QCOMPARE(dialog()->fields().size(), 48);
    for (int i = 0; i < 48; ++i) {
        QLineEdit *edit = dialog()->fields().at(i);
        QCOMPARE(edit->objectName(), names[i]);
        const bool hinted = names[i] == "lineEdit_9" || names[i] == "lineEdit_13";
        QCOMPARE(edit->toolTip(), hinted ? QString("0x00") : QString());
    }
}

void TestHightDialog::showsTheImage()
{
    // A different value on every slot, including ones no combo box offers.
    const QList<int> bytes = testsupport::slotBytes();
    for (int slot = 0; slot < 48; ++slot)
        window->keyValue[bytes[slot]] = static_cast<std::uint8_t>(slot * 5 + 1);
    window->keyValue[bytes[0]] = 0x00;
    window->keyValue[bytes[1]] = 0x0A;
    window->keyValue[bytes[47]] = 0xFF;

    open();
    QVERIFY(dialog()->isVisible());
    const QStringList names = fieldNamesInSlotOrder();
    for (int slot = 0; slot < 48; ++slot)
        QCOMPARE(field(names[slot])->text(), QString::number(window->keyValue[bytes[slot]], 16));
    QCOMPARE(field("lineEdit_1")->text(), QString("0"));
    QCOMPARE(field("lineEdit_2")->text(), QString("a"));
    QCOMPARE(field("lineEdit_68")->text(), QString("ff"));
    QCOMPARE(field("lineEdit_3")->text(), QString("b"));
}

void TestHightDialog::okStoresAField_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("value");

    QTest::newRow("upper case FF") << "lineEdit_1"
                                   << "FF" << 3 << 255;
    QTest::newRow("lower case ff") << "lineEdit_1"
                                   << "ff" << 3 << 255;
    QTest::newRow("prefixed") << "lineEdit_9"
                              << "0x1F" << 12 << 0;
    QTest::newRow("three digits") << "lineEdit_24"
                                  << "123" << 28 << 0;
    QTest::newRow("empty") << "lineEdit_25"
                           << "" << 35 << 0;
    QTest::newRow("z") << "lineEdit_32"
                       << "z" << 42 << 0;
    QTest::newRow("z3") << "lineEdit_51"
                        << "z3" << 44 << 3;
    QTest::newRow("3z") << "lineEdit_58"
                        << "3z" << 51 << 48;
    QTest::newRow("7f") << "lineEdit_61"
                        << "7f" << 53 << 127;
    QTest::newRow("single digit") << "lineEdit_68"
                                  << "c" << 60 << 12;
}

void TestHightDialog::okStoresAField()
{
    QFETCH(QString, fieldName);
    QFETCH(QString, text);
    QFETCH(int, byte);
    QFETCH(int, value);

    // Something to overwrite, so that 0 is seen to be stored.
    window->keyValue[byte] = 0x99;
    open();
    field(fieldName)->setText(text);
    ok();
    QCOMPARE(int(window->keyValue[byte]), value);
    QVERIFY(dialog()->isVisible());
}

void TestHightDialog::okWritesTheWholeImage()
{
    QComboBox *combo = window->findChild<QComboBox *>("combox_3");
    combo->setCurrentIndex(combo->findText("Tab"));
    open();
    const QStringList names = fieldNamesInSlotOrder();
    for (int slot = 0; slot < 48; ++slot)
        field(names[slot])->setText(QString::number(slot + 0xA0, 16));
    receiver().clearSent();
    DebugLog log;

    ok();

    protocol::Image expected = testsupport::imageWith({});
    const QList<int> bytes = testsupport::slotBytes();
    for (int slot = 0; slot < 48; ++slot)
        expected[bytes[slot]] = static_cast<std::uint8_t>(slot + 0xA0);
    expected[31] = protocol::blockChecksum(expected.data());
    expected[63] = protocol::blockChecksum(expected.data() + 32);
    QCOMPARE(toBytes(window->keyValue), toBytes(expected));
    QCOMPARE(toBytes(window->savedKeyValue), toBytes(expected));

    const std::vector<sim::Bytes> &sent = receiver().sentReports();
    QCOMPARE(int(sent.size()), 2);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(sent[0].data()), 33),
        QByteArray(1, 0) + toBytes(expected).left(32));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(sent[1].data()), 33),
        QByteArray(1, 0) + toBytes(expected).mid(32));
    QCOMPARE(toBytes(receiver().mapping()), toBytes(expected));
    // Silent, and the grid keeps showing what it showed.
    QCOMPARE(log.lines(), QStringList());
    QCOMPARE(combo->currentText(), QString("Tab"));
    QVERIFY(dialog()->isVisible());
}

void TestHightDialog::okWithTheReceiverAway()
{
    receiver().unplug();
    const protocol::Image saved = window->savedKeyValue;
    open();
    field("lineEdit_5")->setText("e0");
    DebugLog log;

    ok();

    QCOMPARE(int(window->keyValue[7]), 0xE0);
    QCOMPARE(int(window->keyValue[31]), (0x55 + 0xE0) & 0xFF);
    QCOMPARE(toBytes(window->savedKeyValue), toBytes(saved));
    QVERIFY(receiver().sentReports().empty());
    QCOMPARE(log.lines(), QStringList());
}

void TestHightDialog::hidingForgetsAnEdit_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("取 消") << "cancel";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("window closed") << "close";
}

void TestHightDialog::hidingForgetsAnEdit()
{
    QFETCH(QString, how);
    window->keyValue[12] = 0x4B;
    open();
    QCOMPARE(field("lineEdit_9")->text(), QString("4b"));
    field("lineEdit_9")->setText("ee");

    if (how == "cancel")
        QTest::mouseClick(dialog()->findChild<QPushButton *>("pushButton_2"), Qt::LeftButton);
    else if (how == "escape")
        QTest::keyClick(field("lineEdit_9"), Qt::Key_Escape);
    else
        dialog()->close();
    QVERIFY(!dialog()->isVisible());
    QCOMPARE(int(window->keyValue[12]), 0x4B);
    // Kept, not destroyed.
    QCOMPARE(field("lineEdit_9")->text(), QString("ee"));

    open();
    QVERIFY(dialog()->isVisible());
    QCOMPARE(field("lineEdit_9")->text(), QString("4b"));
}

QUORVANT_PRIVATE_TEST_MAIN(TestHightDialog)
#include "test_hightdialog.moc"
