// The action vocabulary both ways, the slot table that ties widgets to bytes,
// and the hexadecimal notation of the advanced editor.
#include <QtTest>

#include <optional>

#include "keymap/hexbyte.h"
#include "keymap/slots.h"
#include "keymap/vocabulary.h"

class TestVocabulary : public QObject
{
    Q_OBJECT

private slots:
    void codeToEntry_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("index"); // -1: no entry
        QTest::addColumn<QString>("name");

        // Bytes the receiver might hold that the program has no name for.
        QTest::newRow("0x2D, the minus key") << 0x2D << -1 << QString();
        QTest::newRow("0x01") << 0x01 << -1 << QString();
        QTest::newRow("0xFF") << 0xFF << -1 << QString();
        QTest::newRow("0x03, just below A") << 0x03 << -1 << QString();
        QTest::newRow("0x74, just past F24") << 0x74 << -1 << QString();
        QTest::newRow("0xE8, just past R_Win") << 0xE8 << -1 << QString();

        QTest::newRow("no action") << 0x00 << 0 << "";
        QTest::newRow("first entry") << 0xF5 << 1 << "Shift+F5/Esc";
        QTest::newRow("last entry") << 0xCD << 94 << "PREV_TRACK";
        QTest::newRow("digit 0 before 1 to 9") << 0x27 << 81 << "0";
        QTest::newRow("digit 1") << 0x1E << 82 << "1";
        QTest::newRow("digit 9") << 0x26 << 90 << "9";
        QTest::newRow("A") << 0x04 << 49 << "A";
        QTest::newRow("Z") << 0x1D << 74 << "Z";
        QTest::newRow("F1") << 0x3A << 25 << "F1";
        QTest::newRow("F12") << 0x45 << 36 << "F12";
        QTest::newRow("F13 starts a new run") << 0x68 << 37 << "F13";
        QTest::newRow("F24") << 0x73 << 48 << "F24";
        QTest::newRow("Enter") << 0x28 << 77 << "Enter";
        QTest::newRow("volume after Enter") << 0xC3 << 78 << "Vol+";
        QTest::newRow("Vol-") << 0xBD << 79 << "Vol-";
        QTest::newRow("Mute") << 0xCE << 80 << "Mute";
        QTest::newRow("comma key") << 0x36 << 75 << "<";
        QTest::newRow("period key") << 0x37 << 76 << ">";
        QTest::newRow("modifier L_Win") << 0xE3 << 13 << "L_Win";
        QTest::newRow("mouse left") << 0xF3 << 91 << "MOUSE_L";
        QTest::newRow("slash key") << 0x38 << 19 << "?/";
    }

    void codeToEntry()
    {
        QFETCH(int, code);
        QFETCH(int, index);
        QFETCH(QString, name);

        const std::optional<int> found = keymap::keyIndex(static_cast<std::uint8_t>(code));
        if (index < 0) {
            QVERIFY2(!found, qPrintable(QString("found entry %1").arg(found.value_or(-1))));
            return;
        }
        QVERIFY(found);
        QCOMPARE(*found, index);
        QCOMPARE(keymap::keyCode(index), static_cast<std::uint8_t>(code));
        QCOMPARE(keymap::keyNames().at(index), name);
    }

    // The runs of the table, derived from their first code: a slip in any
    // one entry shows up here.
    void runsAreConsecutive_data()
    {
        QTest::addColumn<int>("firstIndex");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("firstCode");

        QStringList f1to12, f13to24, letters, digits;
        for (int n = 1; n <= 12; ++n)
            f1to12 << QString("F%1").arg(n);
        for (int n = 13; n <= 24; ++n)
            f13to24 << QString("F%1").arg(n);
        for (char c = 'A'; c <= 'Z'; ++c)
            letters << QString(QChar(c));
        for (int n = 1; n <= 9; ++n)
            digits << QString::number(n);

        QTest::newRow("F1-F12") << 25 << f1to12 << 0x3A;
        QTest::newRow("F13-F24") << 37 << f13to24 << 0x68;
        QTest::newRow("A-Z") << 49 << letters << 0x04;
        QTest::newRow("1-9") << 82 << digits << 0x1E;
    }

    void runsAreConsecutive()
    {
        QFETCH(int, firstIndex);
        QFETCH(QStringList, names);
        QFETCH(int, firstCode);

        const QStringList all = keymap::keyNames();
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(all.at(firstIndex + i), names.at(i));
            QCOMPARE(int(keymap::keyCode(firstIndex + i)), firstCode + i);
        }
    }

    void everyEntryLeadsBackToItself()
    {
        const QStringList names = keymap::keyNames();
        QCOMPARE(names.size(), 95);
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), 95);
        for (int index = 0; index < names.size(); ++index)
            QCOMPARE(keymap::keyIndex(keymap::keyCode(index)).value_or(-1), index);
    }

    void indexWithoutEntryMeansNoAction_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("empty box") << -1;
        QTest::newRow("one past the end") << 95;
        QTest::newRow("far out") << 100000;
    }

    void indexWithoutEntryMeansNoAction()
    {
        QFETCH(int, index);
        QCOMPARE(int(keymap::keyCode(index)), 0);
    }

    void numbersWithoutBox_data()
    {
        QTest::addColumn<int>("number");
        for (int number : { 0, 9, 10, 19, 20, 29, 39, 41, 50, 59, 60, 69, -1 })
            QTest::newRow(qPrintable(QString::number(number))) << number;
    }

    void numbersWithoutBox()
    {
        QFETCH(int, number);
        QVERIFY(!keymap::slotOfBox(number));
    }

    void hexText_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0x00 << "0";
        QTest::newRow("single digit") << 0x0A << "a";
        QTest::newRow("no leading zero") << 0x04 << "4";
        QTest::newRow("two digits") << 0x7F << "7f";
        QTest::newRow("largest") << 0xFF << "ff";
    }

    void hexText()
    {
        QFETCH(int, byte);
        QFETCH(QString, text);
        QCOMPARE(keymap::hexText(static_cast<std::uint8_t>(byte)), text);
    }

    void parseHexByte_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");

        // Lengths other than one or two read as 0, whatever they hold.
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("prefixed 0x00") << "0x00" << 0;
        QTest::newRow("prefixed 0x1F") << "0x1F" << 0;
        QTest::newRow("three digits") << "100" << 0;
        QTest::newRow("123") << "123" << 0;
        // A character that is no digit counts as 0 where it stands.
        QTest::newRow("g5") << "g5" << 5;
        QTest::newRow("5g") << "5g" << 80;
        QTest::newRow("z") << "z" << 0;
        QTest::newRow("z3") << "z3" << 3;
        QTest::newRow("3z") << "3z" << 48;
        QTest::newRow("blank then digit") << " 7" << 7;
        QTest::newRow("minus sign") << "-1" << 1;
        QTest::newRow("outside Latin-1") << QString::fromUtf8("一5") << 5;
        QTest::newRow("full-width digit") << QString::fromUtf8("５") << 0;
        QTest::newRow("Latin-1 letter") << QString::fromUtf8("é") << 0;
        // Digits of either case.
        QTest::newRow("7f") << "7f" << 127;
        QTest::newRow("7F") << "7F" << 127;
        QTest::newRow("f") << "f" << 15;
        QTest::newRow("ff") << "ff" << 255;
        QTest::newRow("FF") << "FF" << 255;
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("00") << "00" << 0;
        QTest::newRow("09") << "09" << 9;
        QTest::newRow("a0") << "a0" << 160;
    }

    void parseHexByte()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(keymap::parseHexByte(text), value);
    }

    void everyByteSurvivesTheDialog()
    {
        for (int byte = 0; byte < 256; ++byte)
            QCOMPARE(keymap::parseHexByte(keymap::hexText(static_cast<std::uint8_t>(byte))), byte);
    }
};

QTEST_APPLESS_MAIN(TestVocabulary)
#include "test_vocabulary.moc"
