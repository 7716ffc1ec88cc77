// The frameless windows: dragging by whatever the children leave to the
// window, double clicks on the title, the title bar's icon and close cross,
// the picture that covers the main window's grid, and the navigation
// window's place, picture and keys.
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

#include "inprocess.h"
#include "mainwindow/widget.h"
#include "support/ipcsandbox.h"
#include "support/privatefolder.h"
#include "support/recordingplatform.h"
#include "ui/dialogclient.h"
#include "ui/titlebar.h"

namespace {

const QString kMain = QStringLiteral("main window");
const QString kNavigation = QStringLiteral("navigation dialog");
const QPoint kStart(200, 150);

// In screen positions, because a dragged window moves under the cursor. Qt
// hands an event the target leaves on to its parents, as from the window
// system.
void sendMouse(QWidget *target, QEvent::Type type, const QPoint &screenPos, Qt::MouseButton button,
    Qt::MouseButtons buttons)
{
    const QPointF local = target->mapFromGlobal(screenPos);
    QMouseEvent event(type, local, local, QPointF(screenPos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void leftDrag(QWidget *target, const QPoint &from, const QPoint &by)
{
    sendMouse(target, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(target, QEvent::MouseMove, from + by, Qt::NoButton, Qt::LeftButton);
    sendMouse(target, QEvent::MouseButtonRelease, from + by, Qt::LeftButton, Qt::NoButton);
}

QPoint screenCentre(const QWidget *widget)
{
    return widget->mapToGlobal(widget->rect().center());
}

QImage argb(const QPixmap &pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestChrome : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quorvantInitResources(); }
    void init() { sim::inProcessReceiver().reset(); }
    void cleanup() { main.reset(); }

    void drag_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("grab");
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("held");
        QTest::addColumn<bool>("releaseFirst");
        QTest::addColumn<bool>("moves");

        const int left = Qt::LeftButton;
        for (const QString &window : { kMain, kNavigation }) {
            auto row = [&](const char *name) -> QTestData & {
                return QTest::newRow(qPrintable(window + ": " + name)) << window;
            };
            row("left drag on the title") << "lab_title" << left << left << false << true;
            row("left drag on the icon") << "label_ic" << left << left << false << true;
            row("right button also held")
                << "lab_title" << left << int(left | Qt::RightButton) << false << true;
            row("right button") << "lab_title" << int(Qt::RightButton) << int(Qt::RightButton) << false
                                << false;
            row("moves after the release") << "lab_title" << left << left << true << false;
            row("moves with no button held") << "lab_title" << left << int(Qt::NoButton) << false << false;
            // The disabled text edit and the picture label pass presses on.
            row("picture") << (window == kMain ? "textEdit" : "label") << left << left << false << true;
        }
    }

    void drag()
    {
        QFETCH(QString, window);
        QFETCH(QString, grab);
        QFETCH(int, button);
        QFETCH(int, held);
        QFETCH(bool, releaseFirst);
        QFETCH(bool, moves);

        QWidget *shown = showWindow(window);
        QVERIFY(shown);
        auto *grabbed = shown->findChild<QWidget *>(grab);
        QVERIFY(grabbed);
        const QPoint pressAt = screenCentre(grabbed);
        // The deepest widget under the cursor gets the press first.
        QWidget *target = shown->childAt(shown->mapFromGlobal(pressAt));
        QVERIFY(target == grabbed || grabbed->isAncestorOf(target));

        sendMouse(
            target, QEvent::MouseButtonPress, pressAt, Qt::MouseButton(button), Qt::MouseButtons(button));
        if (releaseFirst)
            sendMouse(target, QEvent::MouseButtonRelease, pressAt, Qt::MouseButton(button), Qt::NoButton);
        QPoint delta;
        for (const QPoint &step : { QPoint(30, 40), QPoint(-50, 10), QPoint(3, -7) }) {
            delta = step;
            sendMouse(target, QEvent::MouseMove, pressAt + delta, Qt::NoButton, Qt::MouseButtons(held));
            // The grabbed point stays under the cursor at every step.
            QCOMPARE(shown->pos(), moves ? kStart + delta : kStart);
        }
        sendMouse(target, QEvent::MouseButtonRelease, pressAt + delta, Qt::MouseButton(button), Qt::NoButton);
        QVERIFY(!isDragging(shown));
        const QPoint after = shown->pos();

        // The next drag keeps the offset of its own press: the window does not
        // jump to the first one's.
        auto *title = shown->findChild<QLabel *>("lab_title");
        leftDrag(title, title->mapToGlobal(QPoint(title->width() - 10, 30)), QPoint(-1, 0));
        QCOMPARE(shown->pos(), after + QPoint(-1, 0));
    }

    void doubleClick_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("swallowed");
        for (const QString &window : { kMain, kNavigation }) {
            QTest::newRow(qPrintable(window + ": title")) << window << "lab_title" << true;
            // Only the title is watched: elsewhere the window takes it as a press.
            QTest::newRow(qPrintable(window + ": icon")) << window << "label_ic" << false;
        }
    }

    void doubleClick()
    {
        QFETCH(QString, window);
        QFETCH(QString, target);
        QFETCH(bool, swallowed);

        QWidget *shown = showWindow(window);
        QVERIFY(shown);
        auto *clicked = shown->findChild<QWidget *>(target);
        sendMouse(
            clicked, QEvent::MouseButtonDblClick, screenCentre(clicked), Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(isDragging(shown), !swallowed);
        sendMouse(clicked, QEvent::MouseButtonRelease, screenCentre(clicked), Qt::LeftButton, Qt::NoButton);

        QCOMPARE(shown->windowState(), Qt::WindowNoState);
        QCOMPARE(shown->pos(), kStart);
    }

    void titleBar_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow(qPrintable(kMain)) << kMain;
        QTest::newRow(qPrintable(kNavigation)) << kNavigation;
    }

    void titleBar()
    {
        QFETCH(QString, window);
        QWidget *shown = showWindow(window);
        QVERIFY(shown);

        // The cross is drawn from the registered icon font, which has it.
        auto *close = shown->findChild<QPushButton *>("btnMenu_Close");
        QCOMPARE(close->text(), QString(QChar(0xF00D)));
        QCOMPARE(close->font().pointSize(), 15);
        QCOMPARE(QFontInfo(close->font()).family(), close->font().family());
        QVERIFY(QFontMetrics(close->font()).inFontUcs4(0xF00D));

        // The navigation picture comes from the data folder, unscaled.
        if (window == kNavigation) {
            const QImage picture(QCoreApplication::applicationDirPath() + "/data/pp.png");
            QVERIFY2(!picture.isNull(), "no data folder beside the tests");
            auto *label = shown->findChild<QLabel *>("label");
            QVERIFY(!label->hasScaledContents());
            QCOMPARE(argb(label->pixmap(Qt::ReturnByValue)), picture.convertToFormat(QImage::Format_ARGB32));
        }
    }

    void titleIconFromDataFolder()
    {
        // The compiled-in icon goes even when the data folder has none.
        QTemporaryDir data;
        QLabel icon;
        icon.setPixmap(QPixmap(":/images/11.png"));
        titlebar::setIcon(&icon, data.path());
        QVERIFY(icon.pixmap(Qt::ReturnByValue).isNull());
        QImage picture(40, 30, QImage::Format_ARGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(data.filePath("11.png")));
        titlebar::setIcon(&icon, data.path());
        QCOMPARE(argb(icon.pixmap(Qt::ReturnByValue)), picture);
    }

    void closeGlyphWithoutIconFont()
    {
        QPushButton button;
        const QFont before = button.font();
        QVERIFY(!titlebar::setCloseGlyph(&button, QStringLiteral(":/images/no-such-font.ttf")));
        QCOMPARE(button.text(), QString(QChar(0x00D7)));
        QCOMPARE(button.font(), before);
    }

    void pictureCoversGrid()
    {
        QWidget *shown = showWindow(kMain);
        QVERIFY(shown);
        auto *groupBox = shown->findChild<QGroupBox *>("groupBox");
        auto *edit = shown->findChild<QTextEdit *>("textEdit");
        QVERIFY(groupBox && edit && !edit->isEnabled());

        // Stacked on top of every label and box of the grid.
        for (QWidget *w : groupBox->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (w == edit)
                continue;
            QWidget *hit = groupBox->childAt(w->geometry().center());
            QVERIFY2(hit == edit || edit->isAncestorOf(hit), qPrintable(w->objectName()));
        }

        // Through the window system, so that Qt itself picks the widget under the
        // cursor: a press over a box drags the window and opens no list.
        for (const char *name : { "combox_1", "combox_68", "textBrowser_2" }) {
            auto *covered = shown->findChild<QWidget *>(name);
            const QPoint at = covered->mapTo(shown, covered->rect().center());
            QTest::mousePress(shown->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
            QVERIFY2(main->dragging, name);
            QTest::mouseRelease(shown->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
            QTest::mouseClick(shown->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
            QVERIFY(!QApplication::activePopupWidget());
        }
        QCOMPARE(shown->pos(), kStart);
    }

    void navigationPosition_data()
    {
        QTest::addColumn<QSize>("desktop");
        QTest::addColumn<QPoint>("placed");
        QTest::newRow("1920x1080") << QSize(1920, 1080) << QPoint(560, 174);
        QTest::newRow("1366x768, 80.4 truncated") << QSize(1366, 768) << QPoint(283, 80);
        QTest::newRow("640x480, partly off screen") << QSize(640, 480) << QPoint(-80, -6);
        // Toward zero, not down: -7.5 and -0.3.
        QTest::newRow("785x499, truncated toward zero") << QSize(785, 499) << QPoint(-7, 0);
    }

    void navigationPosition()
    {
        QFETCH(QSize, desktop);
        QFETCH(QPoint, placed);

        main = std::make_unique<Widget>(nullptr, &platform);
        main->screenWidth = desktop.width();
        main->screenHeight = desktop.height();
        DialogClient dialog(main.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.pos(), placed);
        QCOMPARE(dialog.size(), QSize(850, 550));
    }

    void navigationReopensWhereLeft_data()
    {
        QTest::addColumn<QPoint>("dragBy");
        QTest::newRow("not moved") << QPoint(0, 0);
        QTest::newRow("dragged right and down") << QPoint(37, 21);
        QTest::newRow("dragged partly off the screen") << QPoint(-400, -120);
    }

    void navigationReopensWhereLeft()
    {
        QFETCH(QPoint, dragBy);
        main = std::make_unique<Widget>(nullptr, &platform);
        main->show();
        DialogClient *dialog = openNavigationFromTray();
        QVERIFY(dialog);
        const QPoint first = DialogClient::initialPosition(main->screenWidth, main->screenHeight);
        QCOMPARE(dialog->pos(), first);
        auto *title = dialog->findChild<QLabel *>("lab_title");
        leftDrag(title, screenCentre(title), dragBy);
        QCOMPARE(dialog->pos(), first + dragBy);

        // The close button hides the dialog alone; the same one comes back.
        QTest::mouseClick(dialog->findChild<QPushButton *>("btnMenu_Close"), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QVERIFY(main->isVisible());
        main->hide();
        for (int reopening = 0; reopening < 2; ++reopening) {
            QCOMPARE(openNavigationFromTray(), dialog);
            QCOMPARE(dialog->pos(), first + dragBy);
            QCOMPARE(dialog->size(), QSize(850, 550));
            QVERIFY(QMetaObject::invokeMethod(dialog, "onExit"));
            QVERIFY(!dialog->isVisible());
        }
    }

    void navigationKeysDoNotClose_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier);
        QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("Enter on the keypad") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
        // Would click a close button that had the focus.
        QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier);
    }

    void navigationKeysDoNotClose()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);

        DialogClient *dialog = openNavigationFromTray();
        QVERIFY(dialog);
        const int result = dialog->result();
        // From the keyboard the key goes to the focus widget, which must not be
        // a button that clicks itself on Return, then to the dialog, which
        // must not take Escape or Return as a reason to close.
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QTest::keyClick(dialog->windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->result(), result);
    }

private:
    QWidget *showWindow(const QString &which)
    {
        main = std::make_unique<Widget>(nullptr, &platform);
        QWidget *window = which == kMain ? static_cast<QWidget *>(main.get()) : main->navDialog;
        window->move(kStart);
        window->show();
        return QTest::qWaitForWindowExposed(window) ? window : nullptr;
    }

    bool isDragging(QWidget *window) const
    {
        return window == main.get() ? main->dragging : main->navDialog->dragging;
    }

    DialogClient *openNavigationFromTray()
    {
        if (!main)
            main = std::make_unique<Widget>(nullptr, &platform);
        emit main->trayIcon->activated(QSystemTrayIcon::Trigger);
        return QTest::qWaitForWindowExposed(main->navDialog) ? main->navDialog : nullptr;
    }

    IpcSandbox ipc;
    RecordingPlatform platform;
    std::unique_ptr<Widget> main;
};

QUORVANT_PRIVATE_TEST_MAIN(TestChrome)
#include "test_chrome.moc"
