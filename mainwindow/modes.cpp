#include "mainwindow/widget.h"

void Widget::onDotrix(int) {}
void Widget::onLoupex(int) {}
void Widget::onQyLight(int) {}
void Widget::onNormal() {}

void Widget::ShowUI()
{
    show();
    onNormal();
    update();
}

void Widget::switchMode(int, int) {}
void Widget::killEffect(int) {}
void Widget::storeSize(int) {}
void Widget::createSegments() {}
