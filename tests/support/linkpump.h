// The device link reads on a thread of its own; these let a test wait for
// what it would otherwise see at some later moment.
#pragma once

class usbhid;

namespace testsupport {

// Waits until the link has the in-process receiver open; false after 5 s.
bool waitOpen(usbhid *link);

// Hands the link every report the in-process receiver holds, and whatever
// those make the program send and the receiver answer.
void deliverPending(usbhid *link);

} // namespace testsupport
