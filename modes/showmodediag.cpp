#include "modes/showmodediag.h"

#include <QFont>
#include <QPalette>

#include "mainwindow/widget.h"
#include "ui_showmodediag.h"

namespace {

constexpr int kWidth = 300;
constexpr int kTop = 200;
// Up for about two seconds; within 1.8 to 2.0, where a notice has always gone.
constexpr int kVisibleMs = 1900;

} // namespace

ShowModeDiag::ShowModeDiag(Widget *parent)
    : QDialog(parent)
    , ui(new Ui::ShowModeDiag)
    , owner(parent)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    // Centred on the desktop's width, once: the notice does not follow later
    // changes of the screen.
    move(owner->screenWidth / 2 - kWidth / 2, kTop);
    setWindowOpacity(0.5);
    countdown.setSingleShot(true);
    countdown.setInterval(kVisibleMs);
    connect(&countdown, &QTimer::timeout, this, &ShowModeDiag::timerDone);
}

ShowModeDiag::~ShowModeDiag()
{
    delete ui;
    ui = nullptr;
}

void ShowModeDiag::setModeText(const QString &text)
{
    QPalette palette;
    palette.setBrush(QPalette::All, QPalette::WindowText, QBrush(Qt::red));
    ui->label->setPalette(palette);
    ui->label->setFont(QFont("Microsoft YaHei", 16, QFont::Bold, false));
    ui->label->setText(text);
    // A new notice gets the whole time again.
    countdown.start();
    update();
}

void ShowModeDiag::timerDone()
{
    hide();
    update();
}
