// The pen's key mapping as the program holds it: the image being edited, the
// copy last known to be in the receiver, and the transfers between them. The
// editor grid and the hexadecimal dialog only show and change it.
#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>

#include "device/protocol.h"

class usbhid;

class KeyMapping : public QObject
{
    Q_OBJECT

public:
    explicit KeyMapping(usbhid &link, QObject *parent = nullptr);

    // The 64-byte image being edited: block 1, then block 2.
    const protocol::Image &image() const { return edited; }
    // The mapping last read back from the receiver or written to it.
    const protocol::Image &saved() const { return stored; }

    // The action code of mapping slot 0..47.
    std::uint8_t code(int slot) const;
    void setCode(int slot, std::uint8_t code);

    // The mapping write from the image: checksums stored in the image, both
    // blocks sent, the saved copy updated. False unless both went out.
    bool write();
    // The receiver's own defaults back; false when the command did not go out.
    bool reset();
    // Asks the receiver for the mapping it holds; false when it did not go out.
    bool requestReadBack();

public slots:
    // A mapping block (1 or 2) the receiver sent, as the link holds it.
    void loadBlock(int block);
    void takeWriteAcknowledgement();
    void takeResetAcknowledgement();

signals:
    // The image's code of a slot changed, by an edit or by what the receiver sent.
    void codeChanged(int slot);
    // The receiver confirmed a written mapping, or a reset to its defaults.
    void written();
    void resetDone();

private:
    usbhid &link;
    protocol::Image edited;
    protocol::Image stored;
    // Since a write whose first block was lost: the receiver may still take
    // the second and confirm a mapping it does not hold.
    QElapsedTimer sinceHalfWrite;
};
