#include "inprocess.h"
#include "port.h"

namespace sim {

Receiver &inProcessReceiver()
{
    // Never destroyed, so handles closed from other static destructors at
    // exit still find it.
    static Receiver *receiver = new Receiver;
    return *receiver;
}

namespace {

class InProcessPort : public Port
{
public:
    std::vector<int> interfaces() override { return inProcessReceiver().interfaces(); }
    int open(int interfaceNumber) override { return inProcessReceiver().open(interfaceNumber); }
    int write(int handle, const std::uint8_t *data, std::size_t length) override
    {
        return inProcessReceiver().write(handle, data, length);
    }
    int read(int handle, std::uint8_t *data, std::size_t length, int timeoutMs) override
    {
        return inProcessReceiver().read(handle, data, length, timeoutMs);
    }
    void close(int handle) override { inProcessReceiver().close(handle); }
};

} // namespace

Port &port()
{
    static Port *instance = new InProcessPort;
    return *instance;
}

} // namespace sim
