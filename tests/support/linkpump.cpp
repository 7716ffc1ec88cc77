#include "support/linkpump.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include "core/usbhid.h"
#include "inprocess.h"

namespace testsupport {

bool waitOpen(usbhid *link)
{
    return QTest::qWaitFor([link] { return link->isOpen(); }, 5000);
}

void deliverPending(usbhid *link)
{
    sim::Receiver &receiver = sim::inProcessReceiver();
    QElapsedTimer clock;
    clock.start();
    while (link->isOpen() && clock.elapsed() < 5000) {
        // A reader back at waiting has handed over every report it took;
        // once those are handled and made the program send nothing more,
        // nothing else is on its way.
        const std::size_t sent = receiver.sentReports().size();
        if (receiver.pendingInput() == 0 && receiver.waitingReads() > 0) {
            QCoreApplication::sendPostedEvents();
            if (receiver.pendingInput() == 0 && receiver.waitingReads() > 0
                && receiver.sentReports().size() == sent)
                return;
            continue;
        }
        QTest::qWait(1);
    }
}

} // namespace testsupport
