// The seam under the hid_* functions: the receiver they reach, either in this
// process or behind the quorvant-pen daemon's socket. Each library defines
// port() once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class Port
{
public:
    virtual ~Port() = default;
    // Interface numbers of the plugged receiver; empty when it is absent.
    virtual std::vector<int> interfaces() = 0;
    virtual int open(int interfaceNumber) = 0;
    virtual int write(int handle, const std::uint8_t *data, std::size_t length) = 0;
    // Waits up to timeoutMs for a report (negative: without limit); 0 when
    // none came, -1 when the handle is no good.
    virtual int read(int handle, std::uint8_t *data, std::size_t length, int timeoutMs) = 0;
    virtual void close(int handle) = 0;
};

Port &port();

} // namespace sim
