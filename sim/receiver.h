// The simulated USB receiver of the pen: its identity, its stored mapping and
// the reports it exchanges, without any transport. The in-process hid_* shim
// and the quorvant-pen daemon both drive one of these.
//
// Every call may come from any thread: a program reads on a thread of its own
// while a test presses the pen on another.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;
using Image = std::array<std::uint8_t, 64>;

enum class Mode { Normal, Laser, Magnifier, Spotlight };

// What the system would announce about the receiver's device nodes: it came,
// it went, or its nodes changed (new permissions, say).
enum class Hotplug { Added, Removed, Changed };

constexpr std::uint16_t kVendorId = 0x26E3, kProductId = 0xAF01;

// The interface that carries the pen's traffic; the others enumerate but stay silent.
constexpr int kTrafficInterface = 3;
constexpr int kInterfaceCount = 4;
// What an open answers when the user may not open the receiver (-EACCES).
constexpr int kDenied = -13;
// A 32-byte input report, as the receiver sends it.
constexpr std::size_t kReportSize = 32;
// Output reports are the report number byte and a 32-byte payload.
constexpr std::size_t kOutputReportSize = 33;
// Longest input report a test may inject, and longest write the receiver accepts.
constexpr std::size_t kMaxInjected = 64;
constexpr std::size_t kMaxWrite = 65;

// Checksum of a 32-byte mapping block: bytes 0..30 summed, modulo 256.
std::uint8_t blockChecksum(const std::uint8_t *block);

// The input reports a press of the pen's mode key sends, as the receiver
// queues them: 12 34 xx yy 00 SIZE for a mode, 12 34 xx yy for its notice.
Bytes modeReport(Mode, std::uint8_t size);
Bytes noticeReport(Mode);

class Receiver
{
public:
    Receiver(); // the sane receiver: plugged, openable, factory mapping, nothing queued
    Receiver(const Receiver &) = delete;
    Receiver &operator=(const Receiver &) = delete;
    void reset(); // back to the sane state, counters and records cleared

    // Called, outside the receiver's lock, whenever it is plugged in, pulled
    // out or made openable again; one watcher.
    void watchHotplug(std::function<void(Hotplug)> watcher);

    // what a person or a test bench does
    void plug();
    void unplug();
    bool plugged() const;
    // Not openable: held elsewhere, or, when denied, the user lacks the
    // permission (opens fail with kDenied then).
    void setOpenable(bool, bool denied = false);
    bool openable() const;
    bool denied() const;
    void pressMode(Mode, std::uint8_t size);
    void pressNotice(Mode);
    void inject(const Bytes &report); // raw input report, any length up to 64
    Image mapping() const;
    void setMapping(const Image &); // setMapping stores as given (checksums recomputed)
    static Image factoryMapping();
    std::vector<Bytes> sentReports() const;
    void clearSent();
    int openAttempts() const;
    void failNextWrites(int n);
    std::size_t pendingInput() const;
    // Reads now waiting for a report: a reader that waits has taken every
    // report before.
    int waitingReads() const;
    // Handles opened and not yet closed, stale ones too.
    std::size_t openHandles() const;

    // what hidapi does
    std::vector<int> interfaces() const; // {0,1,2,3} plugged, {} unplugged
    int open(int interfaceNumber); // handle > 0, kDenied, or -1
    int write(int handle, const std::uint8_t *data, std::size_t length); // bytes written or -1
    int read(int handle, std::uint8_t *data, std::size_t length); // n, 0 when nothing queued, -1 stale/bad
    // The same, waiting up to timeoutMs (negative: without limit) for a
    // report or for the handle to go stale.
    int read(int handle, std::uint8_t *data, std::size_t length, int timeoutMs);
    void close(int handle);

private:
    struct Handle
    {
        int interfaceNumber;
        unsigned plugGeneration;
    };

    const Handle *liveHandle(int handle) const;
    int readLocked(int handle, std::uint8_t *data, std::size_t length);
    void queue(Bytes report);
    void takeCommand(const std::uint8_t *payload);
    void announce(Hotplug event);

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::function<void(Hotplug)> hotplugWatcher;

    bool isPlugged = true;
    bool isOpenable = true;
    bool isDenied = false;
    Image stored;
    std::deque<Bytes> input;
    std::vector<Bytes> sent;
    int attempts = 0;
    int failingWrites = 0;
    int waiting = 0;
    // Handles survive reset(), so a program holding one keeps talking to the
    // receiver; only an unplug (a new generation) makes them stale.
    std::map<int, Handle> handles;
    int nextHandle = 1;
    unsigned generation = 0;
};

} // namespace sim
