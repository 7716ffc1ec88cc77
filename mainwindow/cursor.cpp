#include "mainwindow/widget.h"

void Widget::restoreCursors() {}
