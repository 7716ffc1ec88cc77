// The receiver behind the hid_* functions of quorvant_hidsim_inprocess: tests
// press its keys and read what the program sent, in the same process.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "receiver.h"

namespace sim {

Receiver &inProcessReceiver();

// A device monitor that tells of the in-process receiver's plugs, unplugs and
// changes as the system's device manager would, through a descriptor that
// the owner's event loop watches.
std::unique_ptr<platform::DeviceMonitor> watchInProcessReceiver(platform::DeviceCallback onEvent);

} // namespace sim
