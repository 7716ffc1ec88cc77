// The device link against the simulated receiver in process: opening,
// draining, dispatching, writing, unplugging, and a receiver that cannot be
// opened.
#include <QtTest>

#include <QElapsedTimer>

#include <cstring>

#include "device/usbhid.h"
#include "inprocess.h"
#include "support/recordingplatform.h"

namespace {

sim::Receiver &pen()
{
    return sim::inProcessReceiver();
}

QByteArray sentAt(int index)
{
    const auto &sent = pen().sentReports().at(static_cast<std::size_t>(index));
    return QByteArray(reinterpret_cast<const char *>(sent.data()), static_cast<int>(sent.size()));
}

// Records the order in which the twelve signals fire.
class SignalLog : public QObject
{
    Q_OBJECT

public:
    explicit SignalLog(usbhid *link)
    {
        const char *plain[] = { SIGNAL(setNormal()),  SIGNAL(setKeyOK()),    SIGNAL(setResetOK()),
                                SIGNAL(setData1()),   SIGNAL(setData2()),    SIGNAL(setLazer()),
                                SIGNAL(setMagnify()), SIGNAL(setSpotLight()), SIGNAL(setNormalUse()) };
        for (const char *signal : plain)
            connect(link, signal, this, SLOT(plainSignal()));
        connect(link, SIGNAL(open_Qy(int)), this, SLOT(sizedSignal(int)));
        connect(link, SIGNAL(open_Magnify(int)), this, SLOT(sizedSignal(int)));
        connect(link, SIGNAL(open_QyLight(int)), this, SLOT(sizedSignal(int)));
    }

    QStringList entries;

private slots:
    void plainSignal() { entries << signalName(); }
    void sizedSignal(int n) { entries << QStringLiteral("%1(%2)").arg(signalName()).arg(n); }

private:
    QString signalName() const
    {
        const QMetaMethod method = sender()->metaObject()->method(senderSignalIndex());
        return QString::fromLatin1(method.name());
    }
};

} // namespace

class TestUsbHid : public QObject
{
    Q_OBJECT

private:
    RecordingPlatform platform;

    void drain(usbhid &link)
    {
        unsigned char buffer[32] = {};
        while (link.readReport(buffer) > 0)
            std::memset(buffer, 0, sizeof buffer);
    }

private slots:
    void init()
    {
        pen().reset();
        platform.calls.clear();
    }

    void everyReportBecomesItsSignal_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<QStringList>("expected");
        auto row = [](const char *name, const char *hex, QStringList expected) {
            QTest::newRow(name) << QByteArray::fromHex(hex) << expected;
        };
        row("laser 5", "1234abcd0005", { "open_Qy(5)" });
        row("laser 255 stays positive", "1234abcd00ff", { "open_Qy(255)" });
        row("magnifier 0", "1234a1b10000", { "open_Magnify(0)" });
        row("spotlight 9", "1234a2b20009", { "open_QyLight(9)" });
        row("normal", "1234a0b0", { "setNormal" });
        row("normal notice", "1234a0b1", { "setNormalUse" });
        row("magnifier notice", "1234a1b2", { "setMagnify" });
        row("spotlight notice", "1234a2b3", { "setSpotLight" });
        row("laser notice", "1234aacc", { "setLazer" });
        row("written", "8899", { "setKeyOK" });
        row("reset", "6666", { "setResetOK" });
        row("block 1", "5501", { "setData1" });
        row("block 2", "5602", { "setData2" });
        row("a0 b2 is nothing", "1234a0b2", {});
        row("wrong second byte", "1235abcd0005", {});
        row("66 67 is nothing", "6667", {});
        row("88 98 is nothing", "8898", {});
    }

    void everyReportBecomesItsSignal()
    {
        QFETCH(QByteArray, report);
        QFETCH(QStringList, expected);
        usbhid link(nullptr, &platform);
        SignalLog log(&link);
        pen().inject(sim::Bytes(report.begin(), report.end()));
        drain(link);
        QCOMPARE(log.entries, expected);
    }

    void queuedReportsArriveInOrderWithinOneTick()
    {
        usbhid link(nullptr, &platform);
        SignalLog log(&link);
        pen().pressNotice(sim::Mode::Magnifier);
        pen().pressMode(sim::Mode::Magnifier, 4);
        pen().pressMode(sim::Mode::Normal, 0);

        // What has arrived by the time control is back in the event loop
        // after the first signal: everything, if one tick drained the queue.
        int seenAfterFirstTick = -1;
        QMetaObject::Connection first = connect(&link, &usbhid::setMagnify, this, [&] {
            QTimer::singleShot(0, this, [&] { seenAfterFirstTick = log.entries.size(); });
        });
        QTRY_VERIFY_WITH_TIMEOUT(seenAfterFirstTick >= 0, 5000);
        disconnect(first);
        QCOMPARE(seenAfterFirstTick, 3);
        QCOMPARE(log.entries, QStringList({ "setMagnify", "open_Magnify(4)", "setNormal" }));
    }

    void blockIsCopiedBeforeItsSignal()
    {
        usbhid link(nullptr, &platform);
        QByteArray seenInSlot;
        connect(&link, &usbhid::setData1, this,
                [&] { seenInSlot = QByteArray(reinterpret_cast<const char *>(link.data1), 32); });
        QByteArray block = QByteArray::fromHex("5501020304");
        block.append(QByteArray(32 - block.size(), '\x07'));
        pen().inject(sim::Bytes(block.begin(), block.end()));
        drain(link);
        QCOMPARE(seenInSlot, block);
    }

    void writesAreFramedAsOutputReports()
    {
        usbhid link(nullptr, &platform);
        const auto request = protocol::readBackRequest();
        QCOMPARE(link.writeReport(request.data()), 33);
        QCOMPARE(int(pen().sentReports().size()), 1);
        QCOMPARE(sentAt(0), QByteArray::fromHex("007070") + QByteArray(30, '\0'));
        // The receiver answers a read-back with its two blocks.
        SignalLog log(&link);
        drain(link);
        QCOMPARE(log.entries, QStringList({ "setData1", "setData2" }));
        const sim::Image stored = pen().mapping();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(link.data2), 32),
                 QByteArray(reinterpret_cast<const char *>(stored.data() + 32), 32));
    }

    void pairFailsUnlessBothReportsWentOut()
    {
        usbhid link(nullptr, &platform);
        protocol::Image image = protocol::blankImage();
        image[3] = 0x4E;
        protocol::storeChecksums(image);
        const auto pair = protocol::mappingWrite(image);

        QCOMPARE(link.writeReportPair(pair.data()), 33);
        QCOMPARE(int(pen().sentReports().size()), 2);

        // The first report is lost: the second still goes out, and the
        // write as a whole is a failure.
        pen().clearSent();
        pen().failNextWrites(1);
        QCOMPARE(link.writeReportPair(pair.data()), -1);
        QCOMPARE(int(pen().sentReports().size()), 1);
        QCOMPARE(sentAt(0), QByteArray(reinterpret_cast<const char *>(pair.data()) + 33, 33));

        // Only the second lost.
        pen().clearSent();
        pen().failNextWrites(0);
        QCOMPARE(link.writeReportPair(pair.data()), 33);
    }

    void nothingIsSentWithoutAReceiver()
    {
        pen().unplug();
        usbhid link(nullptr, &platform);
        const auto request = protocol::readBackRequest();
        QCOMPARE(link.writeReport(request.data()), -1);
        QByteArray pair(66, '\0');
        QCOMPARE(link.writeReportPair(reinterpret_cast<const unsigned char *>(pair.constData())), -1);
        unsigned char buffer[32] = {};
        QCOMPARE(link.readReport(buffer), -1);
        QVERIFY(pen().sentReports().empty());
        QCOMPARE(pen().openAttempts(), 0);
        QVERIFY(!usbhid::isPresent());
    }

    void unplugClosesAndPlugReopens()
    {
        usbhid link(nullptr, &platform);
        QTRY_VERIFY_WITH_TIMEOUT(link.isOpen(), 5000);
        QCOMPARE(platform.callsStartingWith("settle").size(), 1);

        pen().unplug();
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(!link.isOpen(), 5000);
        // The watch runs every 200 ms; allow for a slow machine's timers.
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));

        // While it is away, a read finds nothing to open.
        unsigned char buffer[32] = {};
        QCOMPARE(link.readReport(buffer), -1);
        pen().plug();
        QTRY_VERIFY_WITH_TIMEOUT(link.isOpen(), 5000);
        // A fresh arrival gets its settle pause again.
        QCOMPARE(platform.callsStartingWith("settle").size(), 2);

        SignalLog log(&link);
        pen().pressMode(sim::Mode::Laser, 2);
        QTRY_COMPARE_WITH_TIMEOUT(log.entries, QStringList({ "open_Qy(2)" }), 5000);
    }

    void quickReplugIsNotLeftWithADeadHandle()
    {
        usbhid link(nullptr, &platform);
        QTRY_VERIFY_WITH_TIMEOUT(link.isOpen(), 5000);
        // Out and back in before the watch could see it gone.
        pen().unplug();
        pen().plug();
        SignalLog log(&link);
        pen().pressMode(sim::Mode::Spotlight, 7);
        QTRY_COMPARE_WITH_TIMEOUT(log.entries, QStringList({ "open_QyLight(7)" }), 5000);
        const auto request = protocol::readBackRequest();
        QCOMPARE(link.writeReport(request.data()), 33);
    }

    void onlyTheTrafficInterfaceIsOpened()
    {
        usbhid link(nullptr, &platform);
        QTRY_VERIFY_WITH_TIMEOUT(link.isOpen(), 5000);
        // One attempt: the first matching interface opened, the walk stopped.
        QCOMPARE(pen().openAttempts(), 1);
        const auto request = protocol::resetCommand();
        QCOMPARE(link.writeReport(request.data()), 33);
        QCOMPARE(sentAt(0), QByteArray::fromHex("006060") + QByteArray(30, '\0'));
    }

    void unopenableReceiverIsRetriedSparingly()
    {
        // A receiver that is there but cannot be opened (no permission, held
        // by another program) must not be hammered, and must not hold up
        // the program's own timers.
        pen().setOpenable(false);
        platform.settleMilliseconds = 600;
        usbhid link(nullptr, &platform);

        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 worstGap = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this, [&] {
            const qint64 now = clock.elapsed();
            if (pen().openAttempts() > 0 && last > 0)
                worstGap = qMax(worstGap, now - last);
            last = now;
        });
        heartbeat.start(20);
        while (clock.elapsed() < 6000)
            QTest::qWait(50);

        QVERIFY2(pen().openAttempts() >= 1, "never tried to open");
        QVERIFY2(pen().openAttempts() <= 4, qPrintable(QString::number(pen().openAttempts())));
        // Each blocked attempt used to cost a 600 ms pause; half of that
        // still leaves room for a loaded machine.
        QVERIFY2(worstGap < 300, qPrintable(QString::number(worstGap)));
        QCOMPARE(platform.callsStartingWith("settle").size(), 1);
        QVERIFY(!link.isOpen());
        platform.settleMilliseconds = 0;

        // Once it becomes openable and reappears, it is opened at once.
        pen().setOpenable(true);
        pen().unplug();
        QTest::qWait(300);
        pen().plug();
        QTRY_VERIFY_WITH_TIMEOUT(link.isOpen(), 5000);
    }
};

QTEST_GUILESS_MAIN(TestUsbHid)
#include "test_usbhid.moc"
