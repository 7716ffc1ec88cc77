#include "pictures.h"

#include "ui_dialogclient.h"
#include "ui_hightdialog.h"
#include "ui_showmodediag.h"
#include "ui_widget.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>
#include <QTextEdit>

// The program's own forms, dressed by data/blue.css and the #F0F0F0 palette
// as the program dresses them, with the freshly painted pictures in place.

namespace {

QtMessageHandler previousHandler = nullptr;

// The forms connect to slots of the program's classes, which a bare QDialog
// lacks; those complaints say nothing about the look.
void quietConnections(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    if (msg.startsWith(QLatin1String("QObject::connect")))
        return;
    previousHandler(type, context, msg);
}

void applyLook(QApplication &app, const QString &root, const Pictures &pics)
{
    QFile file(QDir(root).filePath(QStringLiteral("data/blue.css")));
    QByteArray sheet;
    if (file.open(QIODevice::ReadOnly))
        sheet = file.readAll();
    // Read as the program reads it: Latin-1, up to the first NUL. The
    // program's resources are not linked in here; the fresh files stand in.
    QString css = QString::fromLatin1(sheet.constData(), int(qstrnlen(sheet.constData(), sheet.size())));
    css.replace(QStringLiteral(":/images/down-arrow.png"), pics.comboArrow);
    app.setStyleSheet(css);
    QColor base;
    base.setNamedColor(QStringLiteral("#F0F0F0"));
    QApplication::setPalette(QPalette(base));
}

void closeGlyph(QPushButton *button)
{
    QFont f(QStringLiteral("FontAwesome"));
    f.setPointSize(15);
    button->setFont(f);
    button->setText(QString(QChar(0xF00D)));
}

QImage grabbed(QWidget &w)
{
    QCursor::setPos(-1000, -1000);
    w.show();
    QApplication::processEvents();
    return w.grab().toImage();
}

// Hover needs the pointer really there: the enter event, not a flag, is what
// the style sheet's :hover follows.
void hoverOver(QWidget *target)
{
    QCursor::setPos(target->mapToGlobal(target->rect().center()));
    QApplication::processEvents();
}

void navigation(const QString &out, const Pictures &pics)
{
    QDialog d;
    Ui::DialogClient ui;
    ui.setupUi(&d);
    d.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    ui.label_ic->setPixmap(QPixmap(pics.titleIcon));
    closeGlyph(ui.btnMenu_Close);
    d.setGeometry(0, 0, 850, 550);
    ui.label->setPixmap(QPixmap(pics.guide));
    grabbed(d).save(out + QStringLiteral("-navigation.png"));

    hoverOver(ui.btnMenu_Close);
    ui.widget_title->grab().save(out + QStringLiteral("-navigation-close-hover.png"));
}

void mainWindow(const QString &out, const Pictures &pics)
{
    QWidget w;
    Ui::Widget ui;
    ui.setupUi(&w);
    w.setWindowFlags(Qt::FramelessWindowHint);
    ui.label_ic->setStyleSheet(
        QStringLiteral("image: url(%1);\nbackground-color: rgb(79,148, 205);").arg(pics.titleIcon));
    ui.label_ic->setPixmap(QPixmap(pics.titleIcon));
    ui.textEdit->setStyleSheet(QStringLiteral("\nborder-image: url(%1);").arg(pics.shortcuts));
    closeGlyph(ui.btnMenu_Close);
    grabbed(w).save(out + QStringLiteral("-main-window.png"));
}

void notice(const QString &out)
{
    QDialog d;
    Ui::ShowModeDiag ui;
    ui.setupUi(&d);
    d.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    QPalette pal;
    pal.setBrush(QPalette::All, QPalette::WindowText, QBrush(Qt::red));
    ui.label->setPalette(pal);
    ui.label->setFont(QFont(QStringLiteral("Microsoft YaHei"), 16, 75, false));
    ui.label->setText(QStringLiteral("Magnifier"));
    const QImage popup = grabbed(d);

    // Half transparent over a slide, as it appears during a talk.
    QImage scene(popup.width() + 80, popup.height() + 60, QImage::Format_RGB32);
    QPainter p(&scene);
    QLinearGradient slide(0, 0, scene.width(), scene.height());
    slide.setColorAt(0, QColor(0x2B, 0x57, 0x8C));
    slide.setColorAt(1, QColor(0xE8, 0xEE, 0xF4));
    p.fillRect(scene.rect(), slide);
    p.setOpacity(0.5);
    p.drawImage(QPoint(40, 30), popup);
    p.end();
    scene.save(out + QStringLiteral("-mode-notice.png"));
}

void advanced(const QString &out)
{
    QDialog d;
    Ui::HightDialog ui;
    ui.setupUi(&d);
    ui.lineEdit_1->setText(QStringLiteral("f5"));
    ui.lineEdit_9->setText(QStringLiteral("4b"));
    ui.lineEdit_9->setFocus();
    grabbed(d).save(out + QStringLiteral("-advanced.png"));
}

// The remaining styled classes, plain, disabled, focused and hovered (the
// second button).
void controls(const QString &out)
{
    QWidget w;
    w.resize(520, 170);
    QGroupBox box(QStringLiteral("激光笔快捷设置"), &w);
    box.setGeometry(10, 5, 500, 155);
    QFont twelve;
    twelve.setPointSize(12);
    box.setFont(twelve);
    QLabel label(QStringLiteral("单击Key1:"), &box);
    label.setGeometry(10, 30, 91, 31);
    QComboBox combo(&box);
    combo.addItems({ QString(), QStringLiteral("Shift+F5/Esc"), QStringLiteral("PageUp") });
    combo.setCurrentIndex(2);
    combo.setGeometry(100, 30, 151, 31);
    QComboBox other(&box);
    other.addItems({ QStringLiteral("PageDown") });
    other.setGeometry(270, 30, 151, 31);
    QLineEdit edit(QStringLiteral("7f"), &box);
    edit.setGeometry(10, 75, 80, 40);
    edit.setAlignment(Qt::AlignCenter);
    QLineEdit off(QStringLiteral("00"), &box);
    off.setGeometry(100, 75, 80, 40);
    off.setAlignment(Qt::AlignCenter);
    off.setEnabled(false);
    QPushButton ok(QStringLiteral("确 定"), &box);
    ok.setGeometry(200, 70, 101, 51);
    QPushButton hover(QStringLiteral("取 消"), &box);
    hover.setGeometry(310, 70, 101, 51);
    QPushButton disabled(QStringLiteral("OK"), &box);
    disabled.setGeometry(420, 80, 70, 31);
    disabled.setEnabled(false);
    grabbed(w);
    hoverOver(&hover);
    w.grab().save(out + QStringLiteral("-controls.png"));
}

} // namespace

void previewStyleSheet(QApplication &app, const QString &root, const QString &folder, const Pictures &pics)
{
    applyLook(app, root, pics);
    previousHandler = qInstallMessageHandler(quietConnections);
    for (const QString &name : { QStringLiteral("Fusion"), QStringLiteral("Windows") }) {
        QApplication::setStyle(QStyleFactory::create(name));
        const QString out = QDir(folder).filePath(QStringLiteral("style-") + name.toLower());
        navigation(out, pics);
        mainWindow(out, pics);
        notice(out);
        advanced(out);
        controls(out);
    }
    qInstallMessageHandler(previousHandler);
}
