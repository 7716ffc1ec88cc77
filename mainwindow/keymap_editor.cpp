#include "mainwindow/widget.h"

#include <QComboBox>

#include <algorithm>

#include "device/usbhid.h"
#include "keymap/slots.h"
#include "keymap/vocabulary.h"

// Each box's slot hands its number to onKeyChanged, which finds the mapping
// slot and byte in the one table of keymap/slots.h.
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

void Widget::fillKeyCombos()
{
    // The list is in place before the boxes are filled: each box's first
    // entry makes it current and runs its slot, which looks the box up here.
    keyCombos.clear();
    for (int slot = 0; slot < keymap::slotCount; ++slot)
        keyCombos << findChild<QComboBox *>(keymap::boxName(slot));

    for (QComboBox *box : qAsConst(keyCombos))
        if (box)
            box->clear();
    // Name by name, so every box reaches index 0 (no action) before any box
    // holds a second entry.
    const QStringList names = keymap::keyNames();
    for (const QString &name : names)
        for (QComboBox *box : qAsConst(keyCombos))
            if (box)
                box->addItem(name);
}

void Widget::onKeyChanged(int boxNumber)
{
    const std::optional<int> slot = keymap::slotOfBox(boxNumber);
    QComboBox *box = slot ? keyCombos.value(*slot) : nullptr;
    if (box)
        keyValue[keymap::imageByte(*slot)] = keymap::keyCode(box->currentIndex());
    update();
}

void Widget::loadBlock(int block)
{
    if (usbHid) {
        const int first = block == 1 ? 0 : keymap::slotCount / 2;
        const unsigned char *data = block == 1 ? usbHid->data1 : usbHid->data2;
        std::copy_n(data, protocol::kBlockSize, savedKeyValue.begin() + (block - 1) * protocol::kBlockSize);

        for (int slot = first; slot < first + keymap::slotCount / 2; ++slot) {
            QComboBox *box = keyCombos.value(slot);
            // A code the vocabulary lacks has no entry to show; the box and
            // its byte keep what they had.
            const std::optional<int> index = keymap::keyIndex(data[protocol::slotBlockOffset(slot)]);
            // Moving the box runs its slot, which stores the code; a box that
            // already shows the entry stays still and its byte is left alone.
            if (box && index)
                box->setCurrentIndex(*index);
        }
    }
    update();
}

void Widget::onShowKeyValue1()
{
    loadBlock(1);
}

void Widget::onShowKeyValue2()
{
    loadBlock(2);
}
