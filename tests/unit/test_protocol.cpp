// The receiver's bytes: commands, checksums, the slot layout of the mapping,
// the key codes in it and their hexadecimal notation. Input reports are
// classified in the device link's test.
#include <QtTest>

#include "device/protocol.h"
#include "keymap/hexbyte.h"
#include "keymap/vocabulary.h"

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const std::uint8_t *bytes(const QByteArray &array)
{
    return reinterpret_cast<const std::uint8_t *>(array.constData());
}

template <std::size_t N> QByteArray toArray(const std::array<std::uint8_t, N> &data)
{
    return QByteArray(reinterpret_cast<const char *>(data.data()), int(N));
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void commands()
    {
        QCOMPARE(toArray(protocol::readBackRequest()), hex("007070") + QByteArray(30, '\0'));
        QCOMPARE(toArray(protocol::resetCommand()), hex("006060") + QByteArray(30, '\0'));
    }

    void checksum_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<int>("checksum");
        const QByteArray zeros(29, '\0');
        QTest::newRow("empty block 1") << hex("550000") + zeros << 0x55;
        QTest::newRow("empty block 2") << hex("560000") + zeros << 0x56;
        QTest::newRow("PageDown on key 1") << hex("5500004e") + zeros.left(28) << 0xA3;
        QTest::newRow("0x155 wraps to 0x55") << hex("5500008080") + zeros.left(27) << 0x55;
        QTest::newRow("old checksum ignored") << hex("5500004e") + zeros.left(27) + hex("77") << 0xA3;
    }

    void checksum()
    {
        QFETCH(QByteArray, block);
        QFETCH(int, checksum);
        QCOMPARE(block.size(), 32);
        QCOMPARE(int(protocol::blockChecksum(bytes(block))), checksum);
    }

    void mappingWriteWorkedExample()
    {
        protocol::Image image = protocol::blankImage();
        image[3] = 0x4E;
        protocol::storeChecksums(image);
        QCOMPARE(toArray(protocol::mappingWrite(image)),
            hex("005500004e") + QByteArray(27, '\0') + hex("a3") + hex("0056") + QByteArray(30, '\0')
                + hex("56"));
    }

    void slotLayout()
    {
        // Each key owns eight consecutive bytes; 11, 20 and the ends of a
        // block are never slot bytes.
        const int block1[24]
            = { 3, 4, 5, 6, 7, 8, 9, 10, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24, 25, 26, 27, 28 };
        for (int slot = 0; slot < protocol::kSlotCount; ++slot) {
            QCOMPARE(protocol::slotBlockOffset(slot), block1[slot % 24]);
            QCOMPARE(protocol::slotImageIndex(slot), block1[slot % 24] + (slot < 24 ? 0 : 32));
        }
    }

    void keyCodes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("index"); // -1: no entry
        QTest::addColumn<QString>("name");
        for (int unknown : { 0x01, 0x03, 0x2D, 0x74, 0xE8, 0xFF })
            QTest::newRow(qPrintable(QString::number(unknown, 16))) << unknown << -1 << QString();
        QTest::newRow("no action") << 0x00 << 0 << "";
        QTest::newRow("first entry") << 0xF5 << 1 << "Shift+F5/Esc";
        QTest::newRow("slash key") << 0x38 << 19 << "?/";
        QTest::newRow("Enter") << 0x28 << 77 << "Enter";
        QTest::newRow("volume after Enter") << 0xC3 << 78 << "Vol+";
        QTest::newRow("digit 0 before 1 to 9") << 0x27 << 81 << "0";
        QTest::newRow("mouse left") << 0xF3 << 91 << "MOUSE_L";
        QTest::newRow("last entry") << 0xCD << 94 << "PREV_TRACK";
    }

    void keyCodes()
    {
        QFETCH(int, code);
        QFETCH(int, index);
        QFETCH(QString, name);
        QCOMPARE(keymap::keyIndex(std::uint8_t(code)).value_or(-1), index);
        if (index >= 0)
            QCOMPARE(keymap::keyNames().at(index), name);
    }

    void keyCodeRuns()
    {
        // The runs of the table from their first code: a slip in any entry
        // shows. Each entry leads back to itself; an index without an entry
        // is no action.
        const QStringList names = keymap::keyNames();
        auto run = [&](int index, int count, int code, auto name) {
            for (int i = 0; i < count; ++i) {
                QCOMPARE(names.at(index + i), name(i));
                QCOMPARE(int(keymap::keyCode(index + i)), code + i);
            }
        };
        run(25, 12, 0x3A, [](int i) { return QString("F%1").arg(1 + i); });
        run(37, 12, 0x68, [](int i) { return QString("F%1").arg(13 + i); });
        run(49, 26, 0x04, [](int i) { return QString(QChar('A' + i)); });
        run(82, 9, 0x1E, [](int i) { return QString::number(1 + i); });
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), 95);
        for (int index = 0; index < names.size(); ++index)
            QCOMPARE(keymap::keyIndex(keymap::keyCode(index)).value_or(-1), index);
        for (int index : { -1, 95, 100000 })
            QCOMPARE(int(keymap::keyCode(index)), 0);
    }

    void parseHexByte_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        // Other lengths read as 0, and a character that is no digit counts
        // as 0 where it stands.
        const std::pair<const char *, int> rows[]
            = { { "", 0 }, { "0x1F", 0 }, { "100", 0 }, { "g5", 5 }, { "5g", 80 }, { "-1", 1 }, { "一5", 5 },
                  { "５", 0 }, { "é", 0 }, { "f", 15 }, { "7F", 127 }, { "09", 9 }, { "a0", 160 } };
        for (const auto &row : rows)
            QTest::newRow(*row.first ? row.first : "empty") << QString::fromUtf8(row.first) << row.second;
    }

    void parseHexByte()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(keymap::parseHexByte(text), value);
    }

    void everyByteSurvivesTheDialog()
    {
        QCOMPARE(keymap::hexText(0x04), QStringLiteral("4"));
        QCOMPARE(keymap::hexText(0xFF), QStringLiteral("ff"));
        for (int byte = 0; byte < 256; ++byte)
            QCOMPARE(keymap::parseHexByte(keymap::hexText(std::uint8_t(byte))), byte);
    }
};

QTEST_APPLESS_MAIN(TestProtocol)
#include "test_protocol.moc"
