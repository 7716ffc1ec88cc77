// The program's only path to the pen's receiver: finds and opens its HID
// interface, polls it for input reports, turns each into a signal, and sends
// output reports for the rest of the program.
#pragma once

#include <QObject>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <memory>

#include "device/protocol.h"

struct hid_device_;
typedef struct hid_device_ hid_device;

namespace platform {
class Platform;
}

class usbhid : public QObject
{
    Q_OBJECT

public:
    // The platform gives the settle pause before an open; null uses the
    // system's own.
    explicit usbhid(QObject *parent = nullptr, platform::Platform *platform = nullptr);
    ~usbhid() override;

    // Whether any interface of the receiver is enumerated.
    static bool isPresent();

    // Reads one report into a 32-byte buffer and dispatches it. Returns the
    // byte count, 0 when nothing came within 20 ms, -1 when the receiver
    // cannot be opened or the read failed.
    int readReport(unsigned char *buffer);

    // One 33-byte output report. Returns the bytes written, or -1.
    int writeReport(const unsigned char *report);

    // Two 33-byte output reports back to back. Both are sent even when the
    // first fails; the result is -1 unless both went out.
    int writeReportPair(const unsigned char *reports);

    bool isOpen() const { return handle != nullptr; }

    // The two most recent mapping blocks.
    unsigned char data1[protocol::kBlockSize];
    unsigned char data2[protocol::kBlockSize];

signals:
    void open_Qy(int n);
    void open_Magnify(int n);
    void open_QyLight(int nsize);
    void setNormal();
    void setKeyOK();
    void setResetOK();
    void setData1();
    void setData2();
    void setLazer();
    void setMagnify();
    void setSpotLight();
    void setNormalUse();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    hid_device *openDevice();
    bool ensureOpen();
    void dispatch(const unsigned char *report, int length);
    void closeHandle();

    hid_device *handle = nullptr;
    int readTimerId = 0;
    int watchTimerId = 0;

    std::unique_ptr<platform::Platform> ownPlatform;
    platform::Platform *platform = nullptr;

    // A receiver that is enumerated but cannot be opened is retried only
    // when the set of matching interfaces changes or after a growing pause,
    // so that the poll never blocks the program for good.
    QStringList knownPaths;
    std::chrono::steady_clock::time_point retryAt {};
    std::chrono::milliseconds retryDelay { 0 };
};
