// Whatever the receiver sends: each input is one input report of 0 to 64
// bytes, handed to the receiver link of a whole session, with its main
// window, that lives across inputs, and checked against what must hold after
// any report.
#include <QApplication>
#include <QComboBox>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/keymapping.h"
#include "core/modeswitcher.h"
#include "core/session.h"
#include "core/sizesegment.h"
#include "core/usbhid.h"
#include "inprocess.h"
#include "keymap/slots.h"
#include "keymap/vocabulary.h"
#include "mainwindow/widget.h"
#include "support/recordingplatform.h"

namespace {

RecordingPlatform *recorder = nullptr;
Session *session = nullptr;
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
    const char *key;
    bool zeroIsThree;
};

const EffectMode kEffectModes[] = {
    { protocol::Report::ModeLaser, ModeSwitcher::LaserMode, segment::kDotrixKey, false },
    { protocol::Report::ModeMagnifier, ModeSwitcher::MagnifierMode, segment::kLoupexKey, true },
    { protocol::Report::ModeSpotlight, ModeSwitcher::SpotlightMode, segment::kHalvixKey, true },
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
    session = new Session(recorder);
    window = new Widget(session);
    // Left attached at exit, the segments would stay in the system.
    std::atexit([] {
        delete window;
        delete session;
        delete recorder;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > sim::kMaxInjected)
        return -1;
    // Nothing runs, so nothing is stopped per input.
    recorder->running.clear();
    recorder->calls.clear();
    ModeSwitcher &modes = session->modes();
    const int modeBefore = modes.currentMode();

    // As the reader hands it over: cut to a report's size, the rest zero.
    std::uint8_t report[protocol::kInputReportSize] = {};
    std::memcpy(report, data, std::min(size, protocol::kInputReportSize));
    session->link().takeReport(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    QCoreApplication::sendPostedEvents();

    const protocol::Report kind = protocol::classify(report, protocol::kInputReportSize);
    int expectedMode = kind == protocol::Report::ModeNormal ? int(ModeSwitcher::NormalMode) : modeBefore;
    for (const EffectMode &row : kEffectModes) {
        const int level = report[protocol::kSizeByte];
        if (row.report == kind) {
            expectedMode = row.mode;
            check(modes.size(row.mode) == (level == 0 && row.zeroIsThree ? 3 : level),
                "a mode's size was not taken");
        }
        if (modes.currentMode() == row.mode) {
            SizeSegment segment(QString::fromLatin1(row.key));
            check(!segment.open() || segment.read() == modes.size(row.mode),
                "the active mode's segment lacks its size");
        }
    }
    check(modes.currentMode() == expectedMode, "the mode does not follow the mode reports alone");

    const KeyMapping &mapping = session->mapping();
    if (kind == protocol::Report::Block1 || kind == protocol::Report::Block2) {
        const int offset = kind == protocol::Report::Block1 ? 0 : int(protocol::kBlockSize);
        check(std::equal(report, report + protocol::kBlockSize, mapping.saved().begin() + offset),
            "a mapping block was not taken as the receiver's mapping");
        for (int slot = offset ? 24 : 0; slot < (offset ? 48 : 24); ++slot)
            check(mapping.code(slot) == report[protocol::slotBlockOffset(slot)],
                "a code of a block was not taken");
    }
    check(mapping.image()[0] == protocol::kBlock1Marker && mapping.image()[32] == protocol::kBlock2Marker,
        "a mapping block holds another report");
    // Each box shows its slot's code, named or not.
    for (int slot = 0; slot < keymap::slotCount; ++slot) {
        const auto *box = window->findChild<QComboBox *>(keymap::boxName(slot));
        check(box && box->currentData().toInt() == mapping.code(slot),
            "a key box shows another action than the mapping holds");
    }
    return 0;
}
