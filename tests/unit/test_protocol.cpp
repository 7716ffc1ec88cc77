// The receiver's bytes as pure functions: classification of input
// reports, the checksum and block layout, the key vocabulary and the
// hexadecimal notation of the advanced dialog. (The commands' bytes are
// checked as they go out, in test_core.) The expected values are
// written out here, apart from the program's own tables.
#include <QtTest>

#include "device/protocol.h"
#include "keymap/hexbyte.h"
#include "keymap/vocabulary.h"

using protocol::Report;
Q_DECLARE_METATYPE(protocol::Report)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void classify_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<Report>("kind");
        QTest::addColumn<int>("size");
        // The reports the simulated receiver sends are classified in
        // test_link and test_core; here the rules at their edges. Near
        // misses first: one byte off from a real report.
        for (const char *miss : { "", "1235abcd0005", "1234a0b2", "1234abcc", "1234aacd", "1234", "6667",
                 "8898", "9988", "54", "57", "0055" })
            QTest::newRow(*miss ? miss : "empty") << hex(miss) << Report::Unknown << -1;
        QTest::newRow("byte 4 is not looked at") << hex("1234abcdff05") << Report::ModeLaser << 5;
        QTest::newRow("short mode report, size 0") << hex("1234abcd") << Report::ModeLaser << 0;
        QTest::newRow("magnifier 128 is not -128") << hex("1234a1b10080") << Report::ModeMagnifier << 128;
        QTest::newRow("spotlight 255 is not -1") << hex("1234a2b200ff") << Report::ModeSpotlight << 255;
        QTest::newRow("spotlight notice") << hex("1234a2b3") << Report::NoticeSpotlight << -1;
        QTest::newRow("written, trailing bytes") << hex("8899ffff") << Report::KeyOk << -1;
        QTest::newRow("block 1, any second byte") << hex("5501") << Report::Block1 << -1;
    }

    void classify()
    {
        QFETCH(QByteArray, report);
        const auto *data = reinterpret_cast<const std::uint8_t *>(report.constData());
        QTEST(protocol::classify(data, std::size_t(report.size())), "kind");
        QFETCH(int, size); // -1: a report without a size
        if (size >= 0)
            QCOMPARE(protocol::sizeLevel(data, std::size_t(report.size())), size);
    }

    void checksum_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<int>("checksum");
        const QByteArray zeros(28, '\0');
        QTest::newRow("PageDown on key 1") << hex("5500004e") + zeros << 0xA3;
        QTest::newRow("0x155 wraps to 0x55") << hex("5500008080") + zeros.left(27) << 0x55;
        QTest::newRow("old checksum ignored") << hex("5500004e") + zeros.left(27) + hex("77") << 0xA3;
    }

    void checksum()
    {
        QFETCH(QByteArray, block);
        QTEST(int(protocol::blockChecksum(reinterpret_cast<const std::uint8_t *>(block.constData()))),
            "checksum");
    }

    void slotLayout()
    {
        // The slots follow one another from byte 3 of each block, with a
        // byte left after the 8th and the 16th of the block.
        const std::pair<int, int> imageIndex[]
            = { { 0, 3 }, { 7, 10 }, { 8, 12 }, { 15, 19 }, { 16, 21 }, { 23, 28 }, { 24, 35 }, { 47, 60 } };
        for (const auto &[slot, index] : imageIndex)
            QCOMPARE(protocol::slotImageIndex(slot), index);
    }

    void vocabulary()
    {
        // Bytes the receiver may hold that the program has no name for.
        for (int unknown : { 0x01, 0x03, 0x2D, 0x74, 0xE8, 0xFF })
            QVERIFY2(!keymap::keyIndex(std::uint8_t(unknown)), qPrintable(QString::number(unknown, 16)));
        const QStringList names = keymap::keyNames();
        // The keys a presenter's mapping uses most, and the ends of the table.
        const std::pair<int, const char *> entries[] = { { 0x00, "" }, { 0xF5, "Shift+F5/Esc" },
            { 0x4B, "PageUp" }, { 0x4E, "PageDown" }, { 0x4A, "Home" }, { 0xE7, "R_Win" }, { 0xC3, "Vol+" },
            { 0xF3, "MOUSE_L" }, { 0xCD, "PREV_TRACK" } };
        for (const auto &[code, name] : entries)
            QCOMPARE(names.value(keymap::keyIndex(std::uint8_t(code)).value_or(-1)), QString(name));
        // The runs of the table from their first code: a slip in any entry shows.
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
        // Every entry leads back to itself; an index without one is no action.
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
        const std::pair<const char *, int> rows[] = { { "", 0 }, { "100", 0 }, { "g5", 5 }, { "5g", 80 },
            { "一5", 5 }, { "é", 0 }, { "f", 15 }, { "7F", 127 }, { "a0", 160 } };
        for (const auto &row : rows)
            QTest::newRow(*row.first ? row.first : "empty") << QString::fromUtf8(row.first) << row.second;
    }

    void parseHexByte()
    {
        QFETCH(QString, text);
        QTEST(keymap::parseHexByte(text), "value");
    }

    void everyByteSurvivesTheDialog()
    {
        for (int byte = 0; byte < 256; ++byte)
            QCOMPARE(keymap::parseHexByte(keymap::hexText(std::uint8_t(byte))), byte);
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"
