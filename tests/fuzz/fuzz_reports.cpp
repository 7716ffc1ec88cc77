// Whatever the receiver sends: each input is one input report of 0 to 64
// bytes, read by the device link of a whole main window that lives across
// inputs, and checked against what must hold after any report.
#include <QApplication>
#include <QComboBox>
#include <QSharedMemory>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/usbhid.h"
#include "inprocess.h"
#include "keymap/slots.h"
#include "keymap/vocabulary.h"
#include "mainwindow/widget.h"
#include "support/recordingplatform.h"

namespace {

RecordingPlatform *recorder = nullptr;
Widget *window = nullptr;

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_reports: %s\n", what);
        std::abort();
    }
}

// Each mode report enters its mode and keeps its size (a zero size standing
// for 3 where the mode says so) in its segment.
struct EffectMode
{
    protocol::Report report;
    int mode;
    int Widget::*size;
    QSharedMemory *Widget::*segment;
    bool zeroIsThree;
};

const EffectMode kEffectModes[] = {
    { protocol::Report::ModeLaser, Widget::LaserMode, &Widget::redDotrixSize, &Widget::dotrixShared, false },
    { protocol::Report::ModeMagnifier, Widget::MagnifierMode, &Widget::magnifierSize,
        &Widget::magnifierShared, true },
    { protocol::Report::ModeSpotlight, Widget::SpotlightMode, &Widget::qyLightSize, &Widget::halvixShared,
        true },
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Every mode switch logs a line; at this rate the log costs more than the program.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        check(type != QtFatalMsg, qPrintable(message));
    });
    static int qtArgc = 1;
    static char *qtArgv[] = { (*argv)[0], nullptr };
    // The application stays at exit: the offscreen platform leaks its screen when it goes.
    new QApplication(qtArgc, qtArgv);
    quorvantInitResources();
    // Reports come from the fuzzer alone, never from a receiver.
    sim::inProcessReceiver().unplug();
    recorder = new RecordingPlatform;
    window = new Widget(nullptr, recorder);
    // Left attached at exit, the segments would stay in the system.
    std::atexit([] {
        delete window;
        delete recorder;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > sim::kMaxInjected)
        return -1;
    // Nothing runs, so no kill command is started per input.
    recorder->running.clear();
    recorder->calls.clear();
    const int modeBefore = window->currentMode;

    // As the reader hands it over: cut to a report's size, the rest zero.
    std::uint8_t report[protocol::kInputReportSize] = {};
    std::memcpy(report, data, std::min(size, protocol::kInputReportSize));
    window->usbHid->takeReport(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    QCoreApplication::sendPostedEvents();

    const protocol::Report kind = protocol::classify(report, protocol::kInputReportSize);
    int expectedMode = kind == protocol::Report::ModeNormal ? int(Widget::NormalMode) : modeBefore;
    for (const EffectMode &row : kEffectModes) {
        const int level = report[protocol::kSizeByte];
        if (row.report == kind) {
            expectedMode = row.mode;
            check(window->*row.size == (level == 0 && row.zeroIsThree ? 3 : level),
                "a mode's size was not taken");
        }
        if (window->currentMode == row.mode && window->*row.segment && (window->*row.segment)->isAttached()) {
            QSharedMemory &segment = *(window->*row.segment);
            check(segment.lock(), "segment lock refused");
            check(qFromLittleEndian<qint32>(segment.constData()) == window->*row.size,
                "the active mode's segment lacks its size");
            segment.unlock();
        }
    }
    check(window->currentMode == expectedMode, "the mode does not follow the mode reports alone");

    if (kind == protocol::Report::Block1 || kind == protocol::Report::Block2) {
        const int offset = kind == protocol::Report::Block1 ? 0 : int(protocol::kBlockSize);
        check(std::equal(report, report + protocol::kBlockSize, window->savedKeyValue.begin() + offset),
            "a mapping block was not taken as the receiver's mapping");
    }
    check(window->usbHid->data1[0] == protocol::kBlock1Marker
            && window->usbHid->data2[0] == protocol::kBlock2Marker
            && window->keyValue[0] == protocol::kBlock1Marker
            && window->keyValue[32] == protocol::kBlock2Marker,
        "a mapping block holds another report");
    for (int slot = 0; slot < keymap::slotCount; ++slot)
        check(window->keyValue[protocol::slotImageIndex(slot)]
                == keymap::keyCode(window->keyCombos.at(slot)->currentIndex()),
            "a key box shows another action than the mapping holds");
    return 0;
}
