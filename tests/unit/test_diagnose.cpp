// What quorvant-diagnose reads from the system: rules files that name the
// receiver, and the rights an ACL gives a user.
#include "diagnose/diagnose.h"

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
};

QTEST_GUILESS_MAIN(TestDiagnose)
#include "test_diagnose.moc"
