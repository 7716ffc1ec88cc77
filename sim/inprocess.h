// The receiver behind the hid_* functions of quorvant_hidsim_inprocess: tests
// press its keys and read what the program sent, in the same process.
#pragma once

#include "receiver.h"

namespace sim {

Receiver &inProcessReceiver();

} // namespace sim
