#include "device/usbhid.h"

#include <QTimerEvent>

#include <hidapi.h>

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr int kReadTimeoutMs = 20;
constexpr std::chrono::milliseconds kFirstRetryDelay { 1000 };
constexpr std::chrono::milliseconds kLongestRetryDelay { 30000 };

// Paths of the receiver's traffic interface, in enumeration order.
QStringList matchingPaths()
{
    QStringList paths;
    hid_device_info *list = hid_enumerate(0, 0);
    for (hid_device_info *entry = list; entry; entry = entry->next) {
        if (entry->vendor_id == protocol::kVendorId && entry->product_id == protocol::kProductId
            && entry->interface_number == protocol::kInterfaceNumber && entry->path)
            paths << QString::fromLocal8Bit(entry->path);
    }
    hid_free_enumeration(list);
    return paths;
}

} // namespace

usbhid::usbhid(QObject *parent, platform::Platform *platform_)
    : QObject(parent)
    , platform(platform_)
{
    std::memset(data1, 0, sizeof data1);
    std::memset(data2, 0, sizeof data2);
    data1[0] = protocol::kBlock1Marker;
    data2[0] = protocol::kBlock2Marker;
    if (!platform) {
        ownPlatform = platform::createPlatform();
        platform = ownPlatform.get();
    }
    readTimerId = startTimer(3, Qt::CoarseTimer);
    watchTimerId = startTimer(200, Qt::CoarseTimer);
}

usbhid::~usbhid()
{
    closeHandle();
}

bool usbhid::isPresent()
{
    hid_device_info *list = hid_enumerate(protocol::kVendorId, protocol::kProductId);
    const bool present = list != nullptr;
    hid_free_enumeration(list);
    return present;
}

hid_device *usbhid::openDevice()
{
    const QStringList paths = matchingPaths();
    const auto now = std::chrono::steady_clock::now();
    if (paths != knownPaths) {
        knownPaths = paths;
        retryDelay = std::chrono::milliseconds(0);
        if (paths.isEmpty())
            return nullptr;
        // A receiver that has just appeared needs a moment before it answers.
        platform->settleBeforeOpen();
    } else if (paths.isEmpty() || now < retryAt) {
        return nullptr;
    }

    for (const QString &path : paths) {
        hid_device *device = hid_open_path(path.toLocal8Bit().constData());
        if (device) {
            hid_set_nonblocking(device, 1);
            retryDelay = std::chrono::milliseconds(0);
            return device;
        }
    }
    retryDelay = retryDelay.count() == 0 ? kFirstRetryDelay : std::min(retryDelay * 2, kLongestRetryDelay);
    retryAt = std::chrono::steady_clock::now() + retryDelay;
    return nullptr;
}

bool usbhid::ensureOpen()
{
    if (!handle)
        handle = openDevice();
    return handle != nullptr;
}

void usbhid::closeHandle()
{
    if (handle) {
        hid_close(handle);
        handle = nullptr;
    }
}

int usbhid::readReport(unsigned char *buffer)
{
    if (!ensureOpen())
        return -1;
    const int count = hid_read_timeout(handle, buffer, protocol::kInputReportSize, kReadTimeoutMs);
    if (count < 0) {
        // A receiver pulled out and put back between two watch ticks leaves
        // a handle that fails for good; the next tick opens it afresh.
        closeHandle();
        return count;
    }
    if (count == 0)
        return count;
    dispatch(buffer, count);
    return count;
}

void usbhid::dispatch(const unsigned char *report, int length)
{
    using protocol::Report;
    const std::size_t n = static_cast<std::size_t>(length);
    switch (protocol::classify(report, n)) {
    case Report::ModeLaser:
        emit open_Qy(protocol::sizeLevel(report, n));
        break;
    case Report::ModeMagnifier:
        emit open_Magnify(protocol::sizeLevel(report, n));
        break;
    case Report::ModeSpotlight:
        emit open_QyLight(protocol::sizeLevel(report, n));
        break;
    case Report::ModeNormal:
        emit setNormal();
        break;
    case Report::NoticeNormal:
        emit setNormalUse();
        break;
    case Report::NoticeMagnifier:
        emit setMagnify();
        break;
    case Report::NoticeSpotlight:
        emit setSpotLight();
        break;
    case Report::NoticeLaser:
        emit setLazer();
        break;
    case Report::KeyOk:
        emit setKeyOK();
        break;
    case Report::ResetOk:
        emit setResetOK();
        break;
    case Report::Block1:
        // The whole buffer, as the slot reading it expects 32 bytes.
        std::memcpy(data1, report, protocol::kBlockSize);
        emit setData1();
        break;
    case Report::Block2:
        std::memcpy(data2, report, protocol::kBlockSize);
        emit setData2();
        break;
    case Report::Unknown:
        break;
    }
}

int usbhid::writeReport(const unsigned char *report)
{
    if (!ensureOpen())
        return -1;
    return hid_write(handle, report, protocol::kOutputReportSize);
}

int usbhid::writeReportPair(const unsigned char *reports)
{
    if (!ensureOpen())
        return -1;
    const int first = hid_write(handle, reports, protocol::kOutputReportSize);
    const int second = hid_write(handle, reports + protocol::kOutputReportSize, protocol::kOutputReportSize);
    // A lost first block must not pass for a stored mapping.
    return first > 0 ? second : -1;
}

void usbhid::timerEvent(QTimerEvent *event)
{
    unsigned char buffer[protocol::kInputReportSize];
    std::memset(buffer, 0, sizeof buffer);
    if (event->timerId() == readTimerId) {
        while (readReport(buffer) > 0)
            std::memset(buffer, 0, sizeof buffer);
    } else if (event->timerId() == watchTimerId) {
        if (!isPresent() && handle) {
            closeHandle();
            // Whatever comes back next is a new arrival and gets its pause.
            knownPaths.clear();
        }
    }
}
