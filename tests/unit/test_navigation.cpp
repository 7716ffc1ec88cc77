// The navigation window: where it first appears on desktops of several
// sizes, its form and picture, and that closing and reopening it from the
// tray keeps it where it was left. Escape, Return and Enter do not close it.
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <memory>

#include "inprocess.h"
#include "mainwindow/widget.h"
#include "support/ipcsandbox.h"
#include "support/privatefolder.h"
#include "support/recordingplatform.h"
#include "support/windowinput.h"
#include "ui/dialogclient.h"

using testsupport::screenCentre;
using testsupport::sendMouse;

class TestNavigation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void position_data();
    void position();
    void builtHidden();
    void form();
    void pictureUnscaled();

    void closeHidesOnlyTheDialog();
    void reopenKeepsPosition_data();
    void reopenKeepsPosition();
    void keysDoNotClose_data();
    void keysDoNotClose();

private:
    // Shows the dialog the way the tray does, by a single click on its icon.
    void openFromTray();

    IpcSandbox ipc;
    RecordingPlatform platform;
    std::unique_ptr<Widget> window;
};

void TestNavigation::initTestCase()
{
    quorvantInitResources();
}

void TestNavigation::init()
{
    sim::inProcessReceiver().reset();
    window = std::make_unique<Widget>(nullptr, &platform);
    QVERIFY(window->navDialog);
}

void TestNavigation::cleanup()
{
    window.reset();
}

void TestNavigation::openFromTray()
{
    QVERIFY(window->trayIcon);
    emit window->trayIcon->activated(QSystemTrayIcon::Trigger);
    QVERIFY(window->navDialog->isVisible());
}

void TestNavigation::position_data()
{
    QTest::addColumn<QSize>("desktop");
    QTest::addColumn<QPoint>("placed");

    QTest::newRow("1920x1080") << QSize(1920, 1080) << QPoint(560, 174);
    // 268 x 0.3 = 80.4: truncated.
    QTest::newRow("1366x768") << QSize(1366, 768) << QPoint(283, 80);
    // Narrower than the dialog: placed partly off the left and top edges.
    QTest::newRow("640x480") << QSize(640, 480) << QPoint(-80, -6);
    QTest::newRow("800x500") << QSize(800, 500) << QPoint(0, 0);
    // An odd width: 1125 x 0.5 = 562.5.
    QTest::newRow("1925x1200") << QSize(1925, 1200) << QPoint(562, 210);
    // Truncated toward zero, not down: -15 x 0.5 = -7.5, -1 x 0.3 = -0.3.
    QTest::newRow("785x499") << QSize(785, 499) << QPoint(-7, 0);
}

void TestNavigation::position()
{
    QFETCH(QSize, desktop);
    QFETCH(QPoint, placed);

    // The dialog reads the desktop size the main window recorded.
    window->screenWidth = desktop.width();
    window->screenHeight = desktop.height();
    DialogClient dialog(window.get());
    QCOMPARE(dialog.pos(), placed);
    QCOMPARE(dialog.size(), QSize(850, 550));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.pos(), placed);
    QCOMPARE(dialog.size(), QSize(850, 550));
}

void TestNavigation::builtHidden()
{
    DialogClient *dialog = window->navDialog;
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->parentWidget(), window.get());
    QVERIFY(dialog->isWindow());
    QCOMPARE(dialog->pos(), DialogClient::initialPosition(window->screenWidth, window->screenHeight));
}

void TestNavigation::form()
{
    DialogClient *dialog = window->navDialog;
    QCOMPARE(dialog->objectName(), QStringLiteral("DialogClient"));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("功能导航"));

    auto *title = dialog->findChild<QLabel *>("lab_title");
    QVERIFY(title);
    QCOMPARE(title->text(), QStringLiteral("Vexilo V2.1.0"));
    QCOMPARE(title->font().family(), QStringLiteral("宋体"));
    QCOMPARE(title->font().pointSize(), 15);
    QVERIFY(title->font().bold());

    auto *close = dialog->findChild<QPushButton *>("btnMenu_Close");
    QVERIFY(close);
    QVERIFY(close->isFlat());
    QVERIFY(close->autoDefault());
    QCOMPARE(close->minimumSize(), QSize(50, 48));
    QCOMPARE(close->maximumSize(), QSize(50, 48));
    QVERIFY(QObject::disconnect(close, SIGNAL(clicked()), dialog, SLOT(onExit())));

    // The title bar takes its colours from the application style sheet.
    for (const char *name : { "widget_title", "label_ic", "lab_title", "widget_3", "btnMenu_Close" }) {
        auto *w = dialog->findChild<QWidget *>(name);
        QVERIFY2(w, name);
        QVERIFY2(w->styleSheet().isEmpty(), name);
    }

    for (const char *name : { "verticalLayout", "verticalLayout_3" }) {
        auto *layout = dialog->findChild<QLayout *>(name);
        QVERIFY2(layout, name);
        QCOMPARE(layout->spacing(), 0);
        QCOMPARE(layout->contentsMargins(), QMargins());
    }
    QCOMPARE(dialog->layout()->objectName(), QStringLiteral("verticalLayout"));
    QCOMPARE(dialog->layout()->itemAt(0)->widget()->objectName(), QStringLiteral("widget_title"));
    QCOMPARE(dialog->layout()->itemAt(1)->widget()->objectName(), QStringLiteral("widget"));
}

void TestNavigation::pictureUnscaled()
{
    const QString file = QCoreApplication::applicationDirPath() + "/data/pp.png";
    QVERIFY2(QFile::exists(file), "the data folder sits beside the tests");
    const QImage picture(file);
    QVERIFY(!picture.isNull());

    openFromTray();
    DialogClient *dialog = window->navDialog;
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    auto *label = dialog->findChild<QLabel *>("label");
    QVERIFY(label);
    QVERIFY(label->text().isEmpty());
    QVERIFY(!label->hasScaledContents());
    QCOMPARE(label->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    const QPixmap shown = testsupport::labelPixmap(label);
    QCOMPARE(shown.size(), picture.size());
    QCOMPARE(shown.toImage().convertToFormat(QImage::Format_ARGB32),
        picture.convertToFormat(QImage::Format_ARGB32));

    // The picture area is everything below the title bar.
    QCOMPARE(QRect(label->mapTo(dialog, QPoint()), label->size()), QRect(0, 50, 850, 500));
}

void TestNavigation::closeHidesOnlyTheDialog()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    openFromTray();
    QPointer<DialogClient> dialog = window->navDialog;

    QTest::mouseClick(dialog->findChild<QPushButton *>("btnMenu_Close"), Qt::LeftButton);
    QVERIFY(dialog);
    QVERIFY(!dialog->isVisible());
    QVERIFY(window->isVisible());

    // The same dialog comes back; the main window may stay in the tray.
    window->hide();
    openFromTray();
    QCOMPARE(window->navDialog, dialog.data());
    QVERIFY(!window->isVisible());
}

void TestNavigation::reopenKeepsPosition_data()
{
    QTest::addColumn<QPoint>("dragBy");
    QTest::newRow("not moved") << QPoint(0, 0);
    QTest::newRow("dragged right and down") << QPoint(37, 21);
    QTest::newRow("dragged partly off the screen") << QPoint(-400, -120);
}

void TestNavigation::reopenKeepsPosition()
{
    QFETCH(QPoint, dragBy);

    openFromTray();
    DialogClient *dialog = window->navDialog;
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    const QPoint first = dialog->pos();
    QCOMPARE(first, DialogClient::initialPosition(window->screenWidth, window->screenHeight));

    auto *title = dialog->findChild<QLabel *>("lab_title");
    const QPoint grab = screenCentre(title);
    sendMouse(title, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
    sendMouse(title, QEvent::MouseMove, grab + dragBy, Qt::NoButton, Qt::LeftButton);
    sendMouse(title, QEvent::MouseButtonRelease, grab + dragBy, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(dialog->pos(), first + dragBy);

    QTest::mouseClick(dialog->findChild<QPushButton *>("btnMenu_Close"), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());

    for (int reopening = 0; reopening < 2; ++reopening) {
        openFromTray();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dialog->pos(), first + dragBy);
        QCOMPARE(dialog->size(), QSize(850, 550));
        QVERIFY(dialog->windowFlags().testFlag(Qt::FramelessWindowHint));
        QMetaObject::invokeMethod(dialog, "onExit");
        QVERIFY(!dialog->isVisible());
    }
}

void TestNavigation::keysDoNotClose_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("ignored");

    QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier) << true;
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier) << true;
    QTest::newRow("Enter on the keypad") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true;
    QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier) << false;
    QTest::newRow("Alt+F4") << int(Qt::Key_F4) << int(Qt::AltModifier) << false;
}

void TestNavigation::keysDoNotClose()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, ignored);

    openFromTray();
    DialogClient *dialog = window->navDialog;
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    const int result = dialog->result();

    QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers));
    QApplication::sendEvent(dialog, &press);
    QCOMPARE(press.isAccepted(), !ignored);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::KeyboardModifiers(modifiers));
    QApplication::sendEvent(dialog, &release);

    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->result(), result);

    // From the keyboard the key goes to whatever has the focus in the active
    // window, which must not be a button that clicks itself on Return.
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    QTest::keyClick(dialog->windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->result(), result);
}

QUORVANT_PRIVATE_TEST_MAIN(TestNavigation)
#include "test_navigation.moc"
