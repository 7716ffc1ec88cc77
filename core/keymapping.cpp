#include "core/keymapping.h"

#include <QDebug>

#include <algorithm>

#include "core/usbhid.h"

namespace {

// How long after a failed write the receiver's confirmation may still come.
constexpr qint64 kAnswerWindowMs = 2000;

} // namespace

KeyMapping::KeyMapping(usbhid &link_, QObject *parent)
    : QObject(parent)
    , link(link_)
    , edited(protocol::blankImage())
    , stored(protocol::blankImage())
{
}

std::uint8_t KeyMapping::code(int slot) const
{
    return slot >= 0 && slot < protocol::kSlotCount ? edited[std::size_t(protocol::slotImageIndex(slot))] : 0;
}

void KeyMapping::setCode(int slot, std::uint8_t code)
{
    if (slot < 0 || slot >= protocol::kSlotCount || this->code(slot) == code)
        return;
    edited[std::size_t(protocol::slotImageIndex(slot))] = code;
    emit codeChanged(slot);
}

bool KeyMapping::write()
{
    // The checksums stay in the image, so the saved copy holds exactly the
    // blocks the receiver was sent.
    protocol::storeChecksums(edited);
    const protocol::ReportPair reports = protocol::mappingWrite(edited);
    if (link.writeReportPair(reports.data()) <= 0) {
        if (link.isOpen())
            sinceHalfWrite.start();
        return false;
    }
    sinceHalfWrite.invalidate();
    stored = edited;
    return true;
}

bool KeyMapping::reset()
{
    const protocol::OutputReport command = protocol::resetCommand();
    return link.writeReport(command.data()) > 0;
}

bool KeyMapping::requestReadBack()
{
    const protocol::OutputReport request = protocol::readBackRequest();
    const bool sent = link.writeReport(request.data()) >= 1;
    qDebug() << (sent ? "Write Usb Hid Read KeyValue SUCC!" : "Write Usb Hid Read KeyValue Fail!");
    return sent;
}

void KeyMapping::loadBlock(int block)
{
    if (block != 1 && block != 2)
        return;
    const unsigned char *data = block == 1 ? link.data1 : link.data2;
    const std::size_t start = block == 1 ? 0 : protocol::kBlockSize;
    std::copy_n(data, protocol::kBlockSize, stored.begin() + std::ptrdiff_t(start));
    // Every code is taken, a code the editor has no name for too: written
    // back, it must reach the receiver unchanged. The marker, the bytes the
    // program does not set and the checksum stay the image's own.
    const int first = block == 1 ? 0 : protocol::kSlotCount / 2;
    for (int slot = first; slot < first + protocol::kSlotCount / 2; ++slot)
        setCode(slot, data[protocol::slotBlockOffset(slot)]);
}

void KeyMapping::takeWriteAcknowledgement()
{
    if (sinceHalfWrite.isValid() && sinceHalfWrite.elapsed() < kAnswerWindowMs) {
        // The second block alone arrived: the write failed and was told so.
        sinceHalfWrite.invalidate();
        return;
    }
    emit written();
}

void KeyMapping::takeResetAcknowledgement()
{
    // The editor shows the defaults the receiver now holds, so that the next
    // write does not put the old mapping back.
    requestReadBack();
    emit resetDone();
}
