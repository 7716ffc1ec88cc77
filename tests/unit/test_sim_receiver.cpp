// The simulated receiver, reached the way the program reaches it: through
// hidapi's functions, with the receiver in this process.
#include "inprocess.h"
#include "receiver.h"
#include "wire.h"

#include <hidapi/hidapi.h>

#include <QtTest>

#include <cstring>
#include <string>

Q_DECLARE_METATYPE(sim::Bytes)
Q_DECLARE_METATYPE(sim::Mode)

// Readable failures: report bytes as hex.
namespace QTest {
template <> char *toString(const sim::Bytes &bytes)
{
    return qstrdup(sim::wire::toSpacedHex(bytes).c_str());
}
template <> char *toString(const sim::Image &image)
{
    return qstrdup(sim::wire::toSpacedHex(sim::Bytes(image.begin(), image.end())).c_str());
}
template <> char *toString(const std::vector<sim::Bytes> &reports)
{
    std::string text;
    for (const sim::Bytes &report : reports)
        text += "[" + sim::wire::toSpacedHex(report) + "] ";
    return qstrdup(text.c_str());
}
} // namespace QTest

namespace {

using sim::Bytes;

sim::Receiver &receiver()
{
    return sim::inProcessReceiver();
}

// A 33-byte output report: report number 0, then the payload, zero-padded.
Bytes output(const Bytes &payload)
{
    Bytes report(33, 0);
    std::copy_n(payload.begin(), std::min<std::size_t>(payload.size(), 32), report.begin() + 1);
    return report;
}

Bytes block(const sim::Image &image, int which)
{
    return Bytes(image.begin() + (which == 1 ? 0 : 32), image.begin() + (which == 1 ? 32 : 64));
}

Bytes answer(std::uint8_t a, std::uint8_t b)
{
    Bytes report(32, 0);
    report[0] = a;
    report[1] = b;
    return report;
}

// Worked out here rather than taken from the receiver, so that a wrong sum
// there cannot agree with itself.
std::uint8_t checksum(const std::uint8_t *block)
{
    int sum = 0;
    for (int i = 0; i < 31; ++i)
        sum += block[i];
    return std::uint8_t(sum % 256);
}

// A mapping unlike the factory one, with valid checksums.
sim::Image customMapping()
{
    sim::Image image {};
    image[0] = 0x55;
    image[32] = 0x56;
    image[3] = 0x4E; // key 1 click: PageDown
    image[28] = 0xE7; // key 3 long press, column 4
    image[32 + 12] = 0x04; // key 5 click: A
    image[31] = checksum(image.data());
    image[63] = checksum(image.data() + 32);
    return image;
}

// An open interface of the receiver, found by enumeration as the program does.
class Device
{
public:
    explicit Device(int interfaceNumber = 3)
    {
        hid_device_info *devs = hid_enumerate(sim::kVendorId, sim::kProductId);
        for (hid_device_info *d = devs; d; d = d->next) {
            if (d->interface_number == interfaceNumber)
                handle = hid_open_path(d->path);
        }
        hid_free_enumeration(devs);
    }
    ~Device() { hid_close(handle); }
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    hid_device *get() const { return handle; }
    int write(const Bytes &report) const { return hid_write(handle, report.data(), report.size()); }
    // One read as the program makes it: a zeroed 32-byte buffer.
    int read(Bytes &report, std::size_t length = 32) const
    {
        report.assign(length, 0);
        const int n = hid_read_timeout(handle, report.data(), length, 20);
        report.resize(n > 0 ? std::size_t(n) : 0);
        return n;
    }
    Bytes readAll() const
    {
        Bytes all, one;
        while (read(one) > 0)
            all.insert(all.end(), one.begin(), one.end());
        return all;
    }

private:
    hid_device *handle = nullptr;
};

int enumerated(unsigned short vendor, unsigned short product)
{
    hid_device_info *devs = hid_enumerate(vendor, product);
    int count = 0;
    for (hid_device_info *d = devs; d; d = d->next)
        ++count;
    hid_free_enumeration(devs);
    return count;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

} // namespace

class TestSimReceiver : public QObject
{
    Q_OBJECT

private slots:
    void init() { receiver().reset(); }

    void checksums_data();
    void checksums();
    void factoryMappingIsWellFormed();
    void enumeration_data();
    void enumeration();
    void commandAnswers_data();
    void commandAnswers();
    void mappingWriteChecksum_data();
    void mappingWriteChecksum();
    void unplugLeavesHandlesStale();
    void notOpenable();
    void failingWrites();
    void onlyInterfaceThreeCarriesTraffic_data();
    void onlyInterfaceThreeCarriesTraffic();
    void rawReports_data();
    void rawReports();
    void penReports_data();
    void penReports();
    void resetKeepsOpenHandles();
    void commandLineHex_data();
    void commandLineHex();
};

void TestSimReceiver::checksums_data()
{
    QTest::addColumn<Bytes>("block");
    QTest::addColumn<int>("expected");

    Bytes empty1(32, 0), empty2(32, 0), one(32, 0), wraps(32, 0), full(32, 0xFF);
    empty1[0] = 0x55;
    empty2[0] = 0x56;
    one[0] = 0x55;
    one[3] = 0x4E;
    wraps[0] = 0x55;
    wraps[3] = 0x80;
    wraps[4] = 0x80;
    QTest::newRow("empty block 1") << empty1 << 0x55;
    QTest::newRow("empty block 2") << empty2 << 0x56;
    QTest::newRow("one code") << one << 0xA3;
    QTest::newRow("sum 0x155 wraps") << wraps << 0x55;
    QTest::newRow("byte 31 is not summed") << full << (31 * 0xFF) % 256;
}

void TestSimReceiver::checksums()
{
    QFETCH(Bytes, block);
    QFETCH(int, expected);
    QCOMPARE(int(sim::blockChecksum(block.data())), expected);

    // The receiver seals what it is given the same way.
    sim::Image image {};
    std::copy(block.begin(), block.end(), image.begin());
    receiver().setMapping(image);
    QCOMPARE(int(receiver().mapping()[31]), expected);
}

void TestSimReceiver::factoryMappingIsWellFormed()
{
    const sim::Image image = sim::Receiver::factoryMapping();
    QCOMPARE(image[0], std::uint8_t(0x55));
    QCOMPARE(image[32], std::uint8_t(0x56));
    QCOMPARE(image[31], checksum(image.data()));
    QCOMPARE(image[63], checksum(image.data() + 32));
    // Only slot bytes carry codes; the bytes the program never sets stay 0.
    for (int offset : { 1, 2, 11, 20, 29, 30 }) {
        QCOMPARE(image[offset], std::uint8_t(0));
        QCOMPARE(image[32 + offset], std::uint8_t(0));
    }
    int keysSet = 0;
    for (int key = 0; key < 6; ++key) {
        const int base = (key < 3 ? 0 : 32) + 3 + (key % 3) * 9;
        keysSet
            += std::any_of(image.begin() + base, image.begin() + base + 8, [](std::uint8_t c) { return c; });
    }
    // Every key but the mode key, which the pen keeps for itself.
    QCOMPARE(keysSet, 5);
}

void TestSimReceiver::enumeration_data()
{
    QTest::addColumn<int>("vendor");
    QTest::addColumn<int>("product");
    QTest::addColumn<bool>("plugged");
    QTest::addColumn<int>("expected");

    QTest::newRow("any device") << 0 << 0 << true << 4;
    QTest::newRow("vendor only") << int(sim::kVendorId) << 0 << true << 4;
    QTest::newRow("vendor and product") << int(sim::kVendorId) << int(sim::kProductId) << true << 4;
    QTest::newRow("other vendor") << 0x046D << 0 << true << 0;
    QTest::newRow("other product") << int(sim::kVendorId) << 0xAF02 << true << 0;
    QTest::newRow("unplugged") << int(sim::kVendorId) << int(sim::kProductId) << false << 0;
}

void TestSimReceiver::enumeration()
{
    QFETCH(int, vendor);
    QFETCH(int, product);
    QFETCH(bool, plugged);
    QFETCH(int, expected);

    if (!plugged)
        receiver().unplug();
    QCOMPARE(enumerated(vendor, product), expected);

    hid_device_info *devs = hid_enumerate(vendor, product);
    int number = 0;
    for (hid_device_info *d = devs; d; d = d->next, ++number) {
        QCOMPARE(d->interface_number, number);
        QCOMPARE(int(d->vendor_id), int(sim::kVendorId));
        QCOMPARE(int(d->product_id), int(sim::kProductId));
        QCOMPARE(QString(d->path), QStringLiteral("quorvant-sim:if%1").arg(number));
    }
    hid_free_enumeration(devs);
}

void TestSimReceiver::commandAnswers_data()
{
    QTest::addColumn<Bytes>("payload");
    QTest::addColumn<Bytes>("expectedInput");
    QTest::addColumn<bool>("factoryAfter");

    const sim::Image custom = customMapping();
    QTest::newRow("read-back answers both blocks")
        << Bytes { 0x70, 0x70 } << concat({ block(custom, 1), block(custom, 2) }) << false;
    QTest::newRow("reset restores the factory mapping") << Bytes { 0x60, 0x60 } << answer(0x66, 0x66) << true;
    QTest::newRow("half a read-back is nothing") << Bytes { 0x70, 0x71 } << Bytes {} << false;
    QTest::newRow("half a reset is nothing") << Bytes { 0x60 } << Bytes {} << false;
    QTest::newRow("acknowledgement bytes are not commands") << Bytes { 0x88, 0x99 } << Bytes {} << false;
}

void TestSimReceiver::commandAnswers()
{
    QFETCH(Bytes, payload);
    QFETCH(Bytes, expectedInput);
    QFETCH(bool, factoryAfter);

    receiver().setMapping(customMapping());
    Device device;
    QVERIFY(device.get());
    const Bytes report = output(payload);
    QCOMPARE(device.write(report), 33);

    QCOMPARE(device.readAll(), expectedInput);
    QCOMPARE(receiver().mapping(), factoryAfter ? sim::Receiver::factoryMapping() : customMapping());
    QCOMPARE(receiver().sentReports(), std::vector<Bytes> { report });
}

void TestSimReceiver::mappingWriteChecksum_data()
{
    QTest::addColumn<int>("damagedBlock"); // 0: none
    QTest::addColumn<bool>("block1Stored");
    QTest::addColumn<bool>("block2Stored");
    QTest::addColumn<bool>("acknowledged");

    QTest::newRow("both whole") << 0 << true << true << true;
    QTest::newRow("block 1 damaged") << 1 << false << true << true;
    QTest::newRow("block 2 damaged") << 2 << true << false << false;
}

void TestSimReceiver::mappingWriteChecksum()
{
    QFETCH(int, damagedBlock);
    QFETCH(bool, block1Stored);
    QFETCH(bool, block2Stored);
    QFETCH(bool, acknowledged);

    const sim::Image factory = sim::Receiver::factoryMapping();
    const sim::Image custom = customMapping();
    Bytes first = output(block(custom, 1)), second = output(block(custom, 2));
    if (damagedBlock == 1)
        first[32] ^= 0x01;
    if (damagedBlock == 2)
        second[32] ^= 0x80;

    Device device;
    QCOMPARE(device.write(first), 33);
    QCOMPARE(device.write(second), 33);

    QCOMPARE(device.readAll(), acknowledged ? answer(0x88, 0x99) : Bytes {});
    const sim::Image stored = receiver().mapping();
    QCOMPARE(block(stored, 1), block1Stored ? block(custom, 1) : block(factory, 1));
    QCOMPARE(block(stored, 2), block2Stored ? block(custom, 2) : block(factory, 2));
    // The receiver keeps what came, damaged or not.
    QCOMPARE(receiver().sentReports(), (std::vector<Bytes> { first, second }));
}

void TestSimReceiver::unplugLeavesHandlesStale()
{
    Device device;
    QVERIFY(device.get());
    receiver().pressMode(sim::Mode::Laser, 5);
    receiver().unplug();

    // What was queued leaves with the receiver.
    QCOMPARE(receiver().pendingInput(), std::size_t(0));
    Bytes report;
    QCOMPARE(device.read(report), -1);
    QCOMPARE(device.write(output({ 0x70, 0x70 })), -1);
    QCOMPARE(enumerated(sim::kVendorId, sim::kProductId), 0);
    QVERIFY(Device().get() == nullptr);
    receiver().pressNotice(sim::Mode::Laser);
    QCOMPARE(receiver().pendingInput(), std::size_t(0));

    // Plugged back in, the old handle still points at the device that left.
    receiver().plug();
    QCOMPARE(device.read(report), -1);
    QCOMPARE(device.write(output({ 0x70, 0x70 })), -1);
    QVERIFY(receiver().sentReports().empty());

    Device again;
    QVERIFY(again.get());
    QCOMPARE(again.write(output({ 0x70, 0x70 })), 33);
    QCOMPARE(again.read(report), 32);
    QCOMPARE(report[0], std::uint8_t(0x55));
}

void TestSimReceiver::notOpenable()
{
    receiver().setOpenable(false);
    QCOMPARE(enumerated(sim::kVendorId, sim::kProductId), 4);
    for (int i = 0; i < 3; ++i)
        QVERIFY(Device().get() == nullptr);
    QCOMPARE(receiver().openAttempts(), 3);

    // Attempts on an absent receiver count as well: a path kept from an
    // earlier enumeration still reaches it.
    receiver().setOpenable(true);
    receiver().unplug();
    QVERIFY(hid_open_path("quorvant-sim:if3") == nullptr);
    QCOMPARE(receiver().openAttempts(), 4);

    receiver().plug();
    Device device;
    QVERIFY(device.get());
    QCOMPARE(receiver().openAttempts(), 5);

    // Refusing new opens leaves an open handle alone.
    receiver().setOpenable(false);
    QCOMPARE(device.write(output({ 0x60, 0x60 })), 33);
}

void TestSimReceiver::failingWrites()
{
    Device device;
    const sim::Image custom = customMapping();
    const Bytes first = output(block(custom, 1)), second = output(block(custom, 2));

    // A mapping write whose first report is lost: block 2 still lands and is
    // acknowledged, block 1 stays as it was.
    receiver().failNextWrites(1);
    QCOMPARE(device.write(first), -1);
    QCOMPARE(device.write(second), 33);
    QCOMPARE(receiver().sentReports(), std::vector<Bytes> { second });
    QCOMPARE(device.readAll(), answer(0x88, 0x99));
    QCOMPARE(block(receiver().mapping(), 1), block(sim::Receiver::factoryMapping(), 1));
    QCOMPARE(block(receiver().mapping(), 2), block(custom, 2));

    receiver().clearSent();
    receiver().failNextWrites(2);
    QCOMPARE(device.write(output({ 0x70, 0x70 })), -1);
    QCOMPARE(device.write(output({ 0x70, 0x70 })), -1);
    QCOMPARE(device.write(output({ 0x60, 0x60 })), 33);
    QCOMPARE(receiver().sentReports().size(), std::size_t(1));
    QCOMPARE(device.readAll(), answer(0x66, 0x66));
}

void TestSimReceiver::onlyInterfaceThreeCarriesTraffic_data()
{
    QTest::addColumn<int>("interfaceNumber");
    QTest::newRow("interface 0") << 0;
    QTest::newRow("interface 1") << 1;
    QTest::newRow("interface 2") << 2;
}

void TestSimReceiver::onlyInterfaceThreeCarriesTraffic()
{
    QFETCH(int, interfaceNumber);

    Device other(interfaceNumber);
    QVERIFY(other.get());
    receiver().pressMode(sim::Mode::Magnifier, 2);
    receiver().failNextWrites(1);

    Bytes report;
    QCOMPARE(other.read(report), 0);
    QCOMPARE(other.write(output({ 0x70, 0x70 })), -1);
    QVERIFY(receiver().sentReports().empty());
    QCOMPARE(receiver().pendingInput(), std::size_t(1));

    // The report is still there for interface 3, and the fault still armed.
    Device traffic;
    QCOMPARE(traffic.read(report), 32);
    QCOMPARE(report[2], std::uint8_t(0xA1));
    QCOMPARE(traffic.write(output({ 0x70, 0x70 })), -1);
}

void TestSimReceiver::rawReports_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("delivered");

    QTest::newRow("empty") << 0 << 32 << 0;
    QTest::newRow("one byte") << 1 << 32 << 1;
    QTest::newRow("short mode report") << 6 << 32 << 6;
    QTest::newRow("odd length") << 17 << 32 << 17;
    QTest::newRow("one short of full") << 31 << 32 << 31;
    QTest::newRow("full") << 32 << 32 << 32;
    QTest::newRow("one too long is cut") << 33 << 32 << 32;
    QTest::newRow("longest is cut") << 64 << 32 << 32;
    QTest::newRow("longest into a large buffer") << 64 << 100 << 64;
    QTest::newRow("beyond the longest is clipped") << 80 << 100 << 64;
}

void TestSimReceiver::rawReports()
{
    QFETCH(int, length);
    QFETCH(int, bufferSize);
    QFETCH(int, delivered);

    Bytes raw(length);
    for (int i = 0; i < length; ++i)
        raw[i] = std::uint8_t(0xA0 + i);
    Device device;
    receiver().inject(raw);
    receiver().pressNotice(sim::Mode::Normal);

    Bytes report;
    QCOMPARE(device.read(report, std::size_t(bufferSize)), delivered);
    QCOMPARE(report, Bytes(raw.begin(), raw.begin() + delivered));
    // Reports stay whole and apart: the next read is the next report.
    QCOMPARE(device.read(report), 32);
    QCOMPARE(report[3], std::uint8_t(0xB1));
    QCOMPARE(device.read(report), 0);
}

void TestSimReceiver::penReports_data()
{
    QTest::addColumn<bool>("notice");
    QTest::addColumn<sim::Mode>("mode");
    QTest::addColumn<int>("size");
    QTest::addColumn<Bytes>("lead");

    QTest::newRow("laser size 5") << false << sim::Mode::Laser << 5 << Bytes { 0x12, 0x34, 0xAB, 0xCD };
    QTest::newRow("magnifier size 255")
        << false << sim::Mode::Magnifier << 255 << Bytes { 0x12, 0x34, 0xA1, 0xB1 };
    QTest::newRow("spotlight size 0")
        << false << sim::Mode::Spotlight << 0 << Bytes { 0x12, 0x34, 0xA2, 0xB2 };
    QTest::newRow("normal") << false << sim::Mode::Normal << 3 << Bytes { 0x12, 0x34, 0xA0, 0xB0 };
    QTest::newRow("laser notice") << true << sim::Mode::Laser << 0 << Bytes { 0x12, 0x34, 0xAA, 0xCC };
    QTest::newRow("magnifier notice")
        << true << sim::Mode::Magnifier << 0 << Bytes { 0x12, 0x34, 0xA1, 0xB2 };
    QTest::newRow("spotlight notice")
        << true << sim::Mode::Spotlight << 0 << Bytes { 0x12, 0x34, 0xA2, 0xB3 };
    QTest::newRow("normal notice") << true << sim::Mode::Normal << 0 << Bytes { 0x12, 0x34, 0xA0, 0xB1 };
}

void TestSimReceiver::penReports()
{
    QFETCH(bool, notice);
    QFETCH(sim::Mode, mode);
    QFETCH(int, size);
    QFETCH(Bytes, lead);

    if (notice)
        receiver().pressNotice(mode);
    else
        receiver().pressMode(mode, std::uint8_t(size));

    Bytes expected(32, 0);
    std::copy(lead.begin(), lead.end(), expected.begin());
    expected[5] = std::uint8_t(size);
    Device device;
    Bytes report;
    QCOMPARE(device.read(report), 32);
    QCOMPARE(report, expected);
}

void TestSimReceiver::resetKeepsOpenHandles()
{
    Device device;
    receiver().setMapping(customMapping());
    receiver().setOpenable(false);
    receiver().failNextWrites(3);
    receiver().pressMode(sim::Mode::Laser, 1);
    QCOMPARE(device.write(output({ 0x70, 0x70 })), -1);

    receiver().reset();
    QCOMPARE(receiver().mapping(), sim::Receiver::factoryMapping());
    QVERIFY(receiver().openable());
    QCOMPARE(receiver().openAttempts(), 0);
    QCOMPARE(receiver().pendingInput(), std::size_t(0));
    // A program that held the receiver across the reset keeps talking to it.
    QCOMPARE(device.write(output({ 0x60, 0x60 })), 33);
    QCOMPARE(receiver().sentReports().size(), std::size_t(1));
}

void TestSimReceiver::commandLineHex_data()
{
    QTest::addColumn<QStringList>("tokens");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<Bytes>("bytes");

    QTest::newRow("spaced pairs") << QStringList { "12", "34", "ab", "CD" } << true
                                  << Bytes { 0x12, 0x34, 0xAB, 0xCD };
    QTest::newRow("one run") << QStringList { "1234abcd0005" } << true
                             << Bytes { 0x12, 0x34, 0xAB, 0xCD, 0, 5 };
    QTest::newRow("prefixed and single digits")
        << QStringList { "0x12", "5", "0XfF" } << true << Bytes { 0x12, 0x05, 0xFF };
    QTest::newRow("nothing") << QStringList {} << true << Bytes {};
    QTest::newRow("odd run") << QStringList { "123" } << false << Bytes {};
    QTest::newRow("not hex") << QStringList { "12", "zz" } << false << Bytes {};
    QTest::newRow("bare prefix") << QStringList { "0x" } << false << Bytes {};
}

void TestSimReceiver::commandLineHex()
{
    QFETCH(QStringList, tokens);
    QFETCH(bool, valid);
    QFETCH(Bytes, bytes);

    std::vector<std::string> words;
    for (const QString &token : tokens)
        words.push_back(token.toStdString());
    Bytes parsed;
    QCOMPARE(sim::wire::fromHexTokens(words, parsed), valid);
    if (valid) {
        QCOMPARE(parsed, bytes);
        Bytes again;
        QVERIFY(sim::wire::fromHex(sim::wire::toHex(parsed), again));
        QCOMPARE(again, bytes);
    }
}

QTEST_GUILESS_MAIN(TestSimReceiver)
#include "test_sim_receiver.moc"
