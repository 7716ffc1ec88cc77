#include "keymap/hightdialog.h"

#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QToolTip>

#include "core/keymapping.h"
#include "keymap/hexbyte.h"
#include "keymap/slots.h"
#include "ui_hightdialog.h"

namespace {

// The row label before a field in its row, as the form shows it, without its
// colon: the field's key and press.
QString rowOf(QLineEdit *field)
{
    QLayout *row = field->parentWidget()->layout();
    for (int index = row ? row->indexOf(field) : -1; index-- > 0;)
        if (auto *label = qobject_cast<QLabel *>(row->itemAt(index)->widget()))
            return label->text().remove(QRegularExpression(QStringLiteral("[:：]\\s*$")));
    return QString();
}

} // namespace

HightDialog::HightDialog(KeyMapping *mapping_, QWidget *parent)
    : QDialog(parent)
    , mapping(mapping_)
{
    ui = new Ui::HightDialog;
    ui->setupUi(this);
    const QRegularExpression hexByte(QString::fromLatin1(keymap::hexBytePattern));
    for (int slot = 0; slot < keymap::slotCount; ++slot) {
        auto *field = findChild<QLineEdit *>(keymap::fieldName(slot));
        field->setValidator(new QRegularExpressionValidator(hexByte, field));
        lineEditList << field;
    }
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
    // A field left empty is no byte at all: nothing is written until it
    // holds one, and the balloon at the field says which it is.
    for (int slot = 0; slot < lineEditList.size(); ++slot) {
        QLineEdit *field = lineEditList[slot];
        if (field->hasAcceptableInput())
            continue;
        field->setFocus();
        QToolTip::showText(field->mapToGlobal(field->rect().bottomLeft()),
            tr("%1, action %2 is empty: type one or two hexadecimal digits. Nothing was written.")
                .arg(rowOf(field))
                .arg(slot % keymap::columnCount + 1),
            field);
        return;
    }
    for (int slot = 0; slot < lineEditList.size(); ++slot)
        mapping->setCode(
            slot, static_cast<std::uint8_t>(keymap::parseHexByte(lineEditList[slot]->text()) & 0xFF));
    // The dialog says nothing either way: the receiver's acknowledgement is
    // the confirmation, and a failed write leaves the bytes to try again.
    mapping->write();
    update();
}
