// The receiver link against the simulated receiver in process: each report
// becomes its signal on the link's thread, in order; the receiver's answers
// to commands; plugging, unplugging, and receivers that cannot be opened.
#include <QtTest>

#include <QElapsedTimer>
#include <QSignalSpy>

#include <thread>

#include "core/usbhid.h"
#include "inprocess.h"
#include "support/linkpump.h"
#include "support/recordingplatform.h"

// Every signal of the link in the order they fire, sized ones with their size.
class SignalLog : public QObject
{
    Q_OBJECT

public:
    explicit SignalLog(usbhid *link)
    {
        // The twelve signals of the receiver's reports come first.
        const QMetaObject *meta = link->metaObject();
        for (int i = meta->methodOffset(), reports = 0; i < meta->methodCount() && reports < 12; ++i)
            if (meta->method(i).methodType() == QMetaMethod::Signal && ++reports)
                connect(link, meta->method(i), this,
                    metaObject()->method(metaObject()->indexOfSlot(
                        meta->method(i).parameterCount() ? "sized(int)" : "plain()")));
    }

    QStringList entries;

private slots:
    void plain() { entries << name(); }
    void sized(int n) { entries << QStringLiteral("%1(%2)").arg(name()).arg(n); }

private:
    QString name() const { return sender()->metaObject()->method(senderSignalIndex()).name(); }
};

class TestLink : public QObject
{
    Q_OBJECT

    RecordingPlatform platform;

    static sim::Receiver &pen() { return sim::inProcessReceiver(); }
    static QByteArray bytes(const void *data, int n)
    {
        return QByteArray(static_cast<const char *>(data), n);
    }
    static QByteArray hex(const char *text) { return QByteArray::fromHex(text); }
    static QByteArray report(const char *text) { return hex(text).leftJustified(33, '\0'); }
    static void drain(usbhid &link)
    {
        QVERIFY(testsupport::waitOpen(&link));
        testsupport::deliverPending(&link);
    }
    // A key on each block, sealed by hand so that a wrong sum in the receiver
    // cannot agree with itself.
    static QByteArray customImage()
    {
        return hex("5500004e").leftJustified(31, '\0') + hex("a356").leftJustified(13, '\0')
            + hex("04").leftJustified(19, '\0') + hex("5a");
    }

private slots:
    void initTestCase() { usbhid::setSettleDelay(std::chrono::milliseconds(0)); }
    void init()
    {
        pen().reset();
        platform.calls.clear();
        platform.denyOpens = false;
    }

    void everyReportBecomesItsSignal_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<QString>("signal");
        QTest::newRow("near miss") << hex("1235abcd0005") << QString();
        QTest::newRow("laser") << hex("1234abcd0005") << "open_Qy(5)";
        QTest::newRow("magnifier") << hex("1234a1b10080") << "open_Magnify(128)";
        QTest::newRow("spotlight") << hex("1234a2b200ff") << "open_QyLight(255)";
        QTest::newRow("normal") << hex("1234a0b0") << "setNormal";
        QTest::newRow("normal notice") << hex("1234a0b1") << "setNormalUse";
        QTest::newRow("magnifier notice") << hex("1234a1b2") << "setMagnify";
        QTest::newRow("spotlight notice") << hex("1234a2b3") << "setSpotLight";
        QTest::newRow("laser notice") << hex("1234aacc") << "setLazer";
        QTest::newRow("written") << hex("8899") << "setKeyOK";
        QTest::newRow("reset") << hex("6666") << "setResetOK";
        QTest::newRow("block 1") << hex("5501") << "setData1";
        QTest::newRow("block 2") << hex("56") << "setData2";
    }

    void everyReportBecomesItsSignal()
    {
        QFETCH(QByteArray, report);
        QFETCH(QString, signal);
        usbhid link(nullptr, &platform);
        SignalLog log(&link);
        pen().inject(sim::Bytes(report.begin(), report.end()));
        drain(link);
        QCOMPARE(log.entries, signal.isEmpty() ? QStringList() : QStringList(signal));
    }

    // Reports that come faster than they are handled: of the modes only the
    // newest is followed, the rest keep their order up to a bound, and each
    // becomes its signal on the link's own thread.
    void waitingReportsAreBounded()
    {
        usbhid link(nullptr, &platform);
        SignalLog log(&link);
        QSet<QThread *> threads;
        connect(&link, &usbhid::setMagnify, this, [&] { threads << QThread::currentThread(); });
        connect(&link, &usbhid::open_QyLight, this, [&] { threads << QThread::currentThread(); });
        QVERIFY(testsupport::waitOpen(&link));
        QStringList expected { "setMagnify" };
        pen().pressNotice(sim::Mode::Magnifier);
        for (int i = 0; i < 3 * usbhid::kMostWaitingReports; ++i) {
            pen().pressMode(i % 2 ? sim::Mode::Laser : sim::Mode::Normal, std::uint8_t(i));
            pen().pressNotice(i % 2 ? sim::Mode::Laser : sim::Mode::Normal);
            if (expected.size() < usbhid::kMostWaitingReports)
                expected << (i % 2 ? "setLazer" : "setNormalUse");
        }
        pen().pressMode(sim::Mode::Spotlight, 9);
        // The link's thread handles nothing until the reader has taken them all.
        QElapsedTimer clock;
        clock.start();
        while (!(pen().pendingInput() == 0 && pen().waitingReads() > 0) && clock.elapsed() < 5000)
            std::this_thread::yield();
        drain(link);
        QCOMPARE(log.entries, expected << "open_QyLight(9)");
        QCOMPARE(threads, QSet<QThread *> { QThread::currentThread() });

        // Then, as they come, each one.
        pen().pressMode(sim::Mode::Magnifier, 4);
        drain(link);
        pen().pressMode(sim::Mode::Normal, 0);
        drain(link);
        QCOMPARE(log.entries.mid(expected.size()), (QStringList { "open_Magnify(4)", "setNormal" }));
    }

    // What the receiver answers to each command, and what it then holds.
    void commands_data()
    {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<bool>("firstLost");
        QTest::addColumn<QStringList>("answer");
        QTest::addColumn<QByteArray>("storedAfter");
        const sim::Image factoryImage = sim::Receiver::factoryMapping();
        const QByteArray factory = bytes(factoryImage.data(), 64), custom = customImage();
        const QByteArray pair = factory.left(32).prepend('\0') + factory.mid(32).prepend('\0');
        QTest::newRow("read-back") << report("007070") << false << QStringList { "setData1", "setData2" }
                                   << custom;
        QTest::newRow("mapping write") << pair << false << QStringList { "setKeyOK" } << factory;
        // A lost first report must not pass for a stored mapping.
        QTest::newRow("mapping write, first report lost")
            << pair << true << QStringList { "setKeyOK" } << custom.left(32) + factory.mid(32);
        QTest::newRow("reset") << report("006060") << false << QStringList { "setResetOK" } << factory;
        QTest::newRow("half a command") << report("007071") << false << QStringList() << custom;
    }

    void commands()
    {
        QFETCH(QByteArray, written);
        QFETCH(bool, firstLost);
        QFETCH(QStringList, answer);
        QFETCH(QByteArray, storedAfter);
        pen().setMapping(*reinterpret_cast<const sim::Image *>(customImage().constData()));
        pen().failNextWrites(firstLost ? 1 : 0);
        usbhid link(nullptr, &platform);
        QVERIFY(testsupport::waitOpen(&link));
        const auto *data = reinterpret_cast<const unsigned char *>(written.constData());
        QCOMPARE(
            written.size() == 66 ? link.writeReportPair(data) : link.writeReport(data), firstLost ? -1 : 33);
        // The second report goes out even when the first is lost.
        QByteArray sent;
        for (const sim::Bytes &report : pen().sentReports())
            sent += bytes(report.data(), int(report.size()));
        QCOMPARE(sent, firstLost ? written.mid(33) : written);

        // A slot reads a block when its signal comes, so it must be in place.
        QByteArray blocksInSlots;
        connect(&link, &usbhid::setData1, this, [&] { blocksInSlots += bytes(link.data1, 32); });
        connect(&link, &usbhid::setData2, this, [&] { blocksInSlots += bytes(link.data2, 32); });
        SignalLog log(&link);
        drain(link);
        QCOMPARE(log.entries, answer);
        QCOMPARE(blocksInSlots, answer.contains("setData1") ? storedAfter : QByteArray());
        QCOMPARE(bytes(pen().mapping().data(), 64), storedAfter);
    }

    void unplugClosesAndPlugReopens()
    {
        usbhid link(nullptr, &platform);
        SignalLog log(&link);
        QSignalSpy presence(&link, &usbhid::presenceChanged);
        QSignalSpy arrivals(&link, &usbhid::arrived);
        QVERIFY(link.present());
        QVERIFY(testsupport::waitOpen(&link));
        QCOMPARE(arrivals.size(), 1);
        // A handle to read with and one to write with, on the first interface that opens.
        QCOMPARE(pen().openAttempts(), 2);
        pen().unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!link.isOpen(), 5000);
        // Both handles let go of, the reader's by its own thread.
        QTRY_COMPARE_WITH_TIMEOUT(pen().openHandles(), std::size_t(0), 5000);
        QCOMPARE(presence.size(), 1);
        QCOMPARE(presence.at(0).at(0).toBool(), false);
        // While it is away, nothing is sent and nothing opened.
        unsigned char buffer[66] = {};
        QCOMPARE(link.writeReport(buffer), -1);
        QCOMPARE(link.writeReportPair(buffer), -1);
        QCOMPARE(pen().openAttempts(), 2);
        pen().plug();
        QTRY_VERIFY_WITH_TIMEOUT(link.isOpen(), 5000);
        QCOMPARE(presence.size(), 2);
        QCOMPARE(arrivals.size(), 2);
        // Out and back in before anyone looked: the dead handle fails its
        // read, and the receiver back in its place is a new arrival.
        pen().unplug();
        pen().plug();
        QTRY_COMPARE_WITH_TIMEOUT(arrivals.size(), 3, 5000);
        pen().pressMode(sim::Mode::Spotlight, 7);
        QTRY_COMPARE_WITH_TIMEOUT(log.entries, QStringList({ "open_QyLight(7)" }), 5000);
    }

    void unopenableReceiverIsRetriedSparingly()
    {
        // Present but not openable (held elsewhere): neither hammered nor
        // allowed to hold up the program's own timers.
        pen().setOpenable(false);
        usbhid::setSettleDelay(std::chrono::milliseconds(600));
        usbhid link(nullptr, &platform);
        usbhid::setSettleDelay(std::chrono::milliseconds(0));
        QSignalSpy arrivals(&link, &usbhid::arrived);
        QSignalSpy denials(&link, &usbhid::openDenied);
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, worstGap = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this, [&] {
            if (last > 0)
                worstGap = qMax(worstGap, clock.elapsed() - last);
            last = clock.elapsed();
        });
        heartbeat.start(20);
        while (clock.elapsed() < 6000)
            QTest::qWait(50);
        QVERIFY2(pen().openAttempts() >= 1, "never tried to open");
        QVERIFY2(pen().openAttempts() <= 4, qPrintable(QString::number(pen().openAttempts())));
        // A settle pause or an attempt that blocked the thread would leave a
        // gap of 600 ms; the bound leaves room for a loaded machine.
        qInfo("worst gap between 20 ms heartbeats: %lld ms", worstGap);
        QVERIFY2(worstGap < 300, qPrintable(QString::number(worstGap)));
        QCOMPARE(arrivals.size(), 1);
        QCOMPARE(denials.size(), 0);
        QVERIFY(!link.isOpen() && link.present());
        // Made openable, as when a rule is installed and applied: the system
        // reports the change and the receiver is opened at once.
        pen().setOpenable(true);
        QTRY_VERIFY_WITH_TIMEOUT(link.isOpen(), 500);
        QCOMPARE(arrivals.size(), 2);
    }

    void deniedReceiverWaitsForTheSystem()
    {
        // Not the user's to open: said once, and not asked again until the
        // system changes the node.
        pen().setOpenable(false);
        platform.denyOpens = true;
        usbhid link(nullptr, &platform);
        QSignalSpy denials(&link, &usbhid::openDenied);
        QTRY_COMPARE_WITH_TIMEOUT(denials.size(), 1, 5000);
        const int attempts = pen().openAttempts();
        QTest::qWait(2500);
        QCOMPARE(pen().openAttempts(), attempts);
        QCOMPARE(denials.size(), 1);
        platform.denyOpens = false;
        pen().setOpenable(true);
        QTRY_VERIFY_WITH_TIMEOUT(link.isOpen(), 500);
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
