// The windows over a session, on a display with a tray host: the key grid
// and the hexadecimal dialog showing and changing the mapping, the interface
// language, hiding to the tray and the ways out, the mode notice, and where
// the notice and the navigation window go.
#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <memory>

#include "core/keymapping.h"
#include "core/modeswitcher.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/usbhid.h"
#include "inprocess.h"
#include "keymap/vocabulary.h"
#include "mainwindow/widget.h"
#include "support/ipcsandbox.h"
#include "support/linkpump.h"
#include "support/recordingplatform.h"
#include "support/traydesktop.h"
#include "ui/language.h"
#include "ui/placement.h"

namespace {

// Far longer than any of this takes; only a program that never ends hits it.
constexpr int kDeadlineMs = 60000;

// What a widget shows as text: a window its title.
QString shownText(const QWidget *widget)
{
    if (widget->isWindow())
        return widget->windowTitle();
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (auto *box = qobject_cast<const QGroupBox *>(widget))
        return box->title();
    return QString();
}

template <typename T> T *topLevel(const char *name)
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->objectName() == name)
            return qobject_cast<T *>(widget);
    return nullptr;
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

    IpcSandbox ipc;
    RecordingPlatform platform;
    QTemporaryDir sizesFolder;
    std::unique_ptr<Session> session;
    std::unique_ptr<Widget> window;

    QComboBox *box(const QString &name) const { return window->findChild<QComboBox *>(name); }
    QSystemTrayIcon *tray() const { return window->findChild<QSystemTrayIcon *>(); }
    settings::Location sizesFile() const { return settings::inFolder(sizesFolder.path()); }

private slots:
    void initTestCase()
    {
        quorvantInitResources();
        usbhid::setSettleDelay(std::chrono::milliseconds(0));
    }
    void init()
    {
        QFile::remove(sizesFile().writeTo);
        sim::inProcessReceiver().reset();
        platform = RecordingPlatform();
        session = std::make_unique<Session>(&platform, sizesFile());
        window = std::make_unique<Widget>(session.get());
        QVERIFY(testsupport::waitOpen(&session->link()));
        testsupport::deliverPending(&session->link());
    }
    void cleanup()
    {
        window.reset();
        session.reset();
        testsupport::dismissBalloons();
    }

    // Each box shows and edits its own slot, an unknown code too.
    void keyGridFollowsTheMapping()
    {
        // The combo box of each slot, written out apart from the program's table.
        const int rows[12][4] = { { 1, 2, 21, 22 }, { 11, 12, 31, 32 }, { 3, 4, 23, 24 }, { 13, 14, 33, 34 },
            { 5, 6, 25, 26 }, { 15, 16, 35, 36 }, { 7, 8, 27, 28 }, { 17, 18, 37, 38 }, { 51, 52, 53, 54 },
            { 55, 56, 57, 58 }, { 61, 62, 63, 64 }, { 65, 66, 67, 68 } };
        QStringList names;
        for (const auto &row : rows)
            for (int number : row)
                names << QString("combox_%1").arg(number);
        KeyMapping &mapping = session->mapping();
        for (int slot = 0; slot < 48; ++slot) {
            QComboBox *combo = box(names[slot]);
            QCOMPARE(combo->count(), 95);
            // A different entry per slot, so a box wired to a neighbour's slot shows.
            const int entry = 1 + (slot * 7) % 94;
            combo->setCurrentIndex(entry);
            QCOMPARE(mapping.code(slot), keymap::keyCode(entry));
            mapping.setCode(slot, keymap::keyCode(94 - slot));
            QCOMPARE(combo->currentText(), keymap::keyNames().at(94 - slot));
        }
        mapping.setCode(5, 0x5A);
        QCOMPARE(box(names[5])->currentText(), QString("0x5A"));
        box(names[5])->setCurrentIndex(3);
        QCOMPARE(mapping.code(5), std::uint8_t(0x4E));
    }

    void hexDialogShowsAndWritesTheMapping()
    {
        KeyMapping &mapping = session->mapping();
        for (int slot = 0; slot < 48; ++slot)
            mapping.setCode(slot, std::uint8_t(slot * 5));
        mapping.setCode(47, 0xFF);
        QVERIFY(QMetaObject::invokeMethod(window.get(), "onAdvancedSet"));
        auto *dialog = topLevel<QDialog>("HightDialog");
        QVERIFY(dialog && dialog->isVisible());
        for (int slot = 0; slot < 48; ++slot)
            QCOMPARE(dialog
                         ->findChild<QLineEdit *>(QString("lineEdit_%1")
                                                      .arg(slot < 32      ? slot + 1
                                                              : slot < 40 ? slot + 19
                                                                          : slot + 21))
                         ->text(),
                slot == 47 ? "ff" : QString::number(slot * 5, 16));

        // Only one or two hexadecimal digits can be typed. A field left empty
        // writes nothing, and the balloon names its key and column.
        auto *field = dialog->findChild<QLineEdit *>("lineEdit_66");
        field->clear();
        QTest::keyClicks(field, "zz1g f3");
        QCOMPARE(field->text(), QString("1f"));
        field->clear();
        const std::size_t sent = sim::inProcessReceiver().sentReports().size();
        QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton"), Qt::LeftButton);
        QTRY_COMPARE(QToolTip::text(),
            QString("长按键6, action 2 is empty: type one or two hexadecimal digits. Nothing was written."));
        QCOMPARE(sim::inProcessReceiver().sentReports().size(), sent);
        QCOMPARE(mapping.code(45), std::uint8_t(225));

        dialog->findChild<QLineEdit *>("lineEdit_1")->setText("2d");
        dialog->findChild<QLineEdit *>("lineEdit_68")->setText("4E");
        field->clear();
        QTest::keyClicks(field, "f");
        QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton"), Qt::LeftButton);
        QCOMPARE(mapping.code(0), std::uint8_t(0x2D));
        QCOMPARE(mapping.code(47), std::uint8_t(0x4E));
        QCOMPARE(mapping.code(45), std::uint8_t(0x0F));
        QCOMPARE(box("combox_68")->currentText(), QString("PageDown"));
    }

    // English for whoever prefers another language than Chinese, the forms'
    // own texts for Chinese, and every text whole in both. Qt reads the
    // languages once a process, so each is tried in a copy of this test.
    void interfaceLanguage_data()
    {
        QTest::addColumn<bool>("chinese");
        QTest::newRow("en") << false;
        QTest::newRow("de") << false;
        QTest::newRow("zh_CN") << true;
    }

    void interfaceLanguage()
    {
        QFETCH(bool, chinese);
        const QString language = QTest::currentDataTag();
        if (qEnvironmentVariable("QUORVANT_TEST_LANGUAGE") != language) {
            QProcess copy;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("LANGUAGE", language);
            environment.insert("QUORVANT_TEST_LANGUAGE", language);
            copy.setProcessEnvironment(environment);
            copy.setProcessChannelMode(QProcess::MergedChannels);
            copy.start(QCoreApplication::applicationFilePath(), { "interfaceLanguage:" + language });
            QVERIFY(copy.waitForFinished(kDeadlineMs));
            QVERIFY2(copy.exitCode() == 0, copy.readAll().constData());
            return;
        }

        language::install();
        window.reset();
        window = std::make_unique<Widget>(session.get());
        QVERIFY(QMetaObject::invokeMethod(window.get(), "onKeySettings"));
        QVERIFY(QMetaObject::invokeMethod(window.get(), "onAdvancedSet"));
        auto *dialog = topLevel<QDialog>("HightDialog");
        QVERIFY(QTest::qWaitForWindowExposed(window.get()) && QTest::qWaitForWindowExposed(dialog));

        const struct
        {
            QWidget *window;
            const char *name;
            const char *original;
            const char *english;
        } samples[] = {
            { window.get(), "groupBox", "激光笔快捷设置", "Laser pen shortcut settings" },
            { window.get(), "label_26", "长按Key6:", "Key6 hold" },
            { dialog, "HightDialog", "高级设置界面", "Advanced settings" },
            { dialog, "pushButton", "确 定", "OK" },
            { topLevel<QDialog>("DialogClient"), "DialogClient", "功能导航", "Function navigation" },
        };
        for (const auto &sample : samples) {
            auto *widget = sample.window->objectName() == sample.name
                ? sample.window
                : sample.window->findChild<QWidget *>(sample.name);
            QCOMPARE(shownText(widget), QString::fromUtf8(chinese ? sample.original : sample.english));
        }
        // Chinese characters and full-width forms.
        const QRegularExpression han("[\\x{2E80}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]");
        for (QWidget *shown : { static_cast<QWidget *>(window.get()), static_cast<QWidget *>(dialog) }) {
            QWidgetList widgets = shown->findChildren<QWidget *>();
            widgets << shown;
            for (QWidget *widget : widgets)
                QVERIFY2(chinese || !shownText(widget).contains(han), qPrintable(shownText(widget)));
        }
        // The balloon of an empty field names it in the same language.
        dialog->findChild<QLineEdit *>("lineEdit_1")->clear();
        QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton"), Qt::LeftButton);
        QTRY_VERIFY(QToolTip::text().startsWith(chinese ? "单击键1, " : "Key1 click, "));
    }

    // Escape, Return, Enter (0: the close button) hide the window with the
    // balloon; other keys do nothing. Hidden, never ended.
    void hidingToTheTray()
    {
        // 0: the title bar's close button; -1: closed as a window manager
        // closes it, which is refused.
        for (int key : { int(Qt::Key_Escape), int(Qt::Key_Return), int(Qt::Key_Enter), 0, -1 }) {
            testsupport::dismissBalloons();
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            QTest::keyClick(window.get(), Qt::Key_Space);
            QVERIFY(window->isVisible());
            if (key > 0)
                QTest::keyClick(window.get(), Qt::Key(key));
            else if (key == 0)
                QTest::mouseClick(window->findChild<QPushButton *>("btnMenu_Close"), Qt::LeftButton);
            else
                QVERIFY(!window->close());
            QVERIFY(!window->isVisible());
            QTRY_COMPARE(testsupport::visibleBalloon(),
                (QStringList { "Prompt", "This is TALVE laser intelligent pen management software!" }));
        }
        QVERIFY(tray() && tray()->isVisible());
        QVERIFY(!QFile::exists(sizesFile().writeTo));
    }

    void waysOut_data()
    {
        QTest::addColumn<int>("signalNumber"); // 0: the tray's exit action
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("stops"); // with every effect program running
        QTest::newRow("exit in normal use") << 0 << int(ModeSwitcher::NormalMode) << QStringList();
        QTest::newRow("SIGINT") << int(SIGINT) << int(ModeSwitcher::MagnifierMode)
                                << QStringList { "stop Loupex" };
        QTest::newRow("SIGTERM") << int(SIGTERM) << int(ModeSwitcher::SpotlightMode)
                                 << QStringList { "stop Halvix" };
        QTest::newRow("SIGHUP") << int(SIGHUP) << int(ModeSwitcher::LaserMode)
                                << QStringList { "stop Dotrix" };
    }

    void waysOut()
    {
        QFETCH(int, signalNumber);
        QFETCH(int, mode);
        QFETCH(QStringList, stops);
        platform.running = { "Dotrix", "Loupex", "Halvix" };
        if (mode != ModeSwitcher::NormalMode)
            session->modes().enter(mode, 4);
        platform.calls.clear();
        // Raised, or picked, in the application's own event loop.
        QTimer deadline;
        deadline.callOnTimeout([] { QCoreApplication::exit(99); });
        deadline.start(kDeadlineMs);
        QTimer::singleShot(0, this, [this, signalNumber] {
            if (signalNumber)
                raise(signalNumber);
            else
                tray()->contextMenu()->actions().last()->trigger();
        });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(platform.callsStartingWith("stop"), stops);
        QVERIFY(!tray());
        QCOMPARE(
            readSizeLevels(sizesFile().writeTo).magnifierSize, mode == ModeSwitcher::MagnifierMode ? 4 : 3);
    }

    // Up where the placement puts it, then gone by itself.
    void notice()
    {
        QVERIFY(QMetaObject::invokeMethod(window.get(), "onSetLazer"));
        auto *notice = topLevel<QDialog>("ShowModeDiag");
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->findChild<QLabel *>("label")->text(), QString("Electronic laser"));
        QCOMPARE(notice->pos(), placement::noticePosition(QGuiApplication::primaryScreen()->geometry()));
        QTRY_VERIFY_WITH_TIMEOUT(!notice->isVisible(), kDeadlineMs);
    }

    void placement_data()
    {
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QPoint>("notice");
        QTest::addColumn<QPoint>("navigation");
        const QRect hd(0, 0, 1920, 1080);
        QTest::newRow("1920 x 1080") << QList<QRect> { hd } << QPoint(5, 5) << QPoint(810, 200)
                                     << QPoint(560, 174);
        QTest::newRow("1366 x 768, 80.4 truncated")
            << QList<QRect> { { 0, 0, 1366, 768 } } << QPoint(5, 5) << QPoint(533, 200) << QPoint(283, 80);
        QTest::newRow("640 x 480, partly off")
            << QList<QRect> { { 0, 0, 640, 480 } } << QPoint(5, 5) << QPoint(170, 200) << QPoint(-80, -6);
        // Laptop and projector side by side: on the pointer's screen, never
        // across the bezel.
        const QList<QRect> two { hd, { 1920, 0, 1920, 1080 } };
        QTest::newRow("two screens, pointer on the second")
            << two << QPoint(3000, 10) << QPoint(2730, 200) << QPoint(2480, 174);
        QTest::newRow("projector above, smaller")
            << QList<QRect> { hd, { 320, -768, 1024, 768 } } << QPoint(400, -5) << QPoint(682, -568)
            << QPoint(432, -688);
        QTest::newRow("pointer in no screen: the primary")
            << two << QPoint(-50, -50) << QPoint(810, 200) << QPoint(560, 174);
    }

    void placement()
    {
        QFETCH(QList<QRect>, screens);
        QFETCH(QPoint, pointer);
        const QRect screen = placement::screenAt(screens, pointer, screens.first());
        QTEST(placement::noticePosition(screen), "notice");
        QTEST(placement::navigationPosition(screen), "navigation");
    }
};

QUORVANT_TRAY_TEST_MAIN(TestWindows)
#include "test_windows.moc"
