// What quorvant-diagnose reads from the system: rules files that name the
// receiver, the rights an ACL gives a user, and the session that decides
// which backend draws the effects.
#include "diagnose/diagnose.h"
#include "effects/backendchoice.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// An ACL in the kernel's attribute layout: version 2, then (tag, rights, id).
std::string acl(std::vector<std::vector<std::uint32_t>> entries, std::uint32_t version = 2)
{
    std::string bytes;
    const auto put = [&bytes](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes += static_cast<char>(value >> (8 * i) & 0xFF);
    };
    put(version, 4);
    for (const auto &entry : entries) {
        put(entry[0], 2);
        put(entry[1], 2);
        put(entry[2], 4);
    }
    return bytes;
}

constexpr std::uint32_t kUserObj = 0x01, kUser = 0x02, kGroupObj = 0x04, kMask = 0x10, kOther = 0x20;
constexpr std::uint32_t kAnyone = 0xFFFFFFFF, kMe = 1000;

void write(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

} // namespace

Q_DECLARE_METATYPE(backend::Kind)
Q_DECLARE_METATYPE(std::vector<std::string>)

class TestDiagnose : public QObject
{
    Q_OBJECT

private slots:
    void ruleNamesTheReceiver_data()
    {
        QTest::addColumn<QByteArray>("rules");
        QTest::addColumn<bool>("names");
        QTest::newRow("vendor only") << QByteArray(
            R"(KERNEL=="hidraw*", ATTRS{idVendor}=="26e3", TAG+="uaccess")")
                                     << false;
        QTest::newRow("product only") << QByteArray(R"(ATTRS{idProduct}=="af01", TAG+="uaccess")") << false;
        QTest::newRow("commented out")
            << QByteArray("  # ATTRS{idVendor}==\"26e3\", ATTRS{idProduct}==\"af01\"\nSUBSYSTEM==\"usb\"\n")
            << false;
        QTest::newRow("the package's rule") << QByteArray(
            "# the pen\nKERNEL==\"hidraw*\", ATTRS{idVendor}==\"26e3\", ATTRS{idProduct}==\"af01\", "
            "TAG+=\"uaccess\"\n") << true;
        QTest::newRow("upper case, over two lines")
            << QByteArray("ATTRS{idVendor}==\"26E3\", \\\n  ATTRS{idProduct}==\"AF01\", MODE=\"0666\"\n")
            << true;
    }

    void ruleNamesTheReceiver()
    {
        QFETCH(QByteArray, rules);
        QFETCH(bool, names);
        QCOMPARE(diagnose::mentionsReceiver(rules.toStdString()), names);
    }

    void rulesAreFoundOnceWhereverUdevLooks()
    {
        QTemporaryDir temp;
        const QString lib = temp.filePath("lib"), usrLib = temp.filePath("usr-lib"),
                      etc = temp.filePath("etc");
        QVERIFY(QDir().mkpath(usrLib) && QDir().mkpath(etc));
        QVERIFY(QFile::link(usrLib, lib));
        const QByteArray rule = R"(KERNEL=="hidraw*", ATTRS{idVendor}=="26e3", ATTRS{idProduct}=="af01")";
        write(usrLib + "/70-quorvant.rules", rule);
        write(usrLib + "/60-other.rules", R"(ATTRS{idVendor}=="046d")");
        write(usrLib + "/70-quorvant.rules.bak", rule);
        write(etc + "/99-local.rules", "# 26e3 af01, one day\n" + rule);

        const auto found = diagnose::receiverRules({ etc.toStdString(), usrLib.toStdString(),
            lib.toStdString(), temp.filePath("none").toStdString() });
        QCOMPARE(found,
            (std::vector<std::string> {
                (etc + "/99-local.rules").toStdString(), (usrLib + "/70-quorvant.rules").toStdString() }));
    }

    void aclRights_data()
    {
        QTest::addColumn<QByteArray>("attribute");
        QTest::addColumn<QString>("rights");
        const std::vector<std::uint32_t> me = { kUser, 6, kMe };
        QTest::newRow("no attribute") << QByteArray() << QString();
        QTest::newRow("another version") << QByteArray::fromStdString(acl({ me }, 1)) << QString();
        QTest::newRow("cut short") << QByteArray::fromStdString(acl({ me }).substr(0, 10)) << QString();
        QTest::newRow("someone else's entry") << QByteArray::fromStdString(
            acl({ { kUserObj, 6, kAnyone }, { kUser, 6, kMe + 1 }, { kOther, 6, kAnyone } }))
                                              << QString();
        QTest::newRow("mine, as uaccess gives it") << QByteArray::fromStdString(
            acl({ { kUserObj, 6, kAnyone }, me, { kGroupObj, 0, kAnyone }, { kMask, 6, kAnyone },
                { kOther, 0, kAnyone } })) << "rw";
        QTest::newRow("mine, masked to reading")
            << QByteArray::fromStdString(acl({ { kMask, 4, kAnyone }, me })) << "r";
        QTest::newRow("mine, masked away")
            << QByteArray::fromStdString(acl({ me, { kMask, 0, kAnyone } })) << "-";
    }

    void aclRights()
    {
        QFETCH(QByteArray, attribute);
        QFETCH(QString, rights);
        const auto got = diagnose::aclRightsOf(attribute.toStdString(), kMe);
        QCOMPARE(got ? QString::fromStdString(*got) : QString(), rights);
    }

    void backendOfTheSession_data()
    {
        using backend::Kind;
        using Names = std::vector<std::string>;
        const Names layerShell { "wl_compositor", "zwlr_layer_shell_v1", "wl_seat" };
        const Names plain { "wl_compositor", "xdg_wm_base", "wl_seat" };
        const Names kwin { "org.freedesktop.DBus", "org.kde.KWin" };
        QTest::addColumn<QString>("override");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("display");
        QTest::addColumn<bool>("reached");
        QTest::addColumn<Names>("globals");
        QTest::addColumn<Names>("names");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("reason");
        // Near misses first: what looks like a reason for a backend and is not.
        QTest::newRow("override naming nothing") << "layer"
                                                 << ""
                                                 << "wayland-0" << true << layerShell << kwin << Kind::KWin
                                                 << "QUORVANT_EFFECTS_BACKEND=layer names no backend";
        QTest::newRow("KWin without layer shell")
            << ""
            << ""
            << "wayland-0" << true << plain << kwin << Kind::X11 << "offers no zwlr_layer_shell_v1";
        QTest::newRow("display that does not answer")
            << ""
            << ""
            << "wayland-9" << false << layerShell << kwin << Kind::X11 << "does not answer";
        QTest::newRow("Qt kept to X11")
            << ""
            << "xcb"
            << "wayland-0" << true << layerShell << kwin << Kind::X11 << "QT_QPA_PLATFORM is xcb";
        QTest::newRow("Qt offscreen")
            << ""
            << "offscreen"
            << "wayland-0" << true << layerShell << kwin << Kind::X11 << "QT_QPA_PLATFORM is offscreen";
        QTest::newRow("X11 session") << ""
                                     << ""
                                     << "" << false << plain << kwin << Kind::X11 << "no Wayland display";
        QTest::newRow("KWin") << ""
                              << ""
                              << "wayland-0" << true << layerShell << kwin << Kind::KWin
                              << "org.kde.KWin is on the session bus";
        QTest::newRow("KWin, Qt asked for Wayland")
            << ""
            << "wayland"
            << "wayland-0" << true << layerShell << kwin << Kind::KWin << "org.kde.KWin";
        QTest::newRow("sway") << ""
                              << ""
                              << "wayland-1" << true << layerShell << Names() << Kind::Wlroots
                              << "offers zwlr_layer_shell_v1";
        const Names gnomeShell { "org.freedesktop.DBus", "org.gnome.Shell" };
        const Names gnomeExtension { "org.gnome.Shell", "org.quorvant.Effects" };
        QTest::newRow("GNOME Shell without the extension")
            << ""
            << ""
            << "wayland-0" << true << plain << gnomeShell << Kind::X11 << "without Quorvant's extension";
        QTest::newRow("the extension, Qt kept to X11")
            << ""
            << "xcb"
            << "wayland-0" << false << Names() << gnomeExtension << Kind::Gnome << "org.quorvant.Effects";
        QTest::newRow("the extension's name on an X11 session")
            << ""
            << ""
            << "" << false << plain << gnomeExtension << Kind::X11 << "no Wayland display";
        QTest::newRow("override over the session")
            << "x11"
            << ""
            << "wayland-0" << true << layerShell << kwin << Kind::X11 << "names it";
        QTest::newRow("override over Qt's platform")
            << "wlroots"
            << "xcb"
            << "" << false << plain << kwin << Kind::Wlroots << "names it";
    }

    void backendOfTheSession()
    {
        QFETCH(QString, override);
        QFETCH(QString, platform);
        QFETCH(QString, display);
        QFETCH(bool, reached);
        QFETCH(std::vector<std::string>, globals);
        QFETCH(std::vector<std::string>, names);
        QFETCH(backend::Kind, kind);
        QFETCH(QString, reason);
        backend::Session session;
        session.override = override.toStdString();
        session.qtPlatform = platform.toStdString();
        session.waylandDisplay = display.toStdString();
        session.waylandReached = reached;
        session.globals = globals;
        session.busNames = names;
        const backend::Choice choice = backend::choose(session);
        QCOMPARE(backend::name(choice.kind), backend::name(kind));
        QVERIFY2(QString::fromStdString(choice.reason).contains(reason), choice.reason.c_str());
    }
};

QTEST_GUILESS_MAIN(TestDiagnose)
#include "test_diagnose.moc"
