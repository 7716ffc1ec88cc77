// What the key-mapping tests share: moving reports between the in-process
// receiver and a window, and the mapping layout written out independently of
// the program's own tables.
#pragma once

#include <QList>
#include <QStringList>

#include <initializer_list>
#include <utility>

#include "device/protocol.h"

class Widget;

namespace testsupport {

// Hands the window every report the receiver has queued, as the device
// link's poll would. Returns how many there were.
int deliverInput(Widget &window);

// Sends the read-back request through the window's device link and delivers
// the receiver's answer. False when the request could not be written.
bool readBack(Widget &window);

// The image byte of each mapping slot 0..47: per key four click bytes, then
// four long-press bytes; keys 1-3 in block 1 and keys 4-6 in block 2, from
// offset 3 with one unused byte between keys.
QList<int> slotBytes();

// The 48 combo boxes of the grid, by object name, in slot order.
QStringList boxNamesInSlotOrder();

// A mapping with both markers and the given (image byte, value) pairs;
// checksums are left at 0.
protocol::Image imageWith(std::initializer_list<std::pair<int, int>> bytes);

// The image as bytes, for comparisons that print readably.
QByteArray toBytes(const protocol::Image &image);

} // namespace testsupport
