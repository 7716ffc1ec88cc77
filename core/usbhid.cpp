#include "core/usbhid.h"

#include <QDebug>
#include <QSocketNotifier>

#include <hidapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/platform.h"

namespace {

constexpr std::chrono::milliseconds kFirstRetryDelay { 1000 };
constexpr std::chrono::milliseconds kLongestRetryDelay { 30000 };

struct Enumeration
{
    bool present = false; // any interface of the receiver
    QStringList paths; // its traffic interface, in enumeration order
};

Enumeration enumerate()
{
    Enumeration found;
    hid_device_info *list = hid_enumerate(protocol::kVendorId, protocol::kProductId);
    found.present = list != nullptr;
    for (hid_device_info *entry = list; entry; entry = entry->next) {
        if (entry->vendor_id == protocol::kVendorId && entry->product_id == protocol::kProductId
            && entry->interface_number == protocol::kInterfaceNumber && entry->path)
            found.paths << QString::fromLocal8Bit(entry->path);
    }
    hid_free_enumeration(list);
    return found;
}

} // namespace

// Reads one handle on a thread of its own and hands the reports to the link,
// in order, on the link's thread. hidapi lets one thread at a time use a
// handle, so this handle is used for nothing else; writes go through a
// second one. The reader closes its handle itself when it ends.
//
// What the link has not yet taken waits here, within bounds: of the mode
// reports only the newest counts, since the pen is in one mode at a time;
// the others wait in order, up to kMostWaitingReports, and any past those
// are dropped. A receiver that sends faster than the program can follow
// costs it neither memory nor the pen's latest mode.
class usbhid::Reader
{
public:
    Reader(usbhid *link, hid_device *handle, unsigned generation)
        : link(link)
        , handle(handle)
        , generation(generation)
        , thread([this] { run(); })
    {
    }

    ~Reader()
    {
        stop();
        thread.join();
    }

    // Returns at once; the thread ends within one read timeout.
    void stop() { stopping = true; }

    // Every report waiting, oldest first, and how many were dropped since
    // the last time.
    std::deque<QByteArray> takeWaiting(unsigned &dropped)
    {
        std::deque<QByteArray> taken;
        std::lock_guard<std::mutex> hold(lock);
        for (Waiting &report : waiting)
            taken.push_back(std::move(report.bytes));
        waiting.clear();
        dropped = std::exchange(droppedSince, 0);
        wakeOwed = true;
        return taken;
    }

private:
    struct Waiting
    {
        QByteArray bytes;
        bool mode;
    };

    // True when the link is to be told that reports wait.
    bool hand(const QByteArray &report, bool mode)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (mode) {
            waiting.erase(
                std::remove_if(waiting.begin(), waiting.end(), [](const Waiting &w) { return w.mode; }),
                waiting.end());
        } else if (std::count_if(waiting.begin(), waiting.end(), [](const Waiting &w) { return !w.mode; })
            >= kMostWaitingReports) {
            ++droppedSince;
            return false;
        }
        waiting.push_back({ report, mode });
        return std::exchange(wakeOwed, false);
    }

    void run()
    {
        unsigned char buffer[protocol::kInputReportSize];
        bool failed = false;
        while (!stopping) {
            std::memset(buffer, 0, sizeof buffer);
            const int count = hid_read_timeout(handle, buffer, sizeof buffer, kReadTimeoutMs);
            if (stopping)
                break;
            if (count > 0) {
                // Bytes that are no report of the pen's change nothing, and need not wait.
                const protocol::Report kind = protocol::classify(buffer, std::size_t(count));
                if (kind != protocol::Report::Unknown
                    && hand(QByteArray(reinterpret_cast<const char *>(buffer), count),
                        protocol::isModeReport(kind)))
                    QMetaObject::invokeMethod(
                        link, [link = link, generation = generation] { link->takeFromReader(generation); },
                        Qt::QueuedConnection);
            } else if (count < 0) {
                failed = true;
                break;
            }
        }
        hid_close(handle);
        if (failed)
            QMetaObject::invokeMethod(
                link, [link = link, generation = generation] { link->readerFailed(generation); },
                Qt::QueuedConnection);
        QMetaObject::invokeMethod(
            link, [link = link, self = this] { link->readerDone(self); }, Qt::QueuedConnection);
    }

    usbhid *const link;
    hid_device *const handle;
    const unsigned generation;
    std::atomic<bool> stopping { false };

    std::mutex lock;
    std::deque<Waiting> waiting;
    unsigned droppedSince = 0;
    bool wakeOwed = true; // no wake-up on its way to the link

    std::thread thread;
};

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

    settleTimer.setSingleShot(true);
    settleTimer.setTimerType(Qt::PreciseTimer);
    connect(&settleTimer, &QTimer::timeout, this, [this] { tryOpen(); });
    lookTimer.setInterval(int(kLookInterval.count()));
    connect(&lookTimer, &QTimer::timeout, this, &usbhid::look);
    // Several nodes come and go together: one look serves them all.
    soonTimer.setSingleShot(true);
    soonTimer.setInterval(20);
    connect(&soonTimer, &QTimer::timeout, this, &usbhid::look);
    lookTimer.start();

    monitor = platform->watchDevices([this](const platform::DeviceEvent &event) { onDeviceEvent(event); });
    if (monitor && monitor->descriptor() >= 0) {
        monitorNotifier = new QSocketNotifier(monitor->descriptor(), QSocketNotifier::Read, this);
        connect(monitorNotifier, &QSocketNotifier::activated, this, [this] { monitor->dispatch(); });
    }
    look();
}

usbhid::~usbhid()
{
    delete monitorNotifier;
    monitorNotifier = nullptr;
    monitor.reset();
    closeHandles();
    retiring.clear();
}

bool usbhid::isPresent()
{
    hid_device_info *list = hid_enumerate(protocol::kVendorId, protocol::kProductId);
    const bool present = list != nullptr;
    hid_free_enumeration(list);
    return present;
}

std::chrono::milliseconds usbhid::settleDelay = usbhid::kSettleDelay;

void usbhid::setSettleDelay(std::chrono::milliseconds delay)
{
    settleDelay = delay;
}

void usbhid::moveTo(State next, Telling telling)
{
    const State was = std::exchange(state, next);
    if (next == State::Settling)
        settleTimer.start(int(settleDelay.count()));
    else
        settleTimer.stop();
    if (next == State::Open)
        lookTimer.stop();
    else if (!lookTimer.isActive())
        lookTimer.start();

    const bool firstAttempt = was == State::Settling
        && (next == State::Retrying || next == State::Refused || next == State::Open);
    const bool opened = was != State::Open && next == State::Open;
    if (!firstAttempt && !opened)
        return;
    if (telling == Telling::Later)
        QMetaObject::invokeMethod(
            this, [this] { emit arrived(); }, Qt::QueuedConnection);
    else
        emit arrived();
}

void usbhid::onDeviceEvent(const platform::DeviceEvent &event)
{
    switch (event.kind) {
    case platform::DeviceEvent::Added:
        news.added = true;
        break;
    case platform::DeviceEvent::Removed:
        news.removed = true;
        break;
    case platform::DeviceEvent::Changed:
        news.changed = true;
        break;
    }
    lookSoon();
}

void usbhid::lookSoon()
{
    if (!soonTimer.isActive())
        soonTimer.start();
}

void usbhid::look()
{
    const News seen = std::exchange(news, News {});

    if (state == State::Open && !seen.removed)
        return; // an open receiver tells of its own unplugging by a failed read
    const Enumeration found = enumerate();
    if (state == State::Open) {
        // Another device went, or this one went and came back at once.
        if (!found.paths.isEmpty() && !seen.added)
            return;
        lose();
    }
    setPresent(found.present);
    if (found.paths.isEmpty()) {
        appearance = Appearance {};
        setDenied(false);
        moveTo(State::Absent);
        return;
    }
    if (found.paths != appearance.paths || seen.added) {
        // A new appearance: it gets its pause, then one arrival.
        appearance = Appearance {};
        appearance.paths = found.paths;
        moveTo(State::Settling);
        return;
    }
    switch (state) {
    case State::Retrying:
        if (seen.changed || std::chrono::steady_clock::now() >= appearance.retryAt)
            tryOpen();
        break;
    case State::Refused:
        // Asking again changes nothing until the system changes the node.
        if (seen.changed)
            tryOpen();
        break;
    case State::Absent:
    case State::Settling:
    case State::Open:
        break;
    }
}

void usbhid::tryOpen(Telling telling)
{
    bool denied = false;
    QString deniedPath;
    for (const QString &path : qAsConst(appearance.paths)) {
        const QByteArray native = path.toLocal8Bit();
        hid_device *writer = hid_open_path(native.constData());
        if (!writer) {
            if (platform->openDenied(native.toStdString())) {
                denied = true;
                deniedPath = path;
            }
            continue;
        }
        hid_device *readHandle = hid_open_path(native.constData());
        if (!readHandle) {
            hid_close(writer);
            continue;
        }
        writeHandle = writer;
        reader = std::make_unique<Reader>(this, readHandle, ++generation);
        setDenied(false);
        moveTo(State::Open, telling);
        return;
    }

    setDenied(denied);
    if (denied) {
        if (!std::exchange(appearance.refusalTold, true))
            emit openDenied(deniedPath);
        moveTo(State::Refused, telling);
        return;
    }
    appearance.retryDelay = appearance.retryDelay.count() == 0
        ? kFirstRetryDelay
        : std::min(appearance.retryDelay * 2, kLongestRetryDelay);
    appearance.retryAt = std::chrono::steady_clock::now() + appearance.retryDelay;
    moveTo(State::Retrying, telling);
}

bool usbhid::openForWriting()
{
    // Early is not failed: the rest of the pause is waited out here, as the
    // receiver answers only after it, and the write then goes out.
    if (state == State::Settling) {
        const std::chrono::milliseconds left(std::max(settleTimer.remainingTime(), 0));
        settleTimer.stop();
        std::this_thread::sleep_for(left);
        tryOpen(Telling::Later);
    }
    return writeHandle != nullptr;
}

void usbhid::closeHandles()
{
    if (writeHandle) {
        hid_close(writeHandle);
        writeHandle = nullptr;
    }
    if (reader) {
        // The reader lets go of its own handle; it is joined once it has.
        reader->stop();
        retiring.push_back(std::move(reader));
    }
}

void usbhid::lose()
{
    closeHandles();
    appearance = Appearance {};
    moveTo(State::Absent);
}

void usbhid::setPresent(bool present)
{
    if (!present)
        setDenied(false);
    if (present == isThere)
        return;
    isThere = present;
    emit presenceChanged(present);
}

void usbhid::setDenied(bool denied)
{
    if (denied == isDenied)
        return;
    isDenied = denied;
    emit deniedChanged(denied);
}

void usbhid::takeFromReader(unsigned fromGeneration)
{
    // Reports still on their way from a handle that was closed belong to a
    // receiver that is gone.
    if (fromGeneration != generation || !isOpen() || !reader)
        return;
    unsigned dropped = 0;
    const std::deque<QByteArray> reports = reader->takeWaiting(dropped);
    if (dropped > 0)
        qDebug() << dropped
                 << "reports from the receiver dropped: they came faster than they could be handled";
    for (const QByteArray &report : reports) {
        // What one report sets off may close the link; the rest came from a
        // receiver that is gone.
        if (fromGeneration != generation || !isOpen())
            return;
        takeReport(report);
    }
}

void usbhid::readerFailed(unsigned fromGeneration)
{
    if (fromGeneration != generation || !isOpen())
        return;
    // A failed read is the receiver pulled out. If it is back already, it is
    // a new arrival.
    lose();
    look();
}

void usbhid::readerDone(Reader *done)
{
    retiring.remove_if([done](const std::unique_ptr<Reader> &r) { return r.get() == done; });
}

void usbhid::takeReport(const QByteArray &report)
{
    // Bytes past the delivered count read as zero, as in a zeroed buffer.
    unsigned char buffer[protocol::kInputReportSize] = {};
    const int length = std::min(report.size(), int(sizeof buffer));
    std::memcpy(buffer, report.constData(), std::size_t(length));
    dispatch(buffer, length);
}

namespace {

// Which signal each report raises: those of a mode with the size byte, a
// mapping block after its copy is in place, the rest as they are.
struct Route
{
    protocol::Report report;
    void (usbhid::*plain)();
    void (usbhid::*sized)(int);
    unsigned char (usbhid::*block)[protocol::kBlockSize];
};

const Route kRoutes[] = {
    { protocol::Report::ModeLaser, nullptr, &usbhid::open_Qy, nullptr },
    { protocol::Report::ModeMagnifier, nullptr, &usbhid::open_Magnify, nullptr },
    { protocol::Report::ModeSpotlight, nullptr, &usbhid::open_QyLight, nullptr },
    { protocol::Report::ModeNormal, &usbhid::setNormal, nullptr, nullptr },
    { protocol::Report::NoticeNormal, &usbhid::setNormalUse, nullptr, nullptr },
    { protocol::Report::NoticeMagnifier, &usbhid::setMagnify, nullptr, nullptr },
    { protocol::Report::NoticeSpotlight, &usbhid::setSpotLight, nullptr, nullptr },
    { protocol::Report::NoticeLaser, &usbhid::setLazer, nullptr, nullptr },
    { protocol::Report::KeyOk, &usbhid::setKeyOK, nullptr, nullptr },
    { protocol::Report::ResetOk, &usbhid::setResetOK, nullptr, nullptr },
    { protocol::Report::Block1, &usbhid::setData1, nullptr, &usbhid::data1 },
    { protocol::Report::Block2, &usbhid::setData2, nullptr, &usbhid::data2 },
};

} // namespace

void usbhid::dispatch(const unsigned char *report, int length)
{
    const std::size_t n = static_cast<std::size_t>(length);
    const protocol::Report kind = protocol::classify(report, n);
    for (const Route &route : kRoutes) {
        if (route.report != kind)
            continue;
        // The whole buffer, as a slot reading the block expects 32 bytes.
        if (route.block)
            std::memcpy(this->*route.block, report, protocol::kBlockSize);
        if (route.sized)
            emit(this->*route.sized)(protocol::sizeLevel(report, n));
        else
            emit(this->*route.plain)();
        if (const protocol::ModeReport *mode = protocol::modeReport(kind))
            emit modeReported(int(mode->mode), protocol::sizeLevel(report, n));
        return;
    }
}

int usbhid::writeReport(const unsigned char *report)
{
    if (!openForWriting())
        return -1;
    return hid_write(writeHandle, report, protocol::kOutputReportSize);
}

int usbhid::writeReportPair(const unsigned char *reports)
{
    if (!openForWriting())
        return -1;
    const int first = hid_write(writeHandle, reports, protocol::kOutputReportSize);
    const int second
        = hid_write(writeHandle, reports + protocol::kOutputReportSize, protocol::kOutputReportSize);
    // A lost first block must not pass for a stored mapping.
    return first > 0 ? second : -1;
}
