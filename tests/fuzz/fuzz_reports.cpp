// Whatever the receiver sends: each input is one input report of 0 to 64
// bytes, handed to the receiver link of a whole session, with its main
// window, that lives across inputs. Beyond not failing, what must hold after
// any report: a mode the program knows, both mapping blocks still marked as
// such, and every key box showing its slot's code.
#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#include "core/keymapping.h"
#include "core/modeswitcher.h"
#include "core/session.h"
#include "core/usbhid.h"
#include "inprocess.h"
#include "keymap/slots.h"
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
    // Sizes in a folder of the fuzzer's own, removed at its exit.
    static QTemporaryDir sizes;
    session = new Session(recorder, settings::inFolder(sizes.path()));
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
    session->link().takeReport(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    QCoreApplication::sendPostedEvents();

    const int mode = session->modes().currentMode();
    check(mode >= ModeSwitcher::NormalMode && mode <= ModeSwitcher::LaserMode, "a mode the program lacks");
    const KeyMapping &mapping = session->mapping();
    check(mapping.image()[0] == 0x55 && mapping.image()[32] == 0x56, "a mapping block holds another report");
    for (int slot = 0; slot < keymap::slotCount; ++slot) {
        const auto *box = window->findChild<QComboBox *>(keymap::boxName(slot));
        check(box && box->currentData().toInt() == mapping.code(slot),
            "a key box shows another action than the mapping holds");
    }
    return 0;
}
