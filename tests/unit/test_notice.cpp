// The mode notice: where it appears, how it looks, and the countdown that
// takes it down again.
#include <QLabel>
#include <QTimerEvent>
#include <QtTest>

#include "mainwindow/widget.h"
#include "modes/showmodediag.h"
#include "support/ipcsandbox.h"
#include "support/recordingplatform.h"

class NoticeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void noticeSlots_data();
    void noticeSlots();
    void position_data();
    void position();

    void countdownHidesOnTheTenthTick();
    void newNoticeRestartsTheCount();
    void timerTakesTheNoticeDown();

private:
    // One tick of the notice's 200 ms countdown, delivered at once.
    static void tick(ShowModeDiag *notice, int times = 1);
    QLabel *label() const { return window->modeDiag->findChild<QLabel *>("label"); }

    IpcSandbox sandbox;
    RecordingPlatform *platform = nullptr;
    Widget *window = nullptr;
};

void NoticeTest::initTestCase()
{
    quorvantInitResources();
}

void NoticeTest::init()
{
    platform = new RecordingPlatform;
    window = new Widget(nullptr, platform);
}

void NoticeTest::cleanup()
{
    delete window;
    window = nullptr;
    delete platform;
    platform = nullptr;
}

void NoticeTest::tick(ShowModeDiag *notice, int times)
{
    for (int i = 0; i < times; ++i) {
        QTimerEvent event(0);
        QCoreApplication::sendEvent(notice, &event);
    }
}

void NoticeTest::noticeSlots_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("text");

    QTest::newRow("laser") << QByteArray("onSetLazer") << "Electronic laser";
    QTest::newRow("magnifier") << QByteArray("onSetMagnify") << "Magnifier";
    QTest::newRow("spotlight") << QByteArray("onSetSpotLight") << "Spotlight";
    QTest::newRow("normal use") << QByteArray("onSetNormalUse") << "Normal use";
}

// Each notice comes up with its text in red bold 16-point type, in a
// half-transparent window without frame, while the main window stays hidden.
void NoticeTest::noticeSlots()
{
    QFETCH(QByteArray, slot);
    QFETCH(QString, text);

    QVERIFY(window->modeDiag);
    QVERIFY(!window->modeDiag->isVisible());
    QVERIFY(QMetaObject::invokeMethod(window, slot.constData()));

    ShowModeDiag *notice = window->modeDiag;
    QVERIFY(notice->isVisible());
    QVERIFY(!window->isVisible());
    QCOMPARE(label()->text(), text);
    QCOMPARE(label()->alignment(), Qt::AlignCenter);

    for (QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        QCOMPARE(label()->palette().color(group, QPalette::WindowText), QColor(Qt::red));
    const QFont font = label()->font();
    QCOMPARE(font.family(), QString("Microsoft YaHei"));
    QCOMPARE(font.pointSize(), 16);
    QCOMPARE(font.weight(), 75);
    QVERIFY(!font.italic());

    // The window system keeps the opacity in 8 bits.
    QVERIFY(qAbs(notice->windowOpacity() - 0.5) < 0.01);
    QCOMPARE(notice->windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(notice->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(notice->size(), QSize(300, 100));
    QCOMPARE(notice->pos(), QPoint(window->screenWidth / 2 - 150, 200));
}

void NoticeTest::position_data()
{
    QTest::addColumn<int>("screenWidth");
    QTest::addColumn<int>("x");

    QTest::newRow("1920") << 1920 << 810;
    QTest::newRow("1366") << 1366 << 533;
    QTest::newRow("odd width rounds down") << 1025 << 362;
    QTest::newRow("two screens side by side") << 3840 << 1770;
}

// Centred on the desktop's width for a 300-pixel window, 200 pixels down; the
// place stays when the notice is put up again.
void NoticeTest::position()
{
    QFETCH(int, screenWidth);
    QFETCH(int, x);

    window->screenWidth = screenWidth;
    delete window->modeDiag;
    window->modeDiag = new ShowModeDiag(window);
    QCOMPARE(window->modeDiag->pos(), QPoint(x, 200));

    QVERIFY(QMetaObject::invokeMethod(window, "onSetMagnify"));
    QVERIFY(window->modeDiag->isVisible());
    QCOMPARE(window->modeDiag->pos(), QPoint(x, 200));
    QCOMPARE(window->modeDiag->geometry(), QRect(x, 200, 300, 100));
}

void NoticeTest::countdownHidesOnTheTenthTick()
{
    QVERIFY(QMetaObject::invokeMethod(window, "onSetSpotLight"));
    ShowModeDiag *notice = window->modeDiag;
    tick(notice, 9);
    QVERIFY(notice->isVisible());
    tick(notice);
    QVERIFY(!notice->isVisible());
}

void NoticeTest::newNoticeRestartsTheCount()
{
    QVERIFY(QMetaObject::invokeMethod(window, "onSetLazer"));
    ShowModeDiag *notice = window->modeDiag;
    tick(notice, 5);
    QVERIFY(QMetaObject::invokeMethod(window, "onSetNormalUse"));
    QCOMPARE(label()->text(), QString("Normal use"));
    tick(notice, 9);
    QVERIFY(notice->isVisible());
    tick(notice);
    QVERIFY(!notice->isVisible());
}

void NoticeTest::timerTakesTheNoticeDown()
{
    QVERIFY(QMetaObject::invokeMethod(window, "onSetLazer"));
    QVERIFY(window->modeDiag->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!window->modeDiag->isVisible(), 30000);
}

QTEST_MAIN(NoticeTest)
#include "test_notice.moc"
