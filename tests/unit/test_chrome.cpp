// The frameless chrome both windows share: dragging by whatever the children
// leave to the window, double clicks on the title, the icon-font close cross
// and the title icon read from beside the program.
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
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
#include "support/windowinput.h"
#include "ui/dialogclient.h"
#include "ui/titlebar.h"

using testsupport::screenCentre;
using testsupport::sendMouse;

namespace {

const QString kMain = QStringLiteral("main window");
const QString kNavigation = QStringLiteral("navigation dialog");

// Where each test puts the window before it starts dragging.
const QPoint kStart(200, 150);

bool isDragging(QWidget *window)
{
    if (auto *dialog = qobject_cast<DialogClient *>(window))
        return dialog->dragging;
    return static_cast<Widget *>(window)->dragging;
}

} // namespace

class TestChrome : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void drag_data();
    void drag();
    void secondDragKeepsItsOwnGrabPoint_data();
    void secondDragKeepsItsOwnGrabPoint();
    void doubleClick_data();
    void doubleClick();

    void closeGlyph_data();
    void closeGlyph();
    void closeGlyphWithoutIconFont();
    void titleIcon_data();
    void titleIcon();
    void formIconReplacedFromDataFolder_data();
    void formIconReplacedFromDataFolder();

private:
    void addWindowRows();
    // Builds the main window and shows the window named by `which` at kStart.
    QWidget *showWindow(const QString &which);

    IpcSandbox ipc;
    RecordingPlatform platform;
    std::unique_ptr<Widget> main;
};

void TestChrome::initTestCase()
{
    quorvantInitResources();
}

void TestChrome::init()
{
    sim::inProcessReceiver().reset();
}

void TestChrome::cleanup()
{
    main.reset();
}

void TestChrome::addWindowRows()
{
    QTest::addColumn<QString>("window");
    QTest::newRow(qPrintable(kMain)) << kMain;
    QTest::newRow(qPrintable(kNavigation)) << kNavigation;
}

QWidget *TestChrome::showWindow(const QString &which)
{
    main = std::make_unique<Widget>(nullptr, &platform);
    QWidget *window = which == kMain ? static_cast<QWidget *>(main.get()) : main->navDialog;
    window->move(kStart);
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return nullptr;
    return window;
}

void TestChrome::drag_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("grab");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("held");
    QTest::addColumn<bool>("releaseFirst");
    QTest::addColumn<QList<QPoint>>("moves");
    QTest::addColumn<QPoint>("moved");

    const QList<QPoint> path { { 30, 40 }, { -50, 10 }, { 3, -7 } };
    for (const QString &window : { kMain, kNavigation }) {
        auto row = [&](const char *name) -> QTestData & {
            return QTest::newRow(qPrintable(window + ": " + name)) << window;
        };
        row("left drag on the title")
            << "lab_title" << int(Qt::LeftButton) << int(Qt::LeftButton) << false << path << QPoint(3, -7);
        row("left drag on the icon") << "label_ic" << int(Qt::LeftButton) << int(Qt::LeftButton) << false
                                     << path << QPoint(3, -7);
        row("left drag with another button also held")
            << "lab_title" << int(Qt::LeftButton) << int(Qt::LeftButton | Qt::RightButton) << false << path
            << QPoint(3, -7);
        row("right button") << "lab_title" << int(Qt::RightButton) << int(Qt::RightButton) << false << path
                            << QPoint();
        row("middle button") << "lab_title" << int(Qt::MiddleButton) << int(Qt::MiddleButton) << false << path
                             << QPoint();
        row("moves after the release")
            << "lab_title" << int(Qt::LeftButton) << int(Qt::LeftButton) << true << path << QPoint();
        row("moves with no button held")
            << "lab_title" << int(Qt::LeftButton) << int(Qt::NoButton) << false << path << QPoint();
    }
    // The picture lies under nothing that takes the mouse: the main window's
    // disabled text edit and the navigation window's label pass presses on.
    QTest::newRow("main window: left drag on the picture")
        << kMain << "textEdit" << int(Qt::LeftButton) << int(Qt::LeftButton) << false << path
        << QPoint(3, -7);
    QTest::newRow("navigation dialog: left drag on the picture")
        << kNavigation << "label" << int(Qt::LeftButton) << int(Qt::LeftButton) << false << path
        << QPoint(3, -7);
}

void TestChrome::drag()
{
    QFETCH(QString, window);
    QFETCH(QString, grab);
    QFETCH(int, button);
    QFETCH(int, held);
    QFETCH(bool, releaseFirst);
    QFETCH(QList<QPoint>, moves);
    QFETCH(QPoint, moved);

    QWidget *shown = showWindow(window);
    QVERIFY(shown);
    auto *grabbed = shown->findChild<QWidget *>(grab);
    QVERIFY(grabbed);
    const QPoint pressAt = screenCentre(grabbed);
    // The deepest widget under the cursor gets the press first, as it would
    // from the window system.
    QWidget *target = shown->childAt(shown->mapFromGlobal(pressAt));
    QVERIFY(target);
    QVERIFY(target == grabbed || grabbed->isAncestorOf(target));

    sendMouse(target, QEvent::MouseButtonPress, pressAt, Qt::MouseButton(button), Qt::MouseButtons(button));
    if (releaseFirst)
        sendMouse(target, QEvent::MouseButtonRelease, pressAt, Qt::MouseButton(button), Qt::NoButton);
    for (const QPoint &delta : moves) {
        sendMouse(target, QEvent::MouseMove, pressAt + delta, Qt::NoButton, Qt::MouseButtons(held));
        // The grabbed point stays under the cursor at every step.
        if (!moved.isNull())
            QCOMPARE(shown->pos(), kStart + delta);
    }
    QCOMPARE(shown->pos(), kStart + moved);

    sendMouse(
        target, QEvent::MouseButtonRelease, pressAt + moves.last(), Qt::MouseButton(button), Qt::NoButton);
    QVERIFY(!isDragging(shown));
    // Moving on without a press leaves the window where it is.
    sendMouse(target, QEvent::MouseMove, pressAt + QPoint(90, 90), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(shown->pos(), kStart + moved);
}

void TestChrome::secondDragKeepsItsOwnGrabPoint_data()
{
    addWindowRows();
}

void TestChrome::secondDragKeepsItsOwnGrabPoint()
{
    QFETCH(QString, window);
    QWidget *shown = showWindow(window);
    QVERIFY(shown);
    auto *title = shown->findChild<QLabel *>("lab_title");
    QVERIFY(title);

    // First drag grabs the title near its left end, the second near its right
    // end: neither makes the window jump at the first move.
    const QPoint first = title->mapToGlobal(QPoint(10, 10));
    sendMouse(title, QEvent::MouseButtonPress, first, Qt::LeftButton, Qt::LeftButton);
    sendMouse(title, QEvent::MouseMove, first + QPoint(100, 50), Qt::NoButton, Qt::LeftButton);
    sendMouse(title, QEvent::MouseButtonRelease, first + QPoint(100, 50), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(shown->pos(), kStart + QPoint(100, 50));

    const QPoint second = title->mapToGlobal(QPoint(title->width() - 10, 30));
    sendMouse(title, QEvent::MouseButtonPress, second, Qt::LeftButton, Qt::LeftButton);
    sendMouse(title, QEvent::MouseMove, second + QPoint(-1, 0), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(shown->pos(), kStart + QPoint(99, 50));
    sendMouse(title, QEvent::MouseButtonRelease, second + QPoint(-1, 0), Qt::LeftButton, Qt::NoButton);
}

void TestChrome::doubleClick_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("swallowed");

    for (const QString &window : { kMain, kNavigation }) {
        QTest::newRow(qPrintable(window + ": on the title")) << window << "lab_title" << true;
        // Only the title is watched: elsewhere a double click reaches the
        // window, which takes it as a press.
        QTest::newRow(qPrintable(window + ": on the icon")) << window << "label_ic" << false;
    }
}

void TestChrome::doubleClick()
{
    QFETCH(QString, window);
    QFETCH(QString, target);
    QFETCH(bool, swallowed);

    QWidget *shown = showWindow(window);
    QVERIFY(shown);
    auto *clicked = shown->findChild<QWidget *>(target);
    QVERIFY(clicked);
    const QSize size = shown->size();

    sendMouse(clicked, QEvent::MouseButtonDblClick, screenCentre(clicked), Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(isDragging(shown), !swallowed);
    sendMouse(clicked, QEvent::MouseButtonRelease, screenCentre(clicked), Qt::LeftButton, Qt::NoButton);

    // Never maximised, restored or moved.
    QCOMPARE(shown->windowState(), Qt::WindowNoState);
    QCOMPARE(shown->pos(), kStart);
    QCOMPARE(shown->size(), size);
    QVERIFY(shown->isVisible());
}

void TestChrome::closeGlyph_data()
{
    addWindowRows();
}

void TestChrome::closeGlyph()
{
    QFETCH(QString, window);
    QWidget *shown = showWindow(window);
    QVERIFY(shown);
    auto *close = shown->findChild<QPushButton *>("btnMenu_Close");
    QVERIFY(close);

    QCOMPARE(close->text(), QString(QChar(0xF00D)));
    QCOMPARE(close->font().pointSize(), 15);
    // The font actually drawn is the icon font, and it has the cross.
    QCOMPARE(QFontInfo(close->font()).family(), close->font().family());
    QVERIFY(QFontMetrics(close->font()).inFontUcs4(0xF00D));
    QVERIFY(QFontDatabase().families().contains(close->font().family()));
}

void TestChrome::closeGlyphWithoutIconFont()
{
    QPushButton button;
    const QFont before = button.font();
    QVERIFY(!titlebar::setCloseGlyph(&button, QStringLiteral(":/images/no-such-font.ttf")));
    QCOMPARE(button.text(), QString(QChar(0x00D7)));
    QCOMPARE(button.font(), before);
}

void TestChrome::titleIcon_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("11.png beside the program") << true;
    QTest::newRow("11.png missing") << false;
}

void TestChrome::titleIcon()
{
    QFETCH(bool, present);
    QTemporaryDir data;
    QVERIFY(data.isValid());
    QImage picture(40, 30, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    if (present)
        QVERIFY(picture.save(data.filePath("11.png")));

    QLabel icon;
    icon.setPixmap(QPixmap(":/images/11.png"));
    QVERIFY(!testsupport::labelPixmap(&icon).isNull());

    titlebar::setIcon(&icon, data.path());
    const QPixmap shown = testsupport::labelPixmap(&icon);
    // The compiled-in picture goes even when there is nothing to replace it.
    QCOMPARE(shown.isNull(), !present);
    if (present)
        QCOMPARE(shown.toImage().convertToFormat(QImage::Format_ARGB32), picture);
}

void TestChrome::formIconReplacedFromDataFolder_data()
{
    addWindowRows();
}

void TestChrome::formIconReplacedFromDataFolder()
{
    QFETCH(QString, window);
    const QString file = QCoreApplication::applicationDirPath() + "/data/11.png";
    QVERIFY2(QFile::exists(file), "the data folder sits beside the tests");

    QWidget *shown = showWindow(window);
    QVERIFY(shown);
    auto *icon = shown->findChild<QLabel *>("label_ic");
    QVERIFY(icon);
    const QImage expected = QImage(file).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(testsupport::labelPixmap(icon).toImage().convertToFormat(QImage::Format_ARGB32), expected);
}

QUORVANT_PRIVATE_TEST_MAIN(TestChrome)
#include "test_chrome.moc"
