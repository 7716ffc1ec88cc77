#include "keymap/hightdialog.h"

#include <QLineEdit>

#include "core/keymapping.h"
#include "keymap/hexbyte.h"
#include "keymap/slots.h"
#include "ui_hightdialog.h"

HightDialog::HightDialog(KeyMapping *mapping_, QWidget *parent)
    : QDialog(parent)
    , mapping(mapping_)
{
    ui = new Ui::HightDialog;
    ui->setupUi(this);
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
    for (int slot = 0; slot < lineEditList.size(); ++slot)
        lineEditList[slot]->setText(keymap::hexText(mapping->code(slot)));
    update();
}

void HightDialog::onHightSetting()
{
    for (int slot = 0; slot < lineEditList.size(); ++slot)
        mapping->setCode(
            slot, static_cast<std::uint8_t>(keymap::parseHexByte(lineEditList[slot]->text()) & 0xFF));
    // The dialog says nothing either way: the receiver's acknowledgement is
    // the confirmation, and a failed write leaves the bytes to try again.
    mapping->write();
    update();
}
