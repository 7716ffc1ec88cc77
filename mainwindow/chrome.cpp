#include "mainwindow/widget.h"

#include <QMouseEvent>

#include "ui/titlebar.h"
#include "ui_widget.h"

void Widget::setUpTitleBar()
{
    titlebar::setUp(this, ui->label_ic, ui->lab_title, ui->btnMenu_Close);
}

// The window has no platform frame: presses that the children leave to it,
// on the title bar or on the picture, drag it.
void Widget::mousePressEvent(QMouseEvent *event)
{
    titlebar::press(this, event, dragging, dragOffset);
    update();
}

void Widget::mouseReleaseEvent(QMouseEvent *)
{
    titlebar::release(dragging);
    update();
}

void Widget::mouseMoveEvent(QMouseEvent *event)
{
    titlebar::move(this, event, dragging, dragOffset);
    update();
}
