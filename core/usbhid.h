// The program's only path to the pen's receiver: learns from the system when
// it comes and goes, opens its HID interface, reads its input reports on a
// thread of its own and turns them into signals on the thread that owns the
// link, in order (a mode report overtaken by a newer one before the link
// took it is passed over), and sends output reports for the rest of the
// program.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <list>
#include <memory>

#include "device/protocol.h"

struct hid_device_;
typedef struct hid_device_ hid_device;

class QSocketNotifier;

namespace platform {
class EventSource;
struct DeviceEvent;
class Platform;
} // namespace platform

class usbhid : public QObject
{
    Q_OBJECT

public:
    // The pause a receiver needs after it appears before it answers.
    static constexpr std::chrono::milliseconds kSettleDelay { 600 };
    // While no receiver is open, the system is asked this often as well, for
    // the news a device monitor may miss (or cannot give at all).
    static constexpr std::chrono::milliseconds kLookInterval { 1000 };
    // How long the reader waits for a report before it looks whether it is to stop.
    static constexpr int kReadTimeoutMs = 200;
    // How many reports other than mode reports may wait for the link's
    // thread: far more than a read-back and a write answer together.
    static constexpr int kMostWaitingReports = 64;

    // The platform watches the devices; null uses the system's own.
    explicit usbhid(QObject *parent = nullptr, platform::Platform *platform = nullptr);
    ~usbhid() override;

    // Whether any interface of the receiver is enumerated, asked of the
    // system now.
    static bool isPresent();

    // Whether the receiver was there when the link last learned of it.
    bool present() const { return isThere; }
    bool isOpen() const { return writeHandle != nullptr; }
    // Whether the receiver is there and the last attempt to open it was
    // refused to this user.
    bool denied() const { return isDenied; }

    // One 33-byte output report. Returns the bytes written, or -1 (also when
    // the receiver is not open). A receiver that has just appeared is waited
    // for until its settle pause is over, then opened and written to.
    int writeReport(const unsigned char *report);

    // Two 33-byte output reports back to back, the receiver waited for as
    // above. Both are sent even when the first fails; the result is -1 unless
    // both went out.
    int writeReportPair(const unsigned char *reports);

    // Handles one input report as if the receiver had just sent it.
    void takeReport(const QByteArray &report);

    // For tests: a shorter pause before opening a receiver that appeared, for
    // every link made afterwards.
    static void setSettleDelay(std::chrono::milliseconds delay);

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
    // Any of the four mode reports above, as the mode it enters (the values
    // of protocol::Mode) and its size byte.
    void modeReported(int mode, int size);

    // The receiver was plugged in or pulled out.
    void presenceChanged(bool present);
    // A receiver that appeared is ready for commands: once its settle pause
    // is over and the first attempt to open it is made, whatever its outcome,
    // and once more when one that could not be opened then opens.
    void arrived();
    // The receiver is there but the user may not open it. Once per appearance.
    void openDenied(const QString &path);
    // denied() changed.
    void deniedChanged(bool denied);

private:
    class Reader;

    // Where the link stands with the receiver's current appearance. An
    // appearance lasts from the moment its traffic interfaces are found until
    // they go or change; arrived() is told after its first attempt to open,
    // whatever the outcome, and once more at its opening if that came later.
    enum class State {
        Absent, // no traffic interface of the receiver is there
        Settling, // it appeared and gets its pause; nothing told yet
        Retrying, // it could not be opened; tried again after a growing pause
        Refused, // this user may not open it; tried again when its nodes change
        Open, // both handles open, the reader running
    };
    // Postpones arrived() to the event loop, so that the write that opened
    // the receiver goes out before anything the arrival sets off.
    enum class Telling { AtOnce, Later };

    void moveTo(State next, Telling telling = Telling::AtOnce);
    void onDeviceEvent(const platform::DeviceEvent &event);
    void lookSoon();
    void look();
    void tryOpen(Telling telling = Telling::AtOnce);
    bool openForWriting();
    void closeHandles();
    // The appearance ended: its handles close and it is forgotten.
    void lose();
    void setPresent(bool present);
    void setDenied(bool denied);
    void takeFromReader(unsigned generation);
    void readerFailed(unsigned generation);
    void readerDone(Reader *reader);
    void dispatch(const unsigned char *report, int length);

    std::unique_ptr<platform::Platform> ownPlatform;
    platform::Platform *platform = nullptr;
    std::unique_ptr<platform::EventSource> monitor;
    QSocketNotifier *monitorNotifier = nullptr;

    hid_device *writeHandle = nullptr;
    std::unique_ptr<Reader> reader;
    std::list<std::unique_ptr<Reader>> retiring;
    unsigned generation = 0;

    State state = State::Absent;
    bool isThere = false;
    bool isDenied = false;

    // What is known of the current appearance.
    struct Appearance
    {
        QStringList paths; // the receiver's traffic interfaces
        bool refusalTold = false; // openDenied() emitted
        // The pause before the next try in Retrying: it grows with each
        // failure and is kept across a refusal.
        std::chrono::milliseconds retryDelay { 0 };
        std::chrono::steady_clock::time_point retryAt {};
    };
    Appearance appearance;

    // What the device monitor told since the last look.
    struct News
    {
        bool added = false;
        bool removed = false;
        bool changed = false;
    };
    News news;

    static std::chrono::milliseconds settleDelay;
    QTimer settleTimer; // runs in Settling only
    QTimer lookTimer; // runs in every state but Open
    QTimer soonTimer; // gathers the monitor's news into one look
};
