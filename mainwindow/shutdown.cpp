#include "mainwindow/widget.h"

#include <QCoreApplication>

void Widget::onExit()
{
    QCoreApplication::exit(0);
}

void Widget::saveSizes() {}

void Widget::installSessionEndHandlers() {}

void Widget::onTerminationSignal() {}
