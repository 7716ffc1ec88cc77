#include "modes/showmodediag.h"

#include <QFont>
#include <QPalette>

#include "ui/placement.h"
#include "ui_showmodediag.h"

ShowModeDiag::ShowModeDiag(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ShowModeDiag)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    move(placement::noticePosition(placement::currentScreen()));
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
    // Where the presenter is: the projector's screen, not across the bezel
    // between two.
    move(placement::noticePosition(placement::currentScreen()));
    // A new notice gets the whole time again.
    countdown.start();
    update();
}

void ShowModeDiag::timerDone()
{
    hide();
    update();
}
