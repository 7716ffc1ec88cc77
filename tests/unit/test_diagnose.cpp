// What quorvant-diagnose reads from the system: rules files that name the
// receiver, the rights an ACL gives a user, and the session that decides
// which backend draws the effects.
#include "diagnose/diagnose.h"
#include "platform/backendchoice.h"

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

class TestDiagnose : public QObject
{
    Q_OBJECT

private slots:
    // Files that name the receiver, whatever their case or line breaks, found
    // once though udev reaches a folder by two paths; a comment, one of the
    // two ids alone or a file udev skips does not count.
    void rulesThatNameTheReceiver()
    {
        QTemporaryDir temp;
        const QString lib = temp.filePath("lib"), usrLib = temp.filePath("usr-lib"),
                      etc = temp.filePath("etc");
        QVERIFY(QDir().mkpath(usrLib) && QDir().mkpath(etc));
        QVERIFY(QFile::link(usrLib, lib));
        const QByteArray rule = R"(KERNEL=="hidraw*", ATTRS{idVendor}=="26e3", ATTRS{idProduct}=="af01")";
        write(usrLib + "/70-quorvant.rules", rule);
        write(usrLib + "/70-quorvant.rules.bak", rule);
        write(usrLib + "/60-vendor.rules", R"(ATTRS{idVendor}=="26e3", TAG+="uaccess")");
        write(usrLib + "/61-product.rules", R"(ATTRS{idProduct}=="af01", TAG+="uaccess")");
        write(usrLib + "/62-comment.rules", "  # ATTRS{idVendor}==\"26e3\", ATTRS{idProduct}==\"af01\"\n");
        write(etc + "/99-local.rules",
            "# 26e3 af01\nATTRS{idVendor}==\"26E3\", \\\n  ATTRS{idProduct}==\"AF01\"\n");

        const auto found = diagnose::receiverRules({ etc.toStdString(), usrLib.toStdString(),
            lib.toStdString(), temp.filePath("none").toStdString() });
        QCOMPARE(found,
            (std::vector<std::string> {
                (etc + "/99-local.rules").toStdString(), (usrLib + "/70-quorvant.rules").toStdString() }));
    }

    void aclRights()
    {
        const std::vector<std::uint32_t> me = { kUser, 6, kMe };
        const struct
        {
            const char *name;
            std::string attribute;
            const char *rights; // null: none found
        } rows[] = {
            { "no attribute", "", nullptr },
            { "another version", acl({ me }, 1), nullptr },
            { "cut short", acl({ me }).substr(0, 10), nullptr },
            { "someone else's entry",
                acl({ { kUserObj, 6, kAnyone }, { kUser, 6, kMe + 1 }, { kOther, 6, kAnyone } }), nullptr },
            { "mine, as uaccess gives it",
                acl({ { kUserObj, 6, kAnyone }, me, { kGroupObj, 0, kAnyone }, { kMask, 6, kAnyone },
                    { kOther, 0, kAnyone } }),
                "rw" },
            { "mine, masked to reading", acl({ { kMask, 4, kAnyone }, me }), "r" },
            { "mine, masked away", acl({ me, { kMask, 0, kAnyone } }), "-" },
        };
        for (const auto &row : rows) {
            const auto got = diagnose::aclRightsOf(row.attribute, kMe);
            QVERIFY2(got ? row.rights && *got == row.rights : !row.rights, row.name);
        }
    }

    void backendOfTheSession()
    {
        using backend::Kind;
        using Names = std::vector<std::string>;
        const Names layerShell { "wl_compositor", "zwlr_layer_shell_v1", "wl_seat" };
        const Names plain { "wl_compositor", "xdg_wm_base", "wl_seat" };
        const Names cursorSessions { "zwlr_layer_shell_v1", "ext_image_copy_capture_manager_v1",
            "ext_output_image_capture_source_manager_v1" };
        const Names kwin { "org.freedesktop.DBus", "org.kde.KWin" };
        const Names gnomeShell { "org.freedesktop.DBus", "org.gnome.Shell" };
        const Names gnomeExtension { "org.gnome.Shell", "org.quorvant.Effects" };
        // The session: override, QT_QPA_PLATFORM, WAYLAND_DISPLAY, whether it
        // answers, its globals, the bus's names.
        const struct
        {
            backend::Session session;
            Kind kind;
            const char *reason;
        } rows[] = {
            // Near misses first: what looks like a reason for a backend and is not.
            { { "layer", "", "wayland-0", true, layerShell, kwin }, Kind::KWin,
                "QUORVANT_EFFECTS_BACKEND=layer names no backend" },
            { { "", "", "wayland-0", true, plain, kwin }, Kind::X11, "offers no zwlr_layer_shell_v1" },
            { { "", "", "wayland-9", false, layerShell, kwin }, Kind::X11, "does not answer" },
            { { "", "xcb", "wayland-0", true, layerShell, kwin }, Kind::X11, "QT_QPA_PLATFORM is xcb" },
            { { "", "wayland", "wayland-0", true, layerShell, kwin }, Kind::KWin, "org.kde.KWin" },
            { { "", "", "", false, plain, kwin }, Kind::X11, "no Wayland display" },
            { { "", "", "wayland-0", true, layerShell, kwin }, Kind::KWin,
                "org.kde.KWin is on the session bus" },
            { { "", "", "wayland-1", true, layerShell, {} }, Kind::Wlroots, "so the effects hold it" },
            { { "", "", "wayland-1", true, cursorSessions, {} }, Kind::Wlroots,
                "its cursor sessions tell where the pointer is" },
            { { "", "", "wayland-0", true, plain, gnomeShell }, Kind::X11, "without Quorvant's extension" },
            { { "", "xcb", "wayland-0", false, {}, gnomeExtension }, Kind::Gnome, "org.quorvant.Effects" },
            { { "", "", "", false, plain, gnomeExtension }, Kind::X11, "no Wayland display" },
            { { "wlroots", "xcb", "", false, plain, kwin }, Kind::Wlroots, "names it" },
        };
        for (const auto &row : rows) {
            const backend::Choice choice = backend::choose(row.session);
            QVERIFY2(choice.kind == row.kind && choice.reason.find(row.reason) != std::string::npos,
                (std::string(backend::name(choice.kind)) + ": " + choice.reason).c_str());
        }
    }
};

QTEST_GUILESS_MAIN(TestDiagnose)
#include "test_diagnose.moc"
