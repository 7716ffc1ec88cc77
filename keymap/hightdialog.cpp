#include "keymap/hightdialog.h"

#include <QLineEdit>

#include "keymap/hexbyte.h"
#include "keymap/slots.h"
#include "mainwindow/widget.h"
#include "ui_hightdialog.h"

HightDialog::HightDialog(Widget *parent)
    : QDialog(parent)
{
    ui = new Ui::HightDialog;
    ui->setupUi(this);
    mainWidget = parent;

    for (int slot = 0; slot < keymap::slotCount; ++slot)
        lineEditList << findChild<QLineEdit *>(keymap::fieldName(slot));
    showValues();
}

HightDialog::~HightDialog()
{
    delete ui;
    ui = nullptr;
}

void HightDialog::showValues()
{
    if (!mainWidget)
        return;
    for (int slot = 0; slot < lineEditList.size(); ++slot)
        lineEditList[slot]->setText(keymap::hexText(mainWidget->keyValue[keymap::imageByte(slot)]));
    update();
}

void HightDialog::onHightSetting()
{
    if (!mainWidget)
        return;
    for (int slot = 0; slot < lineEditList.size(); ++slot)
        mainWidget->keyValue[keymap::imageByte(slot)]
            = static_cast<std::uint8_t>(keymap::parseHexByte(lineEditList[slot]->text()) & 0xFF);
    // The dialog says nothing either way: the receiver's acknowledgement is
    // the confirmation, and a failed write leaves the bytes to try again.
    mainWidget->writeMapping();
    update();
}
