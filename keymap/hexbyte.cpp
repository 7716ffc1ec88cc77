#include "keymap/hexbyte.h"

#include <QByteArray>

namespace keymap {

namespace {

int digitValue(const QByteArray &digit)
{
    // An empty digit or a non-digit leaves toInt at 0.
    return digit.toInt(nullptr, 16);
}

} // namespace

QString hexText(std::uint8_t byte)
{
    return QString::number(byte, 16);
}

int parseHexByte(const QString &text)
{
    // Characters outside Latin-1 become '?', which is no digit.
    const QByteArray bytes = text.toLatin1();
    QByteArray high;
    QByteArray low;
    if (bytes.size() == 1) {
        low = bytes;
    } else if (bytes.size() == 2) {
        high = bytes.left(1);
        low = bytes.mid(1, 1);
    }
    return digitValue(high) * 16 + digitValue(low);
}

} // namespace keymap
