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
    // Shown without activation: on X11 no input focus is given or asked of
    // the window manager, on Windows the window is made and shown without
    // activation (WS_EX_NOACTIVATE, SW_SHOWNOACTIVATE).
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11NetWmWindowTypeNotification);
    setNoticeWindowKind();
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

void ShowModeDiag::setNoticeWindowKind()
{
    // A notification outside the window manager's care: it keeps its place,
    // stays out of the task bar and pager, and a full-screen slide show keeps
    // the focus, so no panel comes up over the slide. A tool window on
    // Windows stays out of the task bar too.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
        | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint);
}

void ShowModeDiag::showText(const QString &text)
{
    // Setting the flags again hides a notice that is up; showing it after
    // brings it back in front of whatever came up meanwhile.
    setNoticeWindowKind();
    setModeText(text);
    show();
}

void ShowModeDiag::timerDone()
{
    hide();
    update();
}
