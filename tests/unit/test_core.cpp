// The program without its windows, through the core's own interface: the key
// mapping read back, written and reset against the simulated receiver, the
// modes switched with a platform that records what it is asked, the segments
// the effect programs read, and a session's start and finish.
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>

#include "core/keymapping.h"
#include "core/modeswitcher.h"
#include "core/session.h"
#include "core/sizesegment.h"
#include "core/usbhid.h"
#include "inprocess.h"
#include "platform/privatefolder.h"
#include "support/ipcsandbox.h"
#include "support/linkpump.h"
#include "support/recordingplatform.h"

namespace {

sim::Receiver &pen()
{
    return sim::inProcessReceiver();
}

QByteArray bytes(const protocol::Image &image)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()), int(image.size()));
}

// The bytes of the 48 slots of an image, in slot order.
QByteArray slotBytes(const QByteArray &image)
{
    QByteArray codes;
    for (int slot = 0; slot < protocol::kSlotCount; ++slot)
        codes += image[protocol::slotImageIndex(slot)];
    return codes;
}

QList<QByteArray> sentReports()
{
    QList<QByteArray> sent;
    for (const sim::Bytes &report : pen().sentReports())
        sent << QByteArray(reinterpret_cast<const char *>(report.data()), int(report.size()));
    return sent;
}

// The level an effect program reads: a little-endian integer at byte 0.
qint32 level(const QString &key)
{
    const QByteArray segment = readSegment(key);
    return segment.size() < 4 ? -1 : qFromLittleEndian<qint32>(segment.constData());
}

} // namespace

class TestCore : public QObject
{
    Q_OBJECT

    IpcSandbox sandbox;
    RecordingPlatform platform;
    QTemporaryDir sizesFolder;
    std::unique_ptr<Session> session;

    settings::Location sizesFile() const { return settings::inFolder(sizesFolder.path()); }

    KeyMapping &mapping() { return session->mapping(); }
    ModeSwitcher &modes() { return session->modes(); }
    // Opened, read back and answered: the editor holds what the receiver holds.
    void startSession()
    {
        session = std::make_unique<Session>(&platform, sizesFile());
        QVERIFY(testsupport::waitOpen(&session->link()));
        deliver();
        pen().clearSent();
        platform.calls.clear();
    }
    void deliver() { testsupport::deliverPending(&session->link()); }

    // "laser 7", "magnifier 0", "spotlight 5", "normal", or for an effect
    // program "ended Dotrix" (by itself) and "fails Dotrix" (to start).
    void fire(const QString &event)
    {
        const QString what = event.section(' ', 0, 0), arg = event.section(' ', 1);
        if (what == "ended" || what == "fails") {
            platform.running.remove(arg);
            if (what == "fails")
                platform.unstartable.insert(arg);
            return;
        }
        static const QMap<QString, int> modeOf { { "laser", ModeSwitcher::LaserMode },
            { "magnifier", ModeSwitcher::MagnifierMode }, { "spotlight", ModeSwitcher::SpotlightMode } };
        if (what == "normal")
            modes().normal();
        else
            modes().enter(modeOf.value(what), arg.toInt());
    }

private slots:
    void initTestCase() { usbhid::setSettleDelay(std::chrono::milliseconds(0)); }
    void init()
    {
        QFile::remove(sizesFile().writeTo);
        pen().reset();
        platform = RecordingPlatform();
    }
    void cleanup()
    {
        session.reset();
        usbhid::setSettleDelay(std::chrono::milliseconds(0));
        // Each case meets segments of its own making only.
        for (const char *key : { segment::kDotrixKey, segment::kLoupexKey, segment::kHalvixKey })
            QFile::remove(QFile::decodeName(platform::privateFolder().c_str()) + '/' + key);
    }

    // Read back at the start, written edited, reset: the editor and the
    // receiver hold the same mapping after each.
    void mappingReadBackWrittenAndReset()
    {
        // Every slot a different code, one the program has no name for, and
        // bytes the receiver keeps to itself outside the slots.
        QByteArray held = QByteArray::fromHex("55").leftJustified(32, '\0')
            + QByteArray::fromHex("56").leftJustified(32, '\0');
        for (int slot = 0; slot < 48; ++slot)
            held[protocol::slotImageIndex(slot)] = char(0x04 + slot);
        held[protocol::slotImageIndex(5)] = char(0x5A);
        const int gaps[] = { 1, 11, 20, 30, 33, 43, 52, 62 };
        for (int gap : gaps)
            held[gap] = char(0xA5);
        pen().setMapping(*reinterpret_cast<const sim::Image *>(held.constData()));
        held = bytes(pen().mapping());
        startSession();
        QCOMPARE(slotBytes(bytes(mapping().image())), slotBytes(held));
        QCOMPARE(bytes(mapping().saved()), held);

        // Written back with two keys changed: the program's own image, its
        // markers, the slots (0x5A as it came), zeros and both checksums.
        QSignalSpy written(&mapping(), &KeyMapping::written);
        mapping().setCode(0, 0x4E);
        mapping().setCode(47, 0xCE);
        QVERIFY(mapping().write());
        QByteArray image = held;
        for (int gap : gaps)
            image[gap] = 0;
        image[3] = char(0x4E);
        image[60] = char(0xCE);
        for (int block : { 0, 32 })
            image[block + 31] = char(
                protocol::blockChecksum(reinterpret_cast<const std::uint8_t *>(image.constData()) + block));
        QCOMPARE(sentReports(), (QList<QByteArray> { '\0' + image.left(32), '\0' + image.mid(32) }));
        QCOMPARE(bytes(mapping().saved()), image);
        deliver();
        QCOMPARE(written.size(), 1);

        // Reset: one read-back follows the receiver's confirmation, so that
        // the next write does not put the old mapping back.
        pen().clearSent();
        QSignalSpy done(&mapping(), &KeyMapping::resetDone);
        QVERIFY(mapping().reset());
        deliver();
        QCOMPARE(done.size(), 1);
        QCOMPARE(sentReports(),
            (QList<QByteArray> { QByteArray::fromHex("006060").leftJustified(33, '\0'),
                QByteArray::fromHex("007070").leftJustified(33, '\0') }));
        const QByteArray factory = bytes(sim::Receiver::factoryMapping());
        QCOMPARE(slotBytes(bytes(mapping().image())), slotBytes(factory));
        QCOMPARE(bytes(mapping().saved()), factory);
    }

    void writeRightAfterPlugInGoesOut()
    {
        // Written during the pause a receiver needs after it appears, the
        // mapping waits for the receiver instead of failing; the read-back of
        // the arrival then brings the keys just written, not the old ones.
        startSession();
        pen().unplug();
        QTRY_VERIFY(!session->link().present());
        usbhid::setSettleDelay(std::chrono::milliseconds(600));
        pen().plug();
        QTRY_VERIFY(session->link().present());
        usbhid::setSettleDelay(std::chrono::milliseconds(0));
        QSignalSpy written(&mapping(), &KeyMapping::written);
        mapping().setCode(0, 0x4E);
        QVERIFY(mapping().write());
        QCOMPARE(bytes(pen().mapping()), bytes(mapping().image()));
        deliver();
        QCOMPARE(written.size(), 1);
        QCOMPARE(sentReports().size(), 3);
        QCOMPARE(mapping().code(0), std::uint8_t(0x4E));
    }

    void failedWritesAreNotTakenForStored_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("receiver away") << "unplugged";
        // The receiver stores and confirms the second block alone: that is
        // not the mapping the editor holds.
        QTest::newRow("first report lost") << "fail 1";
    }

    void failedWritesAreNotTakenForStored()
    {
        QFETCH(QString, fault);
        startSession();
        QSignalSpy written(&mapping(), &KeyMapping::written);
        const protocol::Image saved = mapping().saved();
        mapping().setCode(8, 0x2B);
        if (fault == "unplugged") {
            pen().unplug();
            QTRY_VERIFY(!session->link().isOpen());
        } else {
            pen().failNextWrites(fault.section(' ', 1).toInt());
        }
        QVERIFY(!mapping().write());
        QCOMPARE(bytes(mapping().saved()), bytes(saved));
        QCOMPARE(mapping().code(8), std::uint8_t(0x2B));
        deliver();
        QTest::qWait(50);
        QCOMPARE(written.size(), 0);
    }

    void transitions_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("after"); // what runs then
        QTest::addColumn<QString>("balloon");
        QTest::addColumn<int>("mode");
        auto row = [](const char *name, const char *before, const char *running, const char *event,
                       const char *after, const char *balloon, int mode) {
            QTest::newRow(name) << before << running << event << after << balloon << mode;
        };
        row("normal to laser, running", "", "Dotrix", "laser 7", "Dotrix",
            " Prompt |Laser pointer mode is running!", 3);
        row("normal to magnifier, running", "", "Loupex", "magnifier 0", "Loupex",
            "Prompt|Magnifier mode is running!", 1);
        row("normal to spotlight, running", "", "Halvix", "spotlight 5", "Halvix",
            "Prompt|Spotlight mode is running!", 2);
        row("normal to laser", "", "", "laser 4", "Dotrix", "Prompt|Laser pointer mode", 3);
        row("magnifier to spotlight", "magnifier 2", "", "spotlight 5", "Halvix", "Prompt|Spotlight mode!",
            2);
        row("magnifier ended by itself to spotlight", "magnifier 2; ended Loupex", "", "spotlight 5",
            "Halvix", "Prompt|Spotlight mode!", 2);
        // The same mode again only changes the size, even with its program gone.
        row("laser again, program ended", "laser 1; ended Dotrix", "", "laser 2", "", "", 3);
        row("spotlight to normal", "spotlight 3", "", "normal", "", "", 0);
        // Not announced as running when it could not be started; the mode is
        // still taken and its size written, for a program started by hand.
        row("magnifier, cannot start", "fails Loupex", "", "magnifier 4", "",
            "Prompt|Magnifier mode: Loupex could not be started.", 1);
        // Effect programs started by hand are left alone.
        row("normal stays normal", "", "Dotrix; Halvix; Loupex", "normal", "Dotrix; Halvix; Loupex", "", 0);
    }

    void transitions()
    {
        QFETCH(QString, before);
        QFETCH(QString, running);
        QFETCH(QString, event);
        QFETCH(int, mode);
        session = std::make_unique<Session>(&platform, sizesFile());
        const QStringList names = running.split("; ", Qt::SkipEmptyParts);
        platform.running = QSet<QString>(names.begin(), names.end());
        for (const QString &step : before.split("; ", Qt::SkipEmptyParts))
            fire(step);
        QSignalSpy announced(&modes(), &ModeSwitcher::announced);

        fire(event);
        QStringList after = platform.running.values();
        after.sort();
        QTEST(after.join("; "), "after");
        QStringList told;
        for (const QList<QVariant> &balloon : announced)
            told << balloon.at(0).toString() + "|" + balloon.at(1).toString();
        QTEST(told.join(""), "balloon");
        QCOMPARE(modes().currentMode(), mode);
    }

    void sizes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("zero"); // what size 0 stands for
        QTest::newRow("laser") << int(ModeSwitcher::LaserMode) << segment::kDotrixKey << 0;
        QTest::newRow("magnifier") << int(ModeSwitcher::MagnifierMode) << segment::kLoupexKey << 3;
        QTest::newRow("spotlight") << int(ModeSwitcher::SpotlightMode) << segment::kHalvixKey << 3;
    }

    // Each mode writes its own segment only. Reports of the active mode
    // change the size and nothing else: no process is started or stopped,
    // and nobody is told.
    void sizes()
    {
        QFETCH(int, mode);
        QFETCH(QString, key);
        QFETCH(int, zero);
        session = std::make_unique<Session>(&platform, sizesFile());
        modes().enter(mode, 0);
        for (const char *other : { segment::kDotrixKey, segment::kLoupexKey, segment::kHalvixKey })
            QCOMPARE(level(other), other == key ? zero : 0);
        QCOMPARE(modes().size(mode), zero);
        platform.calls.clear();
        QSignalSpy announced(&modes(), &ModeSwitcher::announced);

        // The same size again leaves alone what an effect program put there.
        SizeSegment effect(key);
        QVERIFY(effect.attach() && effect.write(77));
        modes().enter(mode, 0);
        QCOMPARE(level(key), 77);
        // A signed 32-bit little-endian integer at byte 0 of the 10 bytes.
        modes().enter(mode, -2);
        QCOMPARE(readSegment(key).toHex(' '), QByteArray("fe ff ff ff 00 00 00 00 00 00"));
        modes().enter(mode, 200);
        QCOMPARE(level(key), 200);
        QCOMPARE(platform.calls, QStringList());
        QCOMPARE(announced.size(), 0);
    }

    // Segments made before the session, by an effect program that started
    // first or by a run that was killed, are used as they are; one too short
    // for the level is attached to but never written past its end.
    void segmentsMadeByOthers()
    {
        SizeSegment laser(segment::kDotrixKey);
        QVERIFY(laser.open() && laser.write(9));
        QFile cut(QFile::decodeName(platform::privateFolder().c_str()) + '/' + segment::kHalvixKey);
        QVERIFY(cut.open(QIODevice::WriteOnly) && cut.write(QByteArray(2, '\0')) == 2);
        cut.close();
        session = std::make_unique<Session>(&platform, sizesFile());
        QCOMPARE(level(segment::kDotrixKey), 9);
        modes().enter(ModeSwitcher::LaserMode, 0);
        QCOMPARE(level(segment::kDotrixKey), 0);
        modes().enter(ModeSwitcher::SpotlightMode, 5);
        QCOMPARE(readSegment(segment::kHalvixKey), QByteArray(2, '\0'));
    }

    // A session reads the sizes, writes the autostart entry and resets the
    // pointers at its start; its finish saves the sizes and stops the current
    // effect program, once.
    void startAndFinish()
    {
        const QString file = sizesFile().writeTo;
        QVERIFY(writeSizeLevels(file, { 4, 0, 9 }));
        session = std::make_unique<Session>(&platform, sizesFile());
        QCOMPARE(platform.calls,
            (QStringList { "autostart " + QCoreApplication::applicationFilePath(), "cursors" }));
        QCOMPARE((QList { modes().size(ModeSwitcher::MagnifierMode),
                     modes().size(ModeSwitcher::SpotlightMode), modes().size(ModeSwitcher::LaserMode) }),
            (QList { 4, 0, 9 }));

        platform.running = { "Dotrix", "Loupex", "Halvix" };
        modes().enter(ModeSwitcher::MagnifierMode, 6);
        platform.calls.clear();
        session->finish();
        session->finish();
        QCOMPARE(platform.callsStartingWith("stop"), QStringList { "stop Loupex" });
        QSettings saved(file, QSettings::IniFormat);
        QCOMPARE(saved.value("config/MagnifeerSize").toInt(), 6);
        QCOMPARE(saved.value("config/QyLightSize").toInt(), 0);
        QCOMPARE(saved.value("config/redDotrixSize").toInt(), 9);
        QCOMPARE(saved.allKeys().size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "test_core.moc"
