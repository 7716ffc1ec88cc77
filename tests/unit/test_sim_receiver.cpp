// The simulated receiver, reached through hidapi's functions as the program
// reaches it, with the receiver in this process.
#include "inprocess.h"

#include <hidapi/hidapi.h>

#include <QtTest>

using sim::Bytes;
using Reports = std::vector<Bytes>;
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(Reports)
Q_DECLARE_METATYPE(sim::Image)

namespace {

sim::Receiver &receiver()
{
    return sim::inProcessReceiver();
}

// Report number 0, then the payload, zero-padded.
Bytes output(Bytes payload)
{
    payload.resize(32);
    payload.insert(payload.begin(), 0);
    return payload;
}

// Sealed by hand, so that a wrong sum in the receiver cannot agree with itself.
sim::Image customMapping()
{
    sim::Image image {};
    image[0] = 0x55, image[3] = 0x4E, image[31] = 0xA3, image[32] = 0x56, image[44] = 0x04, image[63] = 0x5A;
    return image;
}

QList<int> interfaces()
{
    QList<int> numbers;
    hid_device_info *devs = hid_enumerate(0x26E3, 0xAF01);
    for (hid_device_info *d = devs; d; d = d->next)
        numbers << d->interface_number;
    hid_free_enumeration(devs);
    return numbers;
}

} // namespace

class TestSimReceiver : public QObject
{
    Q_OBJECT

private slots:
    void init() { receiver().reset(); }

    void presence()
    {
        QCOMPARE(interfaces(), QList<int>({ 0, 1, 2, 3 }));
        QVERIFY(!hid_enumerate(0x26E3, 0xAF02));
        receiver().setOpenable(false);
        QCOMPARE(interfaces().size(), 4);
        QVERIFY(!hid_open_path("quorvant-sim:if3"));
        QCOMPARE(receiver().openAttempts(), 1);
        receiver().setOpenable(true);
        receiver().unplug();
        QCOMPARE(interfaces(), QList<int>());
        QVERIFY(!hid_open_path("quorvant-sim:if3"));
    }

    void commands_data()
    {
        QTest::addColumn<Reports>("writes");
        QTest::addColumn<Bytes>("answer");
        QTest::addColumn<sim::Image>("stored");
        const sim::Image custom = customMapping(), factory = sim::Receiver::factoryMapping();
        Bytes written(32, 0), reset(32, 0);
        written[0] = 0x88, written[1] = 0x99, reset[0] = reset[1] = 0x66;
        QTest::newRow("read-back answers both blocks")
            << Reports { output({ 0x70, 0x70 }) } << Bytes(custom.begin(), custom.end()) << custom;
        QTest::newRow("mapping write is stored and acknowledged")
            << Reports { output(Bytes(factory.begin(), factory.begin() + 32)),
                   output(Bytes(factory.begin() + 32, factory.end())) }
            << written << factory;
        QTest::newRow("reset restores the defaults")
            << Reports { output({ 0x60, 0x60 }) } << reset << factory;
        QTest::newRow("half a command is nothing") << Reports { output({ 0x70, 0x71 }) } << Bytes() << custom;
    }

    void commands()
    {
        QFETCH(Reports, writes);
        QFETCH(Bytes, answer);
        QFETCH(sim::Image, stored);
        receiver().setMapping(customMapping());
        hid_device *device = hid_open_path("quorvant-sim:if3");
        QVERIFY(device);
        for (const Bytes &report : writes)
            QCOMPARE(hid_write(device, report.data(), report.size()), 33);
        Bytes input, one(32);
        for (int n; (n = hid_read_timeout(device, one.data(), one.size(), 20)) > 0;)
            input.insert(input.end(), one.begin(), one.begin() + n);
        hid_close(device);
        QVERIFY(input == answer);
        QVERIFY(receiver().mapping() == stored);
        QVERIFY(receiver().sentReports() == writes);
    }
};

QTEST_GUILESS_MAIN(TestSimReceiver)
#include "test_sim_receiver.moc"
