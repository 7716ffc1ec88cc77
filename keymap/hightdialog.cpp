#include "keymap/hightdialog.h"

#include "mainwindow/widget.h"

HightDialog::HightDialog(Widget *parent)
    : QDialog(parent)
    , mainWidget(parent)
{
}

HightDialog::~HightDialog() = default;

void HightDialog::showValues() {}

void HightDialog::onHightSetting() {}
