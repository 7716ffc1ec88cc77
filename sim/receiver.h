// The simulated USB receiver of the pen: its identity, its stored mapping and
// the reports it exchanges, without any transport. The in-process hid_* shim
// and the quorvant-pen daemon both drive one of these.
//
// Not thread-safe: whoever shares one between threads serialises the calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;
using Image = std::array<std::uint8_t, 64>;

enum class Mode { Normal, Laser, Magnifier, Spotlight };

constexpr std::uint16_t kVendorId = 0x26E3, kProductId = 0xAF01;

// The interface that carries the pen's traffic; the others enumerate but stay silent.
constexpr int kTrafficInterface = 3;
constexpr int kInterfaceCount = 4;
// A 32-byte input report, as the receiver sends it.
constexpr std::size_t kReportSize = 32;
// Output reports are the report number byte and a 32-byte payload.
constexpr std::size_t kOutputReportSize = 33;
// Longest input report a test may inject, and longest write the receiver accepts.
constexpr std::size_t kMaxInjected = 64;
constexpr std::size_t kMaxWrite = 65;

// Checksum of a 32-byte mapping block: bytes 0..30 summed, modulo 256.
std::uint8_t blockChecksum(const std::uint8_t *block);

class Receiver
{
public:
    Receiver(); // the sane receiver: plugged, openable, factory mapping, nothing queued
    void reset(); // back to the sane state, counters and records cleared

    // what a person or a test bench does
    void plug();
    void unplug();
    bool plugged() const;
    void setOpenable(bool);
    bool openable() const;
    void pressMode(Mode, std::uint8_t size);
    void pressNotice(Mode);
    void inject(const Bytes &report); // raw input report, any length up to 64
    Image mapping() const;
    void setMapping(const Image &); // setMapping stores as given (checksums recomputed)
    static Image factoryMapping();
    const std::vector<Bytes> &sentReports() const;
    void clearSent();
    int openAttempts() const;
    void failNextWrites(int n);
    std::size_t pendingInput() const;

    // what hidapi does
    std::vector<int> interfaces() const; // {0,1,2,3} plugged, {} unplugged
    int open(int interfaceNumber); // handle > 0, or -1
    int write(int handle, const std::uint8_t *data, std::size_t length); // bytes written or -1
    int read(int handle, std::uint8_t *data, std::size_t length); // n, 0 when nothing queued, -1 stale/bad
    void close(int handle);

private:
    struct Handle
    {
        int interfaceNumber;
        unsigned plugGeneration;
    };

    const Handle *liveHandle(int handle) const;
    void queue(Bytes report);
    void takeCommand(const std::uint8_t *payload);

    bool isPlugged = true;
    bool isOpenable = true;
    Image stored;
    std::deque<Bytes> input;
    std::vector<Bytes> sent;
    int attempts = 0;
    int failingWrites = 0;
    // Handles survive reset(), so a program holding one keeps talking to the
    // receiver; only an unplug (a new generation) makes them stale.
    std::map<int, Handle> handles;
    int nextHandle = 1;
    unsigned generation = 0;
};

} // namespace sim
