// The device link against the simulated receiver in process: every report
// classified and turned into its signal, writes, unplugging, and a receiver
// that cannot be opened.
#include <QtTest>

#include <QElapsedTimer>

#include <cstring>

#include "device/usbhid.h"
#include "inprocess.h"
#include "support/recordingplatform.h"

using protocol::Report;
Q_DECLARE_METATYPE(protocol::Report)

namespace {

sim::Receiver &pen()
{
    return sim::inProcessReceiver();
}

QByteArray bytes(const unsigned char *data, int size)
{
    return QByteArray(reinterpret_cast<const char *>(data), size);
}

QByteArray sentAt(int index)
{
    const sim::Bytes &sent = pen().sentReports().at(std::size_t(index));
    return bytes(sent.data(), int(sent.size()));
}

// The link's signals in the order they fire, sized ones with their size.
class SignalLog : public QObject
{
    Q_OBJECT

public:
    explicit SignalLog(usbhid *link)
    {
        for (const char *signal : { SIGNAL(setNormal()), SIGNAL(setKeyOK()), SIGNAL(setResetOK()),
                 SIGNAL(setData1()), SIGNAL(setData2()), SIGNAL(setLazer()), SIGNAL(setMagnify()),
                 SIGNAL(setSpotLight()), SIGNAL(setNormalUse()) })
            connect(link, signal, this, SLOT(plain()));
        for (const char *signal :
            { SIGNAL(open_Qy(int)), SIGNAL(open_Magnify(int)), SIGNAL(open_QyLight(int)) })
            connect(link, signal, this, SLOT(sized(int)));
    }

    QStringList entries;

private slots:
    void plain() { entries << name(); }
    void sized(int n) { entries << QStringLiteral("%1(%2)").arg(name()).arg(n); }

private:
    QString name() const { return sender()->metaObject()->method(senderSignalIndex()).name(); }
};

void drain(usbhid &link)
{
    unsigned char buffer[32] = {};
    while (link.readReport(buffer) > 0)
        std::memset(buffer, 0, sizeof buffer);
}

} // namespace

class TestUsbHid : public QObject
{
    Q_OBJECT

private:
    RecordingPlatform platform;

private slots:
    void init()
    {
        pen().reset();
        platform.calls.clear();
    }

    void everyReportBecomesItsSignal_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<Report>("kind");
        QTest::addColumn<QString>("signal");
        auto row = [](const char *name, const char *hex, Report kind, const char *signal) {
            QTest::newRow(name) << QByteArray::fromHex(hex) << kind << QString(signal);
        };
        // Near misses: one byte off from a real report.
        for (const char *miss : { "", "1235abcd0005", "1234a0b2", "1234abcc", "1234aacd", "1234", "6667",
                 "8898", "9988", "54", "57", "0055" })
            row(*miss ? miss : "empty", miss, Report::Unknown, "");
        row("laser 5", "1234abcd0005", Report::ModeLaser, "open_Qy(5)");
        row("byte 4 is not looked at", "1234abcdff05", Report::ModeLaser, "open_Qy(5)");
        row("short mode report, size 0", "1234abcd", Report::ModeLaser, "open_Qy(0)");
        row("magnifier 128 is not -128", "1234a1b10080", Report::ModeMagnifier, "open_Magnify(128)");
        row("spotlight 255 is not -1", "1234a2b200ff", Report::ModeSpotlight, "open_QyLight(255)");
        row("normal", "1234a0b0", Report::ModeNormal, "setNormal");
        row("normal notice", "1234a0b1", Report::NoticeNormal, "setNormalUse");
        row("magnifier notice", "1234a1b2", Report::NoticeMagnifier, "setMagnify");
        row("spotlight notice", "1234a2b3", Report::NoticeSpotlight, "setSpotLight");
        row("laser notice", "1234aacc", Report::NoticeLaser, "setLazer");
        row("written, trailing bytes", "8899ffff", Report::KeyOk, "setKeyOK");
        row("reset", "6666", Report::ResetOk, "setResetOK");
        row("block 1, any second byte", "5501", Report::Block1, "setData1");
        row("block 2", "56", Report::Block2, "setData2");
    }

    void everyReportBecomesItsSignal()
    {
        QFETCH(QByteArray, report);
        QFETCH(Report, kind);
        QFETCH(QString, signal);
        QCOMPARE(protocol::classify(
                     reinterpret_cast<const std::uint8_t *>(report.constData()), std::size_t(report.size())),
            kind);
        usbhid link(nullptr, &platform);
        SignalLog log(&link);
        pen().inject(sim::Bytes(report.begin(), report.end()));
        drain(link);
        QCOMPARE(log.entries, signal.isEmpty() ? QStringList() : QStringList(signal));
    }

    void queuedReportsArriveInOrderWithinOneTick()
    {
        usbhid link(nullptr, &platform);
        SignalLog log(&link);
        pen().pressNotice(sim::Mode::Magnifier);
        pen().pressMode(sim::Mode::Magnifier, 4);
        pen().pressMode(sim::Mode::Normal, 0);

        // Back in the event loop after the first signal, one tick has
        // drained the queue if all three are there.
        int seenAfterFirstTick = -1;
        connect(&link, &usbhid::setMagnify, this,
            [&] { QTimer::singleShot(0, this, [&] { seenAfterFirstTick = log.entries.size(); }); });
        QTRY_VERIFY_WITH_TIMEOUT(seenAfterFirstTick >= 0, 5000);
        QCOMPARE(seenAfterFirstTick, 3);
        QCOMPARE(log.entries, QStringList({ "setMagnify", "open_Magnify(4)", "setNormal" }));
    }

    void readBackAnswerReachesTheSlots()
    {
        usbhid link(nullptr, &platform);
        QCOMPARE(link.writeReport(protocol::readBackRequest().data()), 33);
        QCOMPARE(sentAt(0), QByteArray::fromHex("007070") + QByteArray(30, '\0'));

        // A slot reads the block when its signal comes, so it must be in place.
        QByteArray block1InSlot;
        connect(&link, &usbhid::setData1, this, [&] { block1InSlot = bytes(link.data1, 32); });
        SignalLog log(&link);
        drain(link);
        QCOMPARE(log.entries, QStringList({ "setData1", "setData2" }));
        const sim::Image stored = pen().mapping();
        QCOMPARE(block1InSlot, bytes(stored.data(), 32));
        QCOMPARE(bytes(link.data2, 32), bytes(stored.data() + 32, 32));
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

        // The first report lost: the second still goes out, and the write as
        // a whole fails, so nobody takes the image for stored.
        pen().clearSent();
        pen().failNextWrites(1);
        QCOMPARE(link.writeReportPair(pair.data()), -1);
        QCOMPARE(int(pen().sentReports().size()), 1);
        QCOMPARE(sentAt(0), bytes(pair.data() + 33, 33));
    }

    void nothingIsSentWithoutAReceiver()
    {
        pen().unplug();
        usbhid link(nullptr, &platform);
        unsigned char buffer[66] = {};
        QCOMPARE(link.writeReport(buffer), -1);
        QCOMPARE(link.writeReportPair(buffer), -1);
        QCOMPARE(link.readReport(buffer), -1);
        QCOMPARE(pen().openAttempts(), 0);
    }

    void unplugClosesAndPlugReopens()
    {
        usbhid link(nullptr, &platform);
        SignalLog log(&link);
        QTRY_VERIFY_WITH_TIMEOUT(link.isOpen(), 5000);
        // The walk stops at the first interface that opens.
        QCOMPARE(pen().openAttempts(), 1);

        pen().unplug();
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(!link.isOpen(), 5000);
        // The watch runs every 200 ms; allow for a slow machine's timers.
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(platform.callsStartingWith("settle").size(), 1);
        // While it is away, a read finds nothing to open.
        unsigned char buffer[32] = {};
        QCOMPARE(link.readReport(buffer), -1);
        pen().plug();
        QTRY_VERIFY_WITH_TIMEOUT(link.isOpen(), 5000);
        // A fresh arrival gets its settle pause again.
        QCOMPARE(platform.callsStartingWith("settle").size(), 2);

        // Out and back in before the watch could see it gone: the read error
        // on the dead handle must close it, or it stays dead for good.
        pen().unplug();
        pen().plug();
        pen().pressMode(sim::Mode::Spotlight, 7);
        QTRY_COMPARE_WITH_TIMEOUT(log.entries, QStringList({ "open_QyLight(7)" }), 5000);
    }

    void unopenableReceiverIsRetriedSparingly()
    {
        // Present but not openable (no permission, held elsewhere): neither
        // hammered nor allowed to hold up the program's own timers.
        pen().setOpenable(false);
        platform.settleMilliseconds = 600;
        usbhid link(nullptr, &platform);

        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, worstGap = 0;
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
        // A blocked attempt used to cost 600 ms; half of that leaves room
        // for a loaded machine.
        QVERIFY2(worstGap < 300, qPrintable(QString::number(worstGap)));
        QCOMPARE(platform.callsStartingWith("settle").size(), 1);
        QVERIFY(!link.isOpen());
        platform.settleMilliseconds = 0;

        // Openable again and replugged, it is opened at once.
        pen().setOpenable(true);
        pen().unplug();
        QTest::qWait(300);
        pen().plug();
        QTRY_VERIFY_WITH_TIMEOUT(link.isOpen(), 5000);
    }
};

QTEST_GUILESS_MAIN(TestUsbHid)
#include "test_usbhid.moc"
