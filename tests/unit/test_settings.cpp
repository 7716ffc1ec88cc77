// Whatever is left in the settings file: the program must start and read the
// three sizes all the same.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include "mainwindow/settings.h"

namespace {

QByteArray config(const QByteArray &magnifier, const QByteArray &spotlight, const QByteArray &laser)
{
    return "[config]\nMagnifeerSize=" + magnifier + "\nQyLightSize=" + spotlight + "\nredDotrixSize=" + laser
        + "\n";
}

// Bytes of every value, newlines and NULs included, in a fixed order.
QByteArray garbage()
{
    QByteArray bytes;
    quint32 state = 12345;
    for (int i = 0; i < 4096; ++i) {
        state = state * 1103515245u + 12345u;
        bytes.append(char(state >> 24));
    }
    return bytes;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void badValues_data();
    void badValues();
    void fileThatCannotBeRead();
    void folderInPlaceOfTheFile();

private:
    QTemporaryDir folder;
};

void TestSettings::badValues_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("magnifier");
    QTest::addColumn<int>("spotlight");
    QTest::addColumn<int>("laser");

    QTest::newRow("letters, a trailing letter, nothing") << config("abc", "4x", "") << 0 << 0 << 0;
    QTest::newRow("a list and a float") << config("1, 2", "2.5", "1e3") << 0 << 0 << 0;
    QTest::newRow("negative") << config("-7", "-1", "-2147483648") << -7 << -1 << int(-2147483647 - 1);
    QTest::newRow("largest int") << config("2147483647", "255", "256") << 2147483647 << 255 << 256;
    // QVariant::toInt alone would wrap these into other numbers.
    QTest::newRow("just past an int") << config("2147483648", "-2147483649", "4294967296") << 0 << 0 << 0;
    QTest::newRow("far past an int") << config("99999999999", "99999999999999999999999", "-99999999999") << 0
                                     << 0 << 0;
    QTest::newRow("blanks and a plus sign") << config(" 5 ", "+7", "00012") << 5 << 7 << 12;
    QTest::newRow("empty file") << QByteArray() << 3 << 3 << 3;
    QTest::newRow("binary garbage") << garbage() << 3 << 3 << 3;
    QTest::newRow("garbage after the group")
        << QByteArray("[config]\nQyLightSize=6\n") + garbage() << 3 << 6 << 3;
    QTest::newRow("NUL in a value") << QByteArray("[config]\nMagnifeerSize=4\0"
                                                  "2\n",
        27) << 0 << 3 << 3;
}

void TestSettings::badValues()
{
    QFETCH(QByteArray, contents);
    const QString path = folder.filePath(QString("setting_%1.ini").arg(QTest::currentDataTag()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(contents), qint64(contents.size()));
    file.close();

    const SizeLevels sizes = readSizeLevels(path);
    QTEST(sizes.magnifierSize, "magnifier");
    QTEST(sizes.qyLightSize, "spotlight");
    QTEST(sizes.redDotrixSize, "laser");

    // Reading never rewrites the file, which holds the last orderly exit's sizes.
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), contents);
}

void TestSettings::fileThatCannotBeRead()
{
    if (geteuid() == 0)
        QSKIP("the superuser reads any file");
    const QString path = folder.filePath("unreadable.ini");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(config("5", "6", "7"));
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::Permissions()));

    const SizeLevels sizes = readSizeLevels(path);
    QCOMPARE(sizes.magnifierSize, 3);
    QCOMPARE(sizes.qyLightSize, 3);
    QCOMPARE(sizes.redDotrixSize, 3);
}

void TestSettings::folderInPlaceOfTheFile()
{
    const QString path = folder.filePath("folder.ini");
    QVERIFY(QDir().mkpath(path + "/config"));

    const SizeLevels sizes = readSizeLevels(path);
    QCOMPARE(sizes.magnifierSize, 3);
    QCOMPARE(sizes.qyLightSize, 3);
    QCOMPARE(sizes.redDotrixSize, 3);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
