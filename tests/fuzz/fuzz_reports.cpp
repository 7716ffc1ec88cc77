// Whatever the receiver sends: each input is one input report of 0 to 64
// bytes, queued at the in-process receiver and read by the device link of a
// whole main window, so the real classification, signals and slots run on
// it. The window lives across inputs, as it does across a receiver's reports.
//
// Besides crashes and sanitizer reports, every input is checked against what
// must hold after any report: a known mode whose segment holds its size, both
// mapping blocks marked, and an editor that shows what a write would send.
#include <QApplication>
#include <QComboBox>
#include <QSharedMemory>
#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/protocol.h"
#include "device/usbhid.h"
#include "inprocess.h"
#include "keymap/slots.h"
#include "keymap/vocabulary.h"
#include "mainwindow/widget.h"
#include "support/recordingplatform.h"

namespace {

struct Bench
{
    QApplication *app = nullptr;
    RecordingPlatform *platform = nullptr;
    Widget *window = nullptr;
};

Bench bench;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_reports: %s\n", what);
    std::abort();
}

void check(bool condition, const char *what)
{
    if (!condition)
        fail(what);
}

void quiet(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // Every mode switch logs a line; at this rate the log would cost more
    // than the program.
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        std::abort();
    }
}

void tearDown()
{
    // Detaching removes the segments from the system; left attached at exit
    // they would stay behind. The application object stays: the offscreen
    // platform leaks its screen when it goes.
    delete bench.window;
    bench.window = nullptr;
    delete bench.platform;
    bench.platform = nullptr;
}

// The three effect modes: the report that enters each, its program, where
// the window keeps its size and segment, and whether a zero size stands
// for 3.
struct EffectMode
{
    protocol::Report report;
    int mode;
    const char *program;
    int Widget::*size;
    QSharedMemory *Widget::*segment;
    bool zeroIsThree;
};

const EffectMode kEffectModes[] = {
    { protocol::Report::ModeLaser, Widget::LaserMode, "Dotrix.exe", &Widget::redDotrixSize,
        &Widget::dotrixShared, false },
    { protocol::Report::ModeMagnifier, Widget::MagnifierMode, "Loupex.exe", &Widget::magnifierSize,
        &Widget::magnifierShared, true },
    { protocol::Report::ModeSpotlight, Widget::SpotlightMode, "Halvix.exe", &Widget::qyLightSize,
        &Widget::halvixShared, true },
};

const EffectMode *enteredBy(protocol::Report report)
{
    for (const EffectMode &row : kEffectModes)
        if (row.report == report)
            return &row;
    return nullptr;
}

const EffectMode *effectMode(int mode)
{
    for (const EffectMode &row : kEffectModes)
        if (row.mode == mode)
            return &row;
    return nullptr;
}

void checkSegment(const Widget &window)
{
    const EffectMode *active = effectMode(window.currentMode);
    QSharedMemory *segment = active ? window.*active->segment : nullptr;
    if (!segment || !segment->isAttached() || segment->size() < int(sizeof(qint32)))
        return;
    check(segment->lock(), "segment lock refused");
    const qint32 stored = qFromLittleEndian<qint32>(segment->constData());
    segment->unlock();
    check(stored == window.*active->size, "the active mode's segment lacks its size");
}

void checkEditor(const Widget &window)
{
    check(window.keyValue[0] == protocol::kBlock1Marker && window.keyValue[32] == protocol::kBlock2Marker,
        "mapping image lost its block markers");
    for (int slot = 0; slot < keymap::slotCount; ++slot) {
        const QComboBox *box = window.keyCombos.value(slot);
        check(box != nullptr, "a key box is missing");
        check(window.keyValue[protocol::slotImageIndex(slot)] == keymap::keyCode(box->currentIndex()),
            "a key box shows another action than the mapping holds");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    static int qtArgc = 1;
    static char *qtArgv[] = { (*argv)[0], nullptr };
    (void)argc;
    bench.app = new QApplication(qtArgc, qtArgv);
    quorvantInitResources();
    bench.platform = new RecordingPlatform;
    bench.window = new Widget(nullptr, bench.platform);
    std::atexit(tearDown);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > sim::kMaxInjected)
        return -1;
    Widget &window = *bench.window;
    RecordingPlatform &platform = *bench.platform;
    // Nothing ever runs, so no kill command is started per input, and the
    // record of calls is this input's alone.
    platform.running.clear();
    platform.calls.clear();
    const int modeBefore = window.currentMode;

    sim::inProcessReceiver().inject(sim::Bytes(data, data + size));
    unsigned char buffer[protocol::kInputReportSize];
    std::memset(buffer, 0, sizeof buffer);
    const int count = window.usbHid->readReport(buffer);
    // Whatever the receiver answers to what the slots sent is read too, as
    // the read tick drains the queue.
    unsigned char more[protocol::kInputReportSize];
    do
        std::memset(more, 0, sizeof more);
    while (window.usbHid->readReport(more) > 0);
    QCoreApplication::sendPostedEvents();

    const int delivered = static_cast<int>(std::min(size, protocol::kInputReportSize));
    check(count == delivered, "read did not deliver the report as sent");

    // What the report was, read from the delivered bytes padded with zeros.
    std::uint8_t report[protocol::kInputReportSize] = {};
    if (delivered > 0)
        std::memcpy(report, data, static_cast<std::size_t>(delivered));
    const protocol::Report kind = protocol::classify(report, protocol::kInputReportSize);

    check(window.currentMode >= Widget::NormalMode && window.currentMode <= Widget::LaserMode,
        "mode out of range");
    if (const EffectMode *entered = enteredBy(kind)) {
        const int size = report[protocol::kSizeByte];
        check(window.currentMode == entered->mode, "a mode report was not followed");
        check(window.*entered->size == (size == 0 && entered->zeroIsThree ? 3 : size),
            "a mode report's size was not taken");
        const QString start
            = QString("start %1/%2").arg(QCoreApplication::applicationDirPath(), entered->program);
        const int starts = platform.callsStartingWith("start ").size();
        if (modeBefore == entered->mode)
            check(starts == 0, "an effect program was started again for a size change");
        else
            check(starts == 1 && platform.calls.contains(start), "entering a mode did not start its program");
    } else if (kind == protocol::Report::ModeNormal) {
        check(window.currentMode == Widget::NormalMode, "normal use was not followed");
    } else {
        check(window.currentMode == modeBefore, "a report that is no mode report changed the mode");
    }
    check(platform.callsStartingWith("start ").size() <= 1, "more than one effect program started");

    if (kind == protocol::Report::Block1 || kind == protocol::Report::Block2) {
        const unsigned char *block
            = kind == protocol::Report::Block1 ? window.usbHid->data1 : window.usbHid->data2;
        const int offset = kind == protocol::Report::Block1 ? 0 : int(protocol::kBlockSize);
        check(std::memcmp(block, report, protocol::kBlockSize) == 0, "a mapping block was not kept as sent");
        check(std::equal(report, report + protocol::kBlockSize, window.savedKeyValue.begin() + offset),
            "a mapping block was not taken as the receiver's mapping");
    }
    check(window.usbHid->data1[0] == protocol::kBlock1Marker
            && window.usbHid->data2[0] == protocol::kBlock2Marker,
        "a mapping block holds another report");

    checkSegment(window);
    checkEditor(window);
    return 0;
}
