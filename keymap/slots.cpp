#include "keymap/slots.h"

#include "device/protocol.h"

namespace keymap {

static_assert(slotCount == protocol::kSlotCount, "the editor covers every mapping slot");

int boxNumber(int slot)
{
    return detail::boxAt(slot);
}

std::optional<int> slotOfBox(int number)
{
    for (int slot = 0; slot < slotCount; ++slot)
        if (detail::boxAt(slot) == number)
            return slot;
    return std::nullopt;
}

QString boxName(int slot)
{
    return QStringLiteral("combox_%1").arg(detail::boxAt(slot));
}

QString fieldName(int slot)
{
    return QStringLiteral("lineEdit_%1").arg(detail::fieldAt(slot));
}

int imageByte(int slot)
{
    return protocol::slotImageIndex(slot);
}

} // namespace keymap
