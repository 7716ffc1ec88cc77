#include "ui/dialogclient.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>

#include "mainwindow/widget.h"
#include "ui/titlebar.h"
#include "ui_dialogclient.h"

DialogClient::DialogClient(Widget *parent)
    : QDialog(parent)
    , dragOffset(0, 0)
{
    ui = new Ui::DialogClient;
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    dragging = false;
    titlebar::setUp(this, ui->label_ic, ui->lab_title, ui->btnMenu_Close);
    mainWidget = parent;

    setGeometry(0, 0, 850, 550);
    // Placed once; afterwards the dialog reopens wherever it was left.
    move(initialPosition(mainWidget->screenWidth, mainWidget->screenHeight));

    ui->label->setPixmap(QPixmap(QCoreApplication::applicationDirPath() + "/data/pp.png"));
}

DialogClient::~DialogClient()
{
    delete ui;
    ui = nullptr;
}

QPoint DialogClient::initialPosition(int screenWidth, int screenHeight)
{
    return QPoint(static_cast<int>((screenWidth - 800) * 0.5), static_cast<int>((screenHeight - 500) * 0.3));
}

bool DialogClient::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick)
        return true;
    return QDialog::eventFilter(watched, event);
}

void DialogClient::mousePressEvent(QMouseEvent *event)
{
    titlebar::press(this, event, dragging, dragOffset);
    update();
}

void DialogClient::mouseReleaseEvent(QMouseEvent *)
{
    titlebar::release(dragging);
    update();
}

void DialogClient::mouseMoveEvent(QMouseEvent *event)
{
    titlebar::move(this, event, dragging, dragOffset);
    update();
}

void DialogClient::keyPressEvent(QKeyEvent *event)
{
    // A plain dialog would close on Escape and press its default button on
    // Return; this one goes away by its close button.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->ignore();
        break;
    default:
        break;
    }
}

void DialogClient::onExit()
{
    hide();
    update();
}
