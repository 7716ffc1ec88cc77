// The receiver link against the simulated receiver in process: reports
// become their signals on the link's thread, in order and bounded; plugging,
// unplugging, and receivers that cannot be opened.
#include <QtTest>

#include <QElapsedTimer>
#include <QSignalSpy>

#include <thread>

#include "core/usbhid.h"
#include "inprocess.h"
#include "support/linkpump.h"
#include "support/recordingplatform.h"

class TestLink : public QObject
{
    Q_OBJECT

    RecordingPlatform platform;
    // What the link told of the receiver's reports, in order, and on which threads.
    QStringList log;
    QSet<QThread *> threads;

    void listen(usbhid &link)
    {
        const auto note = [this](const QString &entry) {
            log << entry;
            threads << QThread::currentThread();
        };
        connect(&link, &usbhid::setMagnify, this, [=] { note("magnifier notice"); });
        connect(&link, &usbhid::setLazer, this, [=] { note("laser notice"); });
        connect(&link, &usbhid::setNormalUse, this, [=] { note("normal notice"); });
        connect(&link, &usbhid::modeReported, this, [=](int mode, int size) {
            note(QString("%1 %2")
                     .arg(QStringList { "normal", "magnifier", "spotlight", "laser" }.value(mode))
                     .arg(size));
        });
    }

    static sim::Receiver &pen() { return sim::inProcessReceiver(); }
    static void drain(usbhid &link)
    {
        QVERIFY(testsupport::waitOpen(&link));
        testsupport::deliverPending(&link);
    }

private slots:
    void initTestCase() { usbhid::setSettleDelay(std::chrono::milliseconds(0)); }
    void init()
    {
        pen().reset();
        platform.calls.clear();
        platform.denyOpens = false;
        log.clear();
        threads.clear();
    }

    // Reports that come faster than they are handled: of the modes only the
    // newest is followed, the rest keep their order up to a bound, and each
    // becomes its signal on the link's own thread.
    void waitingReportsAreBounded()
    {
        usbhid link(nullptr, &platform);
        listen(link);
        QVERIFY(testsupport::waitOpen(&link));
        QStringList expected { "magnifier notice" };
        pen().pressNotice(sim::Mode::Magnifier);
        for (int i = 0; i < 3 * usbhid::kMostWaitingReports; ++i) {
            pen().pressMode(i % 2 ? sim::Mode::Laser : sim::Mode::Normal, std::uint8_t(i));
            pen().pressNotice(i % 2 ? sim::Mode::Laser : sim::Mode::Normal);
            if (expected.size() < usbhid::kMostWaitingReports)
                expected << (i % 2 ? "laser notice" : "normal notice");
        }
        pen().pressMode(sim::Mode::Spotlight, 9);
        // The link's thread handles nothing until the reader has taken them all.
        QElapsedTimer clock;
        clock.start();
        while (!(pen().pendingInput() == 0 && pen().waitingReads() > 0) && clock.elapsed() < 5000)
            std::this_thread::yield();
        drain(link);
        QCOMPARE(log, expected << "spotlight 9");
        QCOMPARE(threads, QSet<QThread *> { QThread::currentThread() });

        // Then, as they come, each one.
        pen().pressMode(sim::Mode::Magnifier, 4);
        drain(link);
        pen().pressMode(sim::Mode::Normal, 0);
        drain(link);
        QCOMPARE(log.mid(expected.size()), (QStringList { "magnifier 4", "normal 0" }));
    }

    void unplugClosesAndPlugReopens()
    {
        usbhid link(nullptr, &platform);
        listen(link);
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
        QTRY_COMPARE_WITH_TIMEOUT(log, QStringList({ "spotlight 7" }), 5000);
    }

    void unopenableReceiver_data()
    {
        QTest::addColumn<bool>("denied");
        // Held elsewhere: tried again now and then, but not hammered.
        QTest::newRow("held elsewhere") << false;
        // Not the user's to open: said once, and not tried again until the
        // system changes the node.
        QTest::newRow("not the user's") << true;
    }

    void unopenableReceiver()
    {
        QFETCH(bool, denied);
        pen().setOpenable(false);
        platform.denyOpens = denied;
        usbhid link(nullptr, &platform);
        QSignalSpy arrivals(&link, &usbhid::arrived);
        QSignalSpy denials(&link, &usbhid::openDenied);
        QTRY_COMPARE_WITH_TIMEOUT(arrivals.size(), 1, 5000);
        const int firstAttempts = pen().openAttempts();
        QTest::qWait(6000);
        QVERIFY2(pen().openAttempts() <= (denied ? firstAttempts : 4),
            qPrintable(QString::number(pen().openAttempts())));
        QCOMPARE(denials.size(), denied ? 1 : 0);
        QVERIFY(!link.isOpen() && link.present());
        // Made openable, as when a rule is installed and applied: the system
        // reports the change and the receiver is opened at once.
        platform.denyOpens = false;
        pen().setOpenable(true);
        QTRY_VERIFY_WITH_TIMEOUT(link.isOpen(), 5000);
        QCOMPARE(arrivals.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
