#include "modes/showmodediag.h"

#include <QFont>
#include <QPalette>

#include "mainwindow/widget.h"
#include "ui_showmodediag.h"

namespace {

constexpr int kWidth = 300;
constexpr int kTop = 200;
constexpr int kTickMs = 200;
// Hidden on the tenth tick: 1.8 to 2.0 seconds, as the free-running timer
// gives the first tick anywhere within its period.
constexpr int kVisibleTicks = 9;

} // namespace

ShowModeDiag::ShowModeDiag(Widget *parent)
    : QDialog(parent)
    , ui(new Ui::ShowModeDiag)
    , owner(parent)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    active = false;
    ticks = 0;
    // Centred on the desktop's width, once: the notice does not follow later
    // changes of the screen.
    move(owner->screenWidth / 2 - kWidth / 2, kTop);
    setWindowOpacity(0.5);
    startTimer(kTickMs, Qt::CoarseTimer);
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
    active = true;
    ticks = 0;
    update();
}

void ShowModeDiag::timerDone()
{
    hide();
    update();
}

void ShowModeDiag::timerEvent(QTimerEvent *)
{
    if (!active) {
        ticks = 0;
        update();
        return;
    }
    if (++ticks > kVisibleTicks) {
        ticks = 0;
        hide();
        update();
        return;
    }
    update();
}
