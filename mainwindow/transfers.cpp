#include "mainwindow/widget.h"

#include <QDebug>
#include <QShortcut>

#include "device/usbhid.h"
#include "keymap/hightdialog.h"

bool Widget::writeMapping()
{
    if (!usbHid)
        return false;
    // The checksums stay in the image, so savedKeyValue holds exactly the
    // blocks the receiver was sent.
    protocol::storeChecksums(keyValue);
    const protocol::ReportPair reports = protocol::mappingWrite(keyValue);
    if (usbHid->writeReportPair(reports.data()) <= 0)
        return false;
    savedKeyValue = keyValue;
    return true;
}

void Widget::onSetKey()
{
    if (usbHid) {
        if (writeMapping())
            qDebug() << "Write Usb Hid SUCC!";
        else
            qDebug() << "Write Usb Hid Fail!";
    }
    update();
}

void Widget::onKeyOK()
{
    // The receiver's answer, not the write, is what confirms the change.
    showBalloon(tr(" Prompt "), tr("Modify pen shortcut key successfully!"));
    update();
}

void Widget::onReset()
{
    if (usbHid) {
        // The editor keeps its entries: it learns the receiver's defaults
        // from the next read-back, not from here.
        const protocol::OutputReport command = protocol::resetCommand();
        if (usbHid->writeReport(command.data()) > 0)
            qDebug() << "Write Usb Hid Reset CMD SUCC!";
        else
            qDebug() << "Write Usb Hid Reset CMD Fail!";
    }
    update();
}

void Widget::ResetOK()
{
    showBalloon(tr("Prompt"), tr("One click Reset shortcut key succeeded!"));
    update();
}

void Widget::onAdvancedSet()
{
    if (!hightDialog)
        hightDialog = new HightDialog(this);
    // Whatever was typed at an earlier opening and not written is dropped.
    hightDialog->showValues();
    hightDialog->show();
    update();
}

void Widget::addTransferShortcuts()
{
    // The grid sits under the picture and nothing in the window writes,
    // resets or opens the hexadecimal editor, so these keys are the way to
    // them once the window is shown.
    const struct
    {
        QKeySequence keys;
        const char *slot;
    } shortcuts[] = {
        { QKeySequence(Qt::CTRL + Qt::Key_S), SLOT(onSetKey()) },
        { QKeySequence(Qt::CTRL + Qt::Key_R), SLOT(onReset()) },
        { QKeySequence(Qt::CTRL + Qt::Key_H), SLOT(onAdvancedSet()) },
    };
    for (const auto &entry : shortcuts) {
        auto *shortcut = new QShortcut(entry.keys, this);
        connect(shortcut, SIGNAL(activated()), this, entry.slot);
        transferShortcuts << shortcut;
    }
}
