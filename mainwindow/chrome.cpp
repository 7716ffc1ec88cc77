#include "mainwindow/widget.h"

#include <QMouseEvent>

void Widget::setUpTitleBar() {}
void Widget::mousePressEvent(QMouseEvent *) {}
void Widget::mouseReleaseEvent(QMouseEvent *) {}
void Widget::mouseMoveEvent(QMouseEvent *) {}
