#include "ui/dialogclient.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QTimer>

#include "ui/framelesswindow.h"
#include "ui/placement.h"
#include "ui_dialogclient.h"

DialogClient::DialogClient(QWidget *parent)
    : QDialog(parent)
{
    ui = new Ui::DialogClient;
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    chrome = new FramelessWindow(this, ui->label_ic, ui->lab_title, ui->btnMenu_Close);

    // Of its one size: a tiling desktop floats it whole rather than stretching it.
    setFixedSize(850, 550);
    // Placed once; afterwards the dialog reopens wherever it was left.
    move(placement::navigationPosition(placement::currentScreen()));
}

void DialogClient::showEvent(QShowEvent *event)
{
    ui->label->setPixmap(QPixmap(QCoreApplication::applicationDirPath() + "/data/pp.png"));
    QDialog::showEvent(event);
}

void DialogClient::hideEvent(QHideEvent *event)
{
    ui->label->clear();
    QTimer::singleShot(0, this, [this] {
        if (isHidden())
            destroy();
    });
    QDialog::hideEvent(event);
}

DialogClient::~DialogClient()
{
    delete ui;
    ui = nullptr;
}

void DialogClient::onExit()
{
    hide();
    update();
}
