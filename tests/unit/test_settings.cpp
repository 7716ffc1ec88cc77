// Whatever is left in the settings file: the program must start and read the
// three sizes all the same. And where the file is kept.
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "core/settings.h"

class TestSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;

private slots:
    void reading_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: no file at all
        QTest::addColumn<QList<int>>("sizes"); // magnifier, spotlight, laser
        const auto config = [](const char *magnifier, const char *spotlight, const char *laser) {
            return QByteArray("[config]\nMagnifeerSize=") + magnifier + "\nQyLightSize=" + spotlight
                + "\nredDotrixSize=" + laser;
        };
        // Bytes of every value, newlines and NULs included, the same every run.
        QByteArray garbage(4096, 0);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);

        QTest::newRow("no file") << QByteArray() << QList { 3, 3, 3 };
        QTest::newRow("some missing") << QByteArray("[config]\nQyLightSize=2\n") << QList { 3, 2, 3 };
        QTest::newRow("the usual spelling is not the key")
            << QByteArray("[config]\nMagnifierSize=8\nMagnifeerSize=6\n") << QList { 6, 3, 3 };
        QTest::newRow("letters, a trailing letter, nothing") << config("abc", "4x", "") << QList { 0, 0, 0 };
        QTest::newRow("negative") << config("-7", "-1", "-2147483648") << QList { -7, -1, -2147483647 - 1 };
        QTest::newRow("largest int") << config("2147483647", "255", "256") << QList { 2147483647, 255, 256 };
        // QVariant::toInt alone would wrap these into other numbers.
        QTest::newRow("past an int") << config("2147483648", "-2147483649", "99999999999999999999")
                                     << QList { 0, 0, 0 };
        QTest::newRow("empty file") << QByteArray("") << QList { 3, 3, 3 };
        QTest::newRow("binary garbage") << garbage << QList { 3, 3, 3 };
        QTest::newRow("garbage after the group")
            << "[config]\nQyLightSize=6\n" + garbage << QList { 3, 6, 3 };
    }

    void reading()
    {
        QFETCH(QByteArray, contents);
        QFile file(folder.filePath(QString("setting_%1.ini").arg(QTest::currentDataTag())));
        QVERIFY(contents.isNull()
            || (file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size()));
        file.close();

        const SizeLevels sizes = readSizeLevels(file.fileName());
        QTEST((QList { sizes.magnifierSize, sizes.qyLightSize, sizes.redDotrixSize }), "sizes");
        // Reading never writes the file, which holds the last orderly exit's sizes.
        QCOMPARE(file.exists(), !contents.isNull());
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), contents);
    }

    // Beside the program while it can be written there, else in the user's
    // own folder; a file beside a program that cannot be written is still read
    // until the user has one. (Folders closed to an ordinary user are tried
    // end to end.)
    void location_data()
    {
        // The program's folder: "dir" writable, "missing", or "in the way": a
        // folder is named like the file.
        QTest::addColumn<QString>("app");
        QTest::addColumn<bool>("ownExists");
        QTest::addColumn<QString>("readFrom");
        QTest::addColumn<QString>("writeTo");
        QTest::newRow("writable folder") << "dir" << true << "beside" << QString("beside");
        QTest::newRow("no folder to write in") << "missing" << false << "own" << QString("own");
        QTest::newRow("a folder in the file's place") << "in the way" << false << "own" << QString("own");
        QTest::newRow("the user's own file") << "in the way" << true << "own" << QString("own");
    }

    void location()
    {
        QFETCH(QString, app);
        QFETCH(bool, ownExists);
        QTemporaryDir root;
        const QString appDir = root.filePath(app == "missing" ? "missing/app" : "app");
        const QString own = root.filePath("config");
        QVERIFY(QDir().mkpath(own));
        QVERIFY(app == "missing" || QDir().mkpath(appDir));
        const QString beside = settings::inFolder(appDir).writeTo, ownFile = settings::inFolder(own).writeTo;
        QVERIFY(app != "in the way" || QDir().mkpath(beside));
        QVERIFY(!ownExists || writeSizeLevels(ownFile, {}));
        const settings::Location location = settings::locate(appDir, own);
        const auto where = [&](const QString &path) {
            return path == beside ? "beside" : path == ownFile ? "own" : path;
        };
        QTEST(where(location.readFrom), "readFrom");
        QTEST(where(location.writeTo), "writeTo");
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
