#include "mainwindow/widget.h"

bool Widget::writeMapping()
{
    return false;
}

void Widget::onSetKey() {}
void Widget::onKeyOK() {}
void Widget::onReset() {}
void Widget::ResetOK() {}
void Widget::onAdvancedSet() {}
