// The main window's form as built: the title bar, the key grid with its
// connections, creation and stacking order, and the picture that covers the
// grid so that a click on it opens no combo box but reaches the window.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextEdit>
#include <QtTest>

#include <memory>

#include "inprocess.h"
#include "mainwindow/widget.h"
#include "support/ipcsandbox.h"
#include "support/privatefolder.h"
#include "support/recordingplatform.h"
#include "support/windowinput.h"

namespace {

// The grid as the user would draw it: each row's label and text, and the
// combo boxes of columns 1 to 4, every row 40 pixels below the last.
struct GridRow
{
    const char *label;
    const char *text;
    int combos[4];
};

const GridRow kGrid[] = {
    { "label", "单击Key1:", { 1, 2, 21, 22 } },
    { "label_23", "长按Key1:", { 11, 12, 31, 32 } },
    { "label_2", "单击Key2:", { 3, 4, 23, 24 } },
    { "label_21", "长按Key2:", { 13, 14, 33, 34 } },
    { "label_3", "单击Key3:", { 5, 6, 25, 26 } },
    { "label_19", "长按Key3:", { 15, 16, 35, 36 } },
    { "label_4", "单击Key4:", { 7, 8, 27, 28 } },
    { "label_24", "长按Key4:", { 17, 18, 37, 38 } },
    { "label_5", "单击Key5:", { 51, 52, 53, 54 } },
    { "label_25", "长按Key5:", { 55, 56, 57, 58 } },
    { "label_6", "单击Key6:", { 61, 62, 63, 64 } },
    { "label_26", "长按Key6:", { 65, 66, 67, 68 } },
};
const int kColumnX[] = { 100, 270, 440, 610 };

const QStringList kCreationOrder = QStringLiteral(
    "label combox_1 combox_2 combox_4 label_2 combox_3 combox_6 label_3 combox_5 combox_8 label_4 combox_7 "
    "combox_13 combox_12 combox_16 label_19 label_21 combox_15 combox_11 combox_14 label_23 combox_18 "
    "combox_17 label_24 combox_23 combox_35 combox_33 combox_25 combox_21 combox_31 combox_37 combox_27 "
    "combox_24 combox_36 combox_34 combox_26 combox_22 combox_32 combox_38 combox_28 combox_54 combox_56 "
    "combox_51 combox_55 combox_58 label_5 combox_57 label_25 combox_52 combox_53 combox_67 combox_62 "
    "combox_63 combox_68 combox_65 label_26 combox_66 combox_64 label_6 combox_61")
                                       .split(' ');

QString comboName(int number)
{
    return QStringLiteral("combox_%1").arg(number);
}

// Names of a widget's child widgets, bottom of the stack first.
QStringList stackOf(const QWidget *parent)
{
    QStringList names;
    for (QObject *child : parent->children())
        if (child->isWidgetType())
            names << child->objectName();
    return names;
}

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void grid_data();
    void grid();
    void comboConnections();
    void creationOrderIsFocusOrder();
    void stackingOrder();

    void titleBar();
    void groupBox();
    void textWidgets_data();
    void textWidgets();
    void layouts_data();
    void layouts();
    void geometryAsShown();

    void pictureCoversGrid();
    void pressOnPictureReachesWindow_data();
    void pressOnPictureReachesWindow();

private:
    template <typename T> T *child(const char *name)
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }

    IpcSandbox ipc;
    RecordingPlatform platform;
    std::unique_ptr<Widget> window;
};

void TestLayout::initTestCase()
{
    quorvantInitResources();
}

void TestLayout::init()
{
    sim::inProcessReceiver().reset();
    window = std::make_unique<Widget>(nullptr, &platform);
}

void TestLayout::cleanup()
{
    window.reset();
}

void TestLayout::grid_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bold");

    int y = 20;
    for (const GridRow &row : kGrid) {
        QTest::newRow(row.label) << row.label << "QLabel" << QRect(10, y, 91, 31)
                                 << QString::fromUtf8(row.text) << false;
        for (int column = 0; column < 4; ++column) {
            const QString name = comboName(row.combos[column]);
            QTest::newRow(qPrintable(name))
                << name << "QComboBox" << QRect(kColumnX[column], y, 151, 31) << QString() << true;
        }
        y += 40;
    }
}

void TestLayout::grid()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, bold);

    auto *groupBox = child<QGroupBox>("groupBox");
    QVERIFY(groupBox);
    auto *widget = groupBox->findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->font().pointSize(), 12);
    QCOMPARE(widget->font().bold(), bold);
    // Covered, yet enabled and reachable from the keyboard.
    QVERIFY(widget->isEnabled());
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), text);
    else
        QVERIFY(widget->focusPolicy() != Qt::NoFocus);
}

void TestLayout::comboConnections()
{
    // Each box drives the slot of its own number and no other: disconnecting
    // the expected connection succeeds, after which nothing is left.
    int checked = 0;
    for (const GridRow &row : kGrid) {
        for (int number : row.combos) {
            auto *combo = window->findChild<QComboBox *>(comboName(number));
            QVERIFY(combo);
            const QByteArray slot = "1onKey" + QByteArray::number(number) + "()";
            QVERIFY2(QObject::disconnect(combo, SIGNAL(currentIndexChanged(int)), window.get(), slot),
                qPrintable(comboName(number)));
            QVERIFY2(!QObject::disconnect(combo, SIGNAL(currentIndexChanged(int)), window.get(), nullptr),
                qPrintable(comboName(number)));
            ++checked;
        }
    }
    QCOMPARE(checked, 48);

    auto *close = child<QPushButton>("btnMenu_Close");
    QVERIFY(QObject::disconnect(close, SIGNAL(clicked()), window.get(), SLOT(onExit_clicked())));
}

void TestLayout::creationOrderIsFocusOrder()
{
    auto *groupBox = child<QGroupBox>("groupBox");
    auto *close = child<QPushButton>("btnMenu_Close");
    QVERIFY(groupBox && close);

    // Widgets join their window's focus chain as they are created, and
    // raising them later does not change it.
    QStringList chain;
    for (QWidget *w = window->nextInFocusChain(); w != window.get(); w = w->nextInFocusChain())
        if (w->parentWidget() == groupBox && !w->objectName().startsWith("text"))
            chain << w->objectName();
    QCOMPARE(chain, kCreationOrder);

    // Tab leaves the close button for the first combo box under the picture.
    QWidget *next = close->nextInFocusChain();
    while (next != window.get() && !(next->isEnabled() && next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    QCOMPARE(next->objectName(), QStringLiteral("combox_1"));
}

void TestLayout::stackingOrder()
{
    auto *groupBox = child<QGroupBox>("groupBox");
    QVERIFY(groupBox);
    const QStringList expected
        = QStringList { "textBrowser_2", "textBrowser" } + kCreationOrder + QStringList { "textEdit" };
    QCOMPARE(stackOf(groupBox), expected);

    const QStringList top = stackOf(window.get());
    QVERIFY(top.contains("widget") && top.contains("widget_title"));
    QVERIFY(top.indexOf("widget") < top.indexOf("widget_title"));
}

void TestLayout::titleBar()
{
    QCOMPARE(window->objectName(), QStringLiteral("Widget"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Widget"));
    QCOMPARE(window->size(), QSize(780, 650));
    QVERIFY(window->minimumSize() != window->maximumSize());

    auto *bar = child<QWidget>("widget_title");
    QVERIFY(bar);
    QCOMPARE(bar->minimumSize(), QSize(0, 50));
    QCOMPARE(bar->maximumSize(), QSize(16777215, 50));

    auto *icon = child<QLabel>("label_ic");
    QVERIFY(icon);
    QCOMPARE(icon->minimumSize(), QSize(50, 0));
    QCOMPARE(icon->maximumSize(), QSize(50, 16777215));
    QCOMPARE(icon->styleSheet(),
        QStringLiteral("image: url(:/images/11.png);\nbackground-color: rgb(79,148, 205);"));

    auto *title = child<QLabel>("lab_title");
    QVERIFY(title);
    QCOMPARE(title->text(), QStringLiteral("Vexilo  V2.1.0"));
    QCOMPARE(title->font().family(), QStringLiteral("宋体"));
    QCOMPARE(title->font().pointSize(), 15);
    QVERIFY(title->font().bold());
    QCOMPARE(title->alignment(), Qt::AlignLeading | Qt::AlignLeft | Qt::AlignVCenter);
    QCOMPARE(title->styleSheet(), QStringLiteral("background-color: rgb(79, 148, 205);"));

    auto *holder = child<QWidget>("widget_3");
    QVERIFY(holder);
    QCOMPARE(holder->minimumWidth(), 50);
    QCOMPARE(holder->maximumWidth(), 50);

    auto *close = child<QPushButton>("btnMenu_Close");
    QVERIFY(close);
    QCOMPARE(close->parentWidget(), holder);
    QCOMPARE(close->minimumSize(), QSize(50, 48));
    QCOMPARE(close->maximumSize(), QSize(50, 48));
    QVERIFY(close->autoDefault());
    QVERIFY(!close->isFlat());
    QCOMPARE(close->styleSheet(), QStringLiteral("\nbackground-color: rgb(79, 148, 205);"));

    // Nothing else in the window is a button: no write, reset or advanced
    // control.
    QList<QPushButton *> buttons;
    for (QPushButton *button : window->findChildren<QPushButton *>())
        if (button->window() == window.get())
            buttons << button;
    QCOMPARE(buttons, QList<QPushButton *> { close });
}

void TestLayout::groupBox()
{
    auto *groupBox = child<QGroupBox>("groupBox");
    QVERIFY(groupBox);
    QCOMPARE(groupBox->title(), QStringLiteral("激光笔快捷设置"));
    QCOMPARE(groupBox->font().pointSize(), 12);
    QCOMPARE(groupBox->minimumSize(), QSize(0, 500));
    QCOMPARE(groupBox->maximumSize(), QSize(16777215, 500));
    QVERIFY(!groupBox->layout());
    QCOMPARE(groupBox->findChildren<QComboBox *>(QString(), Qt::FindDirectChildrenOnly).size(), 48);
    QCOMPARE(groupBox->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly).size(), 12);
}

void TestLayout::textWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("styleSheet");
    QTest::addColumn<bool>("enabled");

    const QString browser = QStringLiteral("border-color: rgb(255, 255, 255);");
    QTest::newRow("textEdit") << "textEdit"
                              << "QTextEdit" << QRect(0, -50, 781, 601)
                              << "\nborder-image: url(:/images/6.jpg);" << false;
    QTest::newRow("textBrowser") << "textBrowser"
                                 << "QTextBrowser" << QRect(-30, -70, 831, 651) << browser << true;
    QTest::newRow("textBrowser_2") << "textBrowser_2"
                                   << "QTextBrowser" << QRect(-10, 409, 841, 141) << browser << true;
}

void TestLayout::textWidgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(QString, styleSheet);
    QFETCH(bool, enabled);

    auto *edit = window->findChild<QTextEdit *>(name);
    QVERIFY(edit);
    QCOMPARE(edit->parentWidget()->objectName(), QStringLiteral("groupBox"));
    QCOMPARE(QString::fromLatin1(edit->metaObject()->className()), className);
    QCOMPARE(edit->geometry(), geometry);
    QCOMPARE(edit->styleSheet(), styleSheet);
    QCOMPARE(edit->isEnabled(), enabled);
    QVERIFY(edit->toPlainText().isEmpty());
}

void TestLayout::layouts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("verticalLayout_3") << "verticalLayout_3"
                                      << "Widget" << QStringList { "widget_title", "widget" };
    QTest::newRow("verticalLayout_2") << "verticalLayout_2"
                                      << "widget_title" << QStringList { "horizontalLayout_2" };
    QTest::newRow("horizontalLayout_2")
        << "horizontalLayout_2" << QString() << QStringList { "label_ic", "lab_title", "widget_3" };
    QTest::newRow("horizontalLayout") << "horizontalLayout"
                                      << "widget_3" << QStringList { "btnMenu_Close" };
    QTest::newRow("verticalLayout") << "verticalLayout"
                                    << "widget" << QStringList { "groupBox" };
}

void TestLayout::layouts()
{
    QFETCH(QString, name);
    QFETCH(QString, owner);
    QFETCH(QStringList, items);

    auto *layout = window->findChild<QLayout *>(name);
    QVERIFY(layout);
    if (!owner.isEmpty()) {
        QVERIFY(layout->parentWidget());
        QCOMPARE(layout->parentWidget()->objectName(), owner);
        QCOMPARE(layout->parentWidget()->layout(), layout);
    }
    QCOMPARE(layout->spacing(), 0);
    QCOMPARE(layout->contentsMargins(), QMargins());
    QStringList found;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        found << (item->widget() ? item->widget()->objectName() : item->layout()->objectName());
    }
    QCOMPARE(found, items);
}

void TestLayout::geometryAsShown()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->size(), QSize(780, 650));

    auto inWindow = [this](const char *name) {
        auto *w = child<QWidget>(name);
        return w ? QRect(w->mapTo(window.get(), QPoint()), w->size()) : QRect();
    };
    QCOMPARE(inWindow("widget_title"), QRect(0, 0, 780, 50));
    QCOMPARE(inWindow("label_ic"), QRect(0, 0, 50, 50));
    QCOMPARE(inWindow("lab_title"), QRect(50, 0, 680, 50));
    QCOMPARE(inWindow("widget_3"), QRect(730, 0, 50, 50));
    QCOMPARE(inWindow("btnMenu_Close").size(), QSize(50, 48));
    // The fixed-height group box is centred in the 600 rows below the title,
    // with a band of 50 above and below.
    QCOMPARE(inWindow("widget"), QRect(0, 50, 780, 600));
    QCOMPARE(inWindow("groupBox"), QRect(0, 100, 780, 500));
    // The picture starts 50 rows above the group box and is clipped to it.
    QCOMPARE(inWindow("textEdit"), QRect(0, 50, 781, 601));
    auto *edit = child<QTextEdit>("textEdit");
    QCOMPARE(edit->visibleRegion().boundingRect(), QRect(0, 50, 780, 500));
}

void TestLayout::pictureCoversGrid()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *groupBox = child<QGroupBox>("groupBox");
    auto *edit = child<QTextEdit>("textEdit");
    QVERIFY(groupBox && edit);

    QList<QPoint> points { { 0, 0 }, { 779, 0 }, { 0, 499 }, { 779, 499 }, { 390, 450 } };
    for (const QString &name : kCreationOrder) {
        auto *w = groupBox->findChild<QWidget *>(name);
        QVERIFY(w);
        points << w->geometry().center() << w->geometry().topLeft() << w->geometry().bottomRight();
    }
    for (const QPoint &point : points) {
        QWidget *hit = groupBox->childAt(point);
        QVERIFY2(hit == edit || edit->isAncestorOf(hit),
            qPrintable(QStringLiteral("(%1, %2) hits %3")
                           .arg(point.x())
                           .arg(point.y())
                           .arg(hit ? hit->objectName() : QStringLiteral("nothing"))));
    }
}

void TestLayout::pressOnPictureReachesWindow_data()
{
    QTest::addColumn<QString>("over");
    for (const char *name : { "combox_1", "combox_68", "combox_54", "label_26", "textBrowser_2" })
        QTest::newRow(name) << name;
}

void TestLayout::pressOnPictureReachesWindow()
{
    QFETCH(QString, over);
    window->move(100, 80);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *covered = window->findChild<QWidget *>(over);
    QVERIFY(covered);
    const QPoint at = covered->mapTo(window.get(), covered->rect().center());

    // Through the window system, so that Qt itself picks the widget under
    // the cursor.
    QTest::mousePress(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QVERIFY(window->dragging);
    QCOMPARE(window->dragOffset, window->mapToGlobal(at) - window->pos());
    QVERIFY(!QApplication::activePopupWidget());
    QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QVERIFY(!window->dragging);

    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QVERIFY(!QApplication::activePopupWidget());
    for (QComboBox *combo : window->findChildren<QComboBox *>())
        QVERIFY(!combo->view()->isVisible());
    QCOMPARE(window->pos(), QPoint(100, 80));
}

QUORVANT_PRIVATE_TEST_MAIN(TestLayout)
#include "test_layout.moc"
