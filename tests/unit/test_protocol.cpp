// The receiver's protocol bytes: classification, commands, checksums and the
// slot layout of the mapping blocks.
#include <QtTest>

#include "device/protocol.h"

using protocol::Report;

Q_DECLARE_METATYPE(protocol::Report)

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
    return QByteArray(reinterpret_cast<const char *>(data.data()), static_cast<int>(N));
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void classify_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<Report>("expected");

        // Near misses first: one byte off from a real report.
        QTest::newRow("empty report") << QByteArray() << Report::Unknown;
        QTest::newRow("12 35 AB CD") << hex("1235abcd0005") << Report::Unknown;
        QTest::newRow("12 34 A0 B2") << hex("1234a0b2") << Report::Unknown;
        QTest::newRow("12 34 AB CC") << hex("1234abcc") << Report::Unknown;
        QTest::newRow("12 34 AA CD") << hex("1234aacd") << Report::Unknown;
        QTest::newRow("12 34 only") << hex("1234") << Report::Unknown;
        QTest::newRow("66 67") << hex("6667") << Report::Unknown;
        QTest::newRow("88 98") << hex("8898") << Report::Unknown;
        QTest::newRow("99 88") << hex("9988") << Report::Unknown;
        QTest::newRow("54") << hex("54") << Report::Unknown;
        QTest::newRow("57") << hex("57") << Report::Unknown;
        QTest::newRow("00 55") << hex("0055") << Report::Unknown;

        QTest::newRow("laser mode") << hex("1234abcd0005") << Report::ModeLaser;
        QTest::newRow("magnifier mode") << hex("1234a1b10003") << Report::ModeMagnifier;
        QTest::newRow("spotlight mode") << hex("1234a2b20004") << Report::ModeSpotlight;
        QTest::newRow("normal mode") << hex("1234a0b0") << Report::ModeNormal;
        QTest::newRow("normal notice") << hex("1234a0b1") << Report::NoticeNormal;
        QTest::newRow("magnifier notice") << hex("1234a1b2") << Report::NoticeMagnifier;
        QTest::newRow("spotlight notice") << hex("1234a2b3") << Report::NoticeSpotlight;
        QTest::newRow("laser notice") << hex("1234aacc") << Report::NoticeLaser;
        QTest::newRow("mapping acknowledged") << hex("8899") << Report::KeyOk;
        QTest::newRow("acknowledgement with trailing bytes") << hex("8899ffffffff") << Report::KeyOk;
        QTest::newRow("reset acknowledged") << hex("6666") << Report::ResetOk;
        QTest::newRow("block 1") << hex("55") << Report::Block1;
        QTest::newRow("block 1, any second byte") << hex("5501") << Report::Block1;
        QTest::newRow("block 2") << hex("5600ff") << Report::Block2;
        QTest::newRow("byte 4 is not looked at") << hex("1234abcdff05") << Report::ModeLaser;
    }

    void classify()
    {
        QFETCH(QByteArray, report);
        QFETCH(Report, expected);
        QCOMPARE(protocol::classify(bytes(report), static_cast<std::size_t>(report.size())), expected);

        // The same bytes in a full, zero-padded 32-byte buffer mean the same.
        QByteArray padded = report;
        padded.append(QByteArray(32 - padded.size(), '\0'));
        QCOMPARE(protocol::classify(bytes(padded), 32), expected);
    }

    void sizeByteIsUnsigned_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<int>("size");
        QTest::newRow("5") << hex("1234abcd0005") << 5;
        QTest::newRow("0") << hex("1234abcd0000") << 0;
        QTest::newRow("127") << hex("1234a1b1007f") << 127;
        QTest::newRow("128 is not -128") << hex("1234a1b10080") << 128;
        QTest::newRow("255 is not -1") << hex("1234a2b200ff") << 255;
        QTest::newRow("short report reads 0") << hex("1234abcd") << 0;
    }

    void sizeByteIsUnsigned()
    {
        QFETCH(QByteArray, report);
        QFETCH(int, size);
        QCOMPARE(protocol::sizeLevel(bytes(report), static_cast<std::size_t>(report.size())), size);
    }

    void commands()
    {
        const QByteArray thirtyZeros(30, '\0');
        QCOMPARE(toArray(protocol::readBackRequest()), hex("007070") + thirtyZeros);
        QCOMPARE(toArray(protocol::resetCommand()), hex("006060") + thirtyZeros);
    }

    void checksum_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<int>("checksum");
        QByteArray empty1(32, '\0');
        empty1[0] = 0x55;
        QByteArray empty2(32, '\0');
        empty2[0] = 0x56;
        QTest::newRow("empty block 1") << empty1 << 0x55;
        QTest::newRow("empty block 2, one more than block 1") << empty2 << 0x56;

        QByteArray example = empty1;
        example[3] = 0x4E;
        QTest::newRow("PageDown on key 1") << example << 0xA3;

        // 0x55 + 0x80 + 0x80 = 0x155 wraps to 0x55.
        QByteArray wraps = empty1;
        wraps[3] = char(0x80);
        wraps[4] = char(0x80);
        QTest::newRow("sum above 255 wraps") << wraps << 0x55;

        // Byte 31 itself is not part of the sum.
        QByteArray stale = example;
        stale[31] = char(0x77);
        QTest::newRow("old checksum ignored") << stale << 0xA3;
    }

    void checksum()
    {
        QFETCH(QByteArray, block);
        QFETCH(int, checksum);
        QCOMPARE(int(protocol::blockChecksum(bytes(block))), checksum);
    }

    void mappingWriteWorkedExample()
    {
        protocol::Image image = protocol::blankImage();
        image[3] = 0x4E;
        protocol::storeChecksums(image);
        QCOMPARE(int(image[31]), 0xA3);
        QCOMPARE(int(image[63]), 0x56);

        const QByteArray pair = toArray(protocol::mappingWrite(image));
        QCOMPARE(pair.size(), 66);
        QCOMPARE(pair.left(33), hex("00" "55" "00 00 4e") + QByteArray(27, '\0') + hex("a3"));
        QCOMPARE(pair.mid(33), hex("00" "56") + QByteArray(30, '\0') + hex("56"));
    }

    void blankMappingWrite()
    {
        protocol::Image image = protocol::blankImage();
        protocol::storeChecksums(image);
        const QByteArray pair = toArray(protocol::mappingWrite(image));
        QCOMPARE(pair.left(33), hex("0055") + QByteArray(30, '\0') + hex("55"));
        QCOMPARE(pair.mid(33), hex("0056") + QByteArray(30, '\0') + hex("56"));
    }

    void slotLayout()
    {
        // Each key owns eight consecutive bytes; the gaps at 11, 20 and the
        // ends of a block are never slot bytes.
        const int block1[24] = { 3,  4,  5,  6,  7,  8,  9,  10, 12, 13, 14, 15,
                                 16, 17, 18, 19, 21, 22, 23, 24, 25, 26, 27, 28 };
        QSet<int> seen;
        for (int slot = 0; slot < protocol::kSlotCount; ++slot) {
            const int expected = block1[slot % 24];
            QCOMPARE(protocol::slotBlockOffset(slot), expected);
            QCOMPARE(protocol::slotImageIndex(slot), expected + (slot < 24 ? 0 : 32));
            seen.insert(protocol::slotImageIndex(slot));
        }
        QCOMPARE(seen.size(), 48);
        for (int never : { 0, 1, 2, 11, 20, 29, 30, 31, 32, 33, 34, 43, 52, 61, 62, 63 })
            QVERIFY2(!seen.contains(never), qPrintable(QString::number(never)));
        // Key 6, click, column 1: block 2 offset 21.
        QCOMPARE(protocol::slotImageIndex(40), 53);
    }
};

QTEST_APPLESS_MAIN(TestProtocol)
#include "test_protocol.moc"
