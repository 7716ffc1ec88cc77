#include "receiver.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace sim {

namespace {

constexpr std::uint8_t kBlock1Marker = 0x55;
constexpr std::uint8_t kBlock2Marker = 0x56;
constexpr std::size_t kBlockSize = 32;

// Leading bytes of the mode and notice reports, after 0x12 0x34.
struct ModeBytes
{
    std::uint8_t mode[2];
    std::uint8_t notice[2];
};

ModeBytes modeBytes(Mode mode)
{
    switch (mode) {
    case Mode::Laser:
        return { { 0xAB, 0xCD }, { 0xAA, 0xCC } };
    case Mode::Magnifier:
        return { { 0xA1, 0xB1 }, { 0xA1, 0xB2 } };
    case Mode::Spotlight:
        return { { 0xA2, 0xB2 }, { 0xA2, 0xB3 } };
    case Mode::Normal:
        break;
    }
    return { { 0xA0, 0xB0 }, { 0xA0, 0xB1 } };
}

Bytes answer(std::uint8_t first, std::uint8_t second)
{
    Bytes report(kReportSize, 0);
    report[0] = first;
    report[1] = second;
    return report;
}

void sealBlocks(Image &image)
{
    image[31] = blockChecksum(image.data());
    image[63] = blockChecksum(image.data() + kBlockSize);
}

Bytes penReport(const std::uint8_t (&kind)[2])
{
    Bytes report = answer(0x12, 0x34);
    report[2] = kind[0];
    report[3] = kind[1];
    return report;
}

} // namespace

std::uint8_t blockChecksum(const std::uint8_t *block)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < kBlockSize - 1; ++i)
        sum += block[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

Bytes modeReport(Mode mode, std::uint8_t size)
{
    Bytes report = penReport(modeBytes(mode).mode);
    report[5] = size;
    return report;
}

Bytes noticeReport(Mode mode)
{
    return penReport(modeBytes(mode).notice);
}

Receiver::Receiver()
    : stored(factoryMapping())
{
}

void Receiver::watchHotplug(std::function<void(Hotplug)> watcher)
{
    std::lock_guard<std::mutex> lock(mutex);
    hotplugWatcher = std::move(watcher);
}

void Receiver::announce(Hotplug event)
{
    std::function<void(Hotplug)> watcher;
    {
        std::lock_guard<std::mutex> lock(mutex);
        watcher = hotplugWatcher;
    }
    if (watcher)
        watcher(event);
}

void Receiver::reset()
{
    bool arrived = false, unlocked = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        arrived = !isPlugged;
        unlocked = !isOpenable;
        isPlugged = true;
        isOpenable = true;
        isDenied = false;
        stored = factoryMapping();
        input.clear();
        sent.clear();
        attempts = 0;
        failingWrites = 0;
    }
    changed.notify_all();
    if (arrived)
        announce(Hotplug::Added);
    else if (unlocked)
        announce(Hotplug::Changed);
}

void Receiver::plug()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (isPlugged)
            return;
        isPlugged = true;
    }
    announce(Hotplug::Added);
}

void Receiver::unplug()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!isPlugged)
            return;
        isPlugged = false;
        // Whatever the receiver had not delivered goes with it, and every open
        // handle points at a device that is gone.
        input.clear();
        ++generation;
    }
    changed.notify_all();
    announce(Hotplug::Removed);
}

bool Receiver::plugged() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return isPlugged;
}

void Receiver::setOpenable(bool yes, bool denied)
{
    bool unlocked = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        unlocked = yes && !isOpenable && isPlugged;
        isOpenable = yes;
        isDenied = !yes && denied;
    }
    // As when a permission rule is installed and the system applies it to
    // the nodes that are there.
    if (unlocked)
        announce(Hotplug::Changed);
}

bool Receiver::openable() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return isOpenable;
}

bool Receiver::denied() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return isDenied;
}

void Receiver::pressMode(Mode mode, std::uint8_t size)
{
    std::lock_guard<std::mutex> lock(mutex);
    queue(modeReport(mode, size));
}

void Receiver::pressNotice(Mode mode)
{
    std::lock_guard<std::mutex> lock(mutex);
    queue(noticeReport(mode));
}

void Receiver::inject(const Bytes &report)
{
    std::lock_guard<std::mutex> lock(mutex);
    Bytes copy(report.begin(), report.begin() + std::min(report.size(), kMaxInjected));
    queue(std::move(copy));
}

Image Receiver::mapping() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return stored;
}

void Receiver::setMapping(const Image &image)
{
    std::lock_guard<std::mutex> lock(mutex);
    stored = image;
    sealBlocks(stored);
}

Image Receiver::factoryMapping()
{
    Image image {};
    image[0] = kBlock1Marker;
    image[kBlockSize] = kBlock2Marker;
    // The defaults the product's own pages explain. Holding key 1 shows the
    // mode's effect and key 5 steps through the modes: the pen does both by
    // itself, so those presses carry no action code.
    image[3] = 0xF3; // key 1 click: MOUSE_L
    image[12] = 0x4B; // key 2 click: PageUp
    image[16] = 0x4A; // key 2 long press: Home
    image[21] = 0x4E; // key 3 click: PageDown
    image[25] = 0x4D; // key 3 long press: End
    image[kBlockSize + 3] = 0xF5; // key 4 click: Shift+F5/Esc
    image[kBlockSize + 7] = 0x3E; // key 4 long press: F5, the show from the first slide
    image[kBlockSize + 21] = 0x05; // key 6 click: B, black screen
    image[kBlockSize + 25] = 0x1A; // key 6 long press: W, white screen
    sealBlocks(image);
    return image;
}

std::vector<Bytes> Receiver::sentReports() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return sent;
}

void Receiver::clearSent()
{
    std::lock_guard<std::mutex> lock(mutex);
    sent.clear();
}

int Receiver::openAttempts() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return attempts;
}

void Receiver::failNextWrites(int n)
{
    std::lock_guard<std::mutex> lock(mutex);
    failingWrites = std::max(0, n);
}

std::size_t Receiver::pendingInput() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return input.size();
}

std::size_t Receiver::openHandles() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return handles.size();
}

int Receiver::waitingReads() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return waiting;
}

std::vector<int> Receiver::interfaces() const
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!isPlugged)
        return {};
    std::vector<int> numbers;
    for (int i = 0; i < kInterfaceCount; ++i)
        numbers.push_back(i);
    return numbers;
}

int Receiver::open(int interfaceNumber)
{
    std::lock_guard<std::mutex> lock(mutex);
    ++attempts;
    if (isPlugged && isDenied)
        return kDenied;
    if (!isPlugged || !isOpenable || interfaceNumber < 0 || interfaceNumber >= kInterfaceCount)
        return -1;
    const int handle = nextHandle++;
    handles[handle] = Handle { interfaceNumber, generation };
    return handle;
}

int Receiver::write(int handle, const std::uint8_t *data, std::size_t length)
{
    std::lock_guard<std::mutex> lock(mutex);
    const Handle *h = liveHandle(handle);
    if (!h || !data || length == 0 || length > kMaxWrite)
        return -1;
    if (h->interfaceNumber != kTrafficInterface)
        return -1;
    if (failingWrites > 0) {
        --failingWrites;
        return -1;
    }
    sent.emplace_back(data, data + length);
    // The receiver's reports are unnumbered: anything sent under another
    // report number is not meant for it.
    if (data[0] == 0x00) {
        std::uint8_t payload[kReportSize] = {};
        std::memcpy(payload, data + 1, std::min(length - 1, kReportSize));
        takeCommand(payload);
    }
    return static_cast<int>(length);
}

int Receiver::read(int handle, std::uint8_t *data, std::size_t length)
{
    std::lock_guard<std::mutex> lock(mutex);
    return readLocked(handle, data, length);
}

int Receiver::read(int handle, std::uint8_t *data, std::size_t length, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    // Waits for anything that could change the answer: a report queued, the
    // receiver pulled out.
    const auto answered = [&] {
        const Handle *h = liveHandle(handle);
        return !h || h->interfaceNumber != kTrafficInterface || !input.empty() || length == 0;
    };
    ++waiting;
    if (timeoutMs < 0)
        changed.wait(lock, answered);
    else
        changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), answered);
    --waiting;
    return readLocked(handle, data, length);
}

int Receiver::readLocked(int handle, std::uint8_t *data, std::size_t length)
{
    const Handle *h = liveHandle(handle);
    if (!h || (!data && length > 0))
        return -1;
    if (h->interfaceNumber != kTrafficInterface || input.empty() || length == 0)
        return 0;
    // Like a HID read: one report per call, cut to the caller's buffer.
    const Bytes report = std::move(input.front());
    input.pop_front();
    const std::size_t n = std::min(length, report.size());
    std::copy_n(report.begin(), n, data);
    return static_cast<int>(n);
}

void Receiver::close(int handle)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        handles.erase(handle);
    }
    changed.notify_all();
}

const Receiver::Handle *Receiver::liveHandle(int handle) const
{
    const auto it = handles.find(handle);
    if (it == handles.end() || it->second.plugGeneration != generation || !isPlugged)
        return nullptr;
    return &it->second;
}

void Receiver::queue(Bytes report)
{
    // An unplugged receiver has no one to tell.
    if (!isPlugged)
        return;
    input.push_back(std::move(report));
    changed.notify_all();
}

void Receiver::takeCommand(const std::uint8_t *payload)
{
    if (payload[0] == 0x70 && payload[1] == 0x70) {
        queue(Bytes(stored.begin(), stored.begin() + kBlockSize));
        queue(Bytes(stored.begin() + kBlockSize, stored.end()));
    } else if (payload[0] == 0x60 && payload[1] == 0x60) {
        stored = factoryMapping();
        queue(answer(0x66, 0x66));
    } else if (payload[0] == kBlock1Marker || payload[0] == kBlock2Marker) {
        // A block that arrived damaged is dropped without a word; the program
        // sees no acknowledgement and the stored mapping stays whole.
        if (payload[kBlockSize - 1] != blockChecksum(payload))
            return;
        const std::size_t offset = payload[0] == kBlock1Marker ? 0 : kBlockSize;
        std::copy_n(payload, kBlockSize, stored.begin() + offset);
        if (payload[0] == kBlock2Marker)
            queue(answer(0x88, 0x99));
    }
}

} // namespace sim
