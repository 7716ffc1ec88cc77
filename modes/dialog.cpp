#include "modes/dialog.h"

#include "mainwindow/widget.h"

Dialog::Dialog(Widget *parent)
    : QDialog(parent)
    , owner(parent)
{
}

Dialog::~Dialog() = default;
