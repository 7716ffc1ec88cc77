#include "support/keymapbench.h"

#include <cstring>

#include "device/usbhid.h"
#include "mainwindow/widget.h"

namespace testsupport {

int deliverInput(Widget &window)
{
    int count = 0;
    unsigned char buffer[protocol::kInputReportSize];
    for (;;) {
        std::memset(buffer, 0, sizeof buffer);
        if (window.usbHid->readReport(buffer) <= 0)
            return count;
        ++count;
    }
}

bool readBack(Widget &window)
{
    const protocol::OutputReport request = protocol::readBackRequest();
    if (window.usbHid->writeReport(request.data()) <= 0)
        return false;
    deliverInput(window);
    return true;
}

QList<int> slotBytes()
{
    QList<int> bytes;
    for (int block : { 0, 32 })
        for (int keyStart : { 3, 12, 21 })
            for (int i = 0; i < 8; ++i)
                bytes << block + keyStart + i;
    return bytes;
}

QStringList boxNamesInSlotOrder()
{
    const int rows[12][4] = {
        { 1, 2, 21, 22 },
        { 11, 12, 31, 32 },
        { 3, 4, 23, 24 },
        { 13, 14, 33, 34 },
        { 5, 6, 25, 26 },
        { 15, 16, 35, 36 },
        { 7, 8, 27, 28 },
        { 17, 18, 37, 38 },
        { 51, 52, 53, 54 },
        { 55, 56, 57, 58 },
        { 61, 62, 63, 64 },
        { 65, 66, 67, 68 },
    };
    QStringList names;
    for (const auto &row : rows)
        for (int number : row)
            names << QString("combox_%1").arg(number);
    return names;
}

protocol::Image imageWith(std::initializer_list<std::pair<int, int>> bytes)
{
    protocol::Image image {};
    image[0] = 0x55;
    image[32] = 0x56;
    for (const auto &byte : bytes)
        image[static_cast<std::size_t>(byte.first)] = static_cast<std::uint8_t>(byte.second);
    return image;
}

QByteArray toBytes(const protocol::Image &image)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()), static_cast<int>(image.size()));
}

} // namespace testsupport
