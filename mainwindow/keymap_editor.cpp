#include "mainwindow/widget.h"

#include <QComboBox>
#include <QDebug>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>

#include "core/keymapping.h"
#include "core/session.h"
#include "core/usbhid.h"
#include "keymap/hightdialog.h"
#include "keymap/slots.h"
#include "keymap/vocabulary.h"
#include "ui_widget.h"

// Each box's slot hands its number to onKeyChanged, which finds the mapping
// slot in the one table of keymap/slots.h.
// clang-format off
void Widget::onKey1() { onKeyChanged(1); }
void Widget::onKey2() { onKeyChanged(2); }
void Widget::onKey3() { onKeyChanged(3); }
void Widget::onKey4() { onKeyChanged(4); }
void Widget::onKey5() { onKeyChanged(5); }
void Widget::onKey6() { onKeyChanged(6); }
void Widget::onKey7() { onKeyChanged(7); }
void Widget::onKey8() { onKeyChanged(8); }
void Widget::onKey11() { onKeyChanged(11); }
void Widget::onKey12() { onKeyChanged(12); }
void Widget::onKey13() { onKeyChanged(13); }
void Widget::onKey14() { onKeyChanged(14); }
void Widget::onKey15() { onKeyChanged(15); }
void Widget::onKey16() { onKeyChanged(16); }
void Widget::onKey17() { onKeyChanged(17); }
void Widget::onKey18() { onKeyChanged(18); }
void Widget::onKey21() { onKeyChanged(21); }
void Widget::onKey22() { onKeyChanged(22); }
void Widget::onKey23() { onKeyChanged(23); }
void Widget::onKey24() { onKeyChanged(24); }
void Widget::onKey25() { onKeyChanged(25); }
void Widget::onKey26() { onKeyChanged(26); }
void Widget::onKey27() { onKeyChanged(27); }
void Widget::onKey28() { onKeyChanged(28); }
void Widget::onKey31() { onKeyChanged(31); }
void Widget::onKey32() { onKeyChanged(32); }
void Widget::onKey33() { onKeyChanged(33); }
void Widget::onKey34() { onKeyChanged(34); }
void Widget::onKey35() { onKeyChanged(35); }
void Widget::onKey36() { onKeyChanged(36); }
void Widget::onKey37() { onKeyChanged(37); }
void Widget::onKey38() { onKeyChanged(38); }
void Widget::onKey51() { onKeyChanged(51); }
void Widget::onKey52() { onKeyChanged(52); }
void Widget::onKey53() { onKeyChanged(53); }
void Widget::onKey54() { onKeyChanged(54); }
void Widget::onKey55() { onKeyChanged(55); }
void Widget::onKey56() { onKeyChanged(56); }
void Widget::onKey57() { onKeyChanged(57); }
void Widget::onKey58() { onKeyChanged(58); }
void Widget::onKey61() { onKeyChanged(61); }
void Widget::onKey62() { onKeyChanged(62); }
void Widget::onKey63() { onKeyChanged(63); }
void Widget::onKey64() { onKeyChanged(64); }
void Widget::onKey65() { onKeyChanged(65); }
void Widget::onKey66() { onKeyChanged(66); }
void Widget::onKey67() { onKeyChanged(67); }
void Widget::onKey68() { onKeyChanged(68); }
// clang-format on

void Widget::setUpKeyGrid()
{
    // Every box lists the vocabulary in its order and carries each entry's
    // code, so a code the vocabulary lacks can be shown by an entry of its own.
    const QStringList names = keymap::keyNames();
    for (int slot = 0; slot < keymap::slotCount; ++slot) {
        auto *box = findChild<QComboBox *>(keymap::boxName(slot));
        box->clear();
        for (int index = 0; index < names.size(); ++index)
            box->addItem(names[index], int(keymap::keyCode(index)));
        keyCombos << box;
        const QByteArray onKey = QStringLiteral("1onKey%1()").arg(keymap::boxNumber(slot)).toLatin1();
        connect(box, SIGNAL(currentIndexChanged(int)), this, onKey.constData());
        showCode(slot);
    }
    connect(&session->mapping(), &KeyMapping::codeChanged, this, &Widget::showCode);
    enableTransfers(session->link().present());
    connect(&session->link(), &usbhid::presenceChanged, this, &Widget::enableTransfers);

    // Keys for the transfers, for those who know them.
    const struct
    {
        QKeySequence keys;
        const char *slot;
    } shortcuts[] = {
        { QKeySequence(Qt::CTRL + Qt::Key_S), SLOT(onSetKey()) },
        { QKeySequence(Qt::CTRL + Qt::Key_R), SLOT(onReset()) },
        { QKeySequence(Qt::CTRL + Qt::Key_H), SLOT(onAdvancedSet()) },
    };
    for (const auto &entry : shortcuts)
        connect(new QShortcut(entry.keys, this), SIGNAL(activated()), this, entry.slot);
}

void Widget::onKeyChanged(int boxNumber)
{
    const std::optional<int> slot = keymap::slotOfBox(boxNumber);
    if (QComboBox *box = slot ? keyCombos.value(*slot) : nullptr)
        session->mapping().setCode(*slot, std::uint8_t(box->currentData().toInt()));
}

void Widget::showCode(int slot)
{
    QComboBox *box = keyCombos.value(slot);
    if (!box)
        return;
    const std::uint8_t code = session->mapping().code(slot);
    const QSignalBlocker quiet(box);
    // An entry for a code the vocabulary lacks lasts while the slot holds it.
    while (box->count() > keymap::keyActionCount)
        box->removeItem(box->count() - 1);
    int index = box->findData(int(code));
    if (index < 0) {
        box->addItem("0x" + QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper(), int(code));
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

void Widget::enableTransfers(bool present)
{
    // Without a receiver there is nothing to write to or reset, and the
    // buttons say so rather than fail.
    const QString absent = tr("The pen's receiver is not plugged in.");
    ui->pushButton_write->setEnabled(present);
    ui->pushButton_write->setToolTip(present ? tr("Write the keys above to the pen") : absent);
    ui->pushButton_reset->setEnabled(present);
    ui->pushButton_reset->setToolTip(present ? tr("Put the pen's own key settings back") : absent);
    ui->pushButton_advanced->setToolTip(tr("Edit the keys as hexadecimal codes"));
}

void Widget::onSetKey()
{
    const bool written = session->mapping().write();
    qDebug() << (written ? "Write Usb Hid SUCC!" : "Write Usb Hid Fail!");
    // Success is the receiver's to confirm; a failure is known at once.
    if (!written)
        showBalloon(tr("Prompt"), tr("The keys could not be written to the pen."));
}

void Widget::onKeyOK()
{
    // The receiver's answer, not the write, is what confirms the change.
    showBalloon(tr(" Prompt "), tr("Modify pen shortcut key successfully!"));
}

void Widget::onReset()
{
    // The reset replaces every key on the pen, so it is asked for once more;
    // Cancel is what a stray Return or Escape picks.
    QMessageBox question(QMessageBox::Question, tr("Restore defaults"),
        tr("Restore the pen's factory key settings? The current keys on the pen are replaced."),
        QMessageBox::NoButton, this);
    QPushButton *restore = question.addButton(tr("Restore defaults"), QMessageBox::AcceptRole);
    question.setDefaultButton(question.addButton(tr("Cancel"), QMessageBox::RejectRole));
    question.exec();
    if (question.clickedButton() != restore)
        return;
    // The editor learns the receiver's defaults from the read-back that the
    // receiver's confirmation brings, not from here.
    const bool sent = session->mapping().reset();
    qDebug() << (sent ? "Write Usb Hid Reset CMD SUCC!" : "Write Usb Hid Reset CMD Fail!");
    if (!sent)
        showBalloon(tr("Prompt"), tr("The pen's key settings could not be restored."));
}

void Widget::ResetOK()
{
    showBalloon(tr("Prompt"), tr("One click Reset shortcut key succeeded!"));
}

void Widget::onAdvancedSet()
{
    // Whatever was typed at an earlier opening and not written is dropped.
    hightDialog->showValues();
    hightDialog->show();
}
