#include "mainwindow/widget.h"

void Widget::onSetLazer() {}
void Widget::onSetMagnify() {}
void Widget::onSetSpotLight() {}
void Widget::onSetNormalUse() {}
void Widget::showNotice(const QString &) {}
