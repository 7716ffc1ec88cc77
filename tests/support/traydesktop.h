// A display of the test's own with a system tray host docked on it. Offscreen,
// Qt has no tray: the icon never docks and showMessage shows nothing at all,
// so tests of what the tray tells the user run here instead.
#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <cstdio>
#include <sys/types.h>

#include "support/privatefolder.h"

namespace testsupport {

class TrayDesktop
{
public:
    TrayDesktop() = default;
    // Ends the tray host and the X server. The QApplication must be gone.
    ~TrayDesktop();

    TrayDesktop(const TrayDesktop &) = delete;
    TrayDesktop &operator=(const TrayDesktop &) = delete;

    // Starts Xvfb on a free display and the tray host on it, and points
    // DISPLAY and QT_QPA_PLATFORM at them. Call before the QApplication
    // exists. On failure, says why in `error`.
    bool start(QString *error);

    // With the application running: waits until the tray host owns the
    // system tray.
    static bool waitForTray(int timeoutMs);

private:
    pid_t server = 0;
    pid_t tray = 0;
};

// The title and the text of the balloon Qt shows on the tray, or an empty
// list when none is on screen.
QStringList visibleBalloon();

// Takes any balloon off the screen.
void dismissBalloons();

} // namespace testsupport

// QTEST_MAIN for tests that need the tray: from a private folder, on a
// display of their own with a tray host.
#define QUORVANT_TRAY_TEST_MAIN(TestObject)                                                                  \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        const int copyResult = testsupport::runInPrivateFolder(argc, argv);                                  \
        if (copyResult >= 0)                                                                                 \
            return copyResult;                                                                               \
        testsupport::TrayDesktop desktop;                                                                    \
        QString error;                                                                                       \
        if (!desktop.start(&error)) {                                                                        \
            fprintf(stderr, "no desktop with a tray: %s\n", qPrintable(error));                              \
            return 1;                                                                                        \
        }                                                                                                    \
        int result = 1;                                                                                      \
        {                                                                                                    \
            QApplication app(argc, argv);                                                                    \
            app.setAttribute(Qt::AA_Use96Dpi, true);                                                         \
            if (!testsupport::TrayDesktop::waitForTray(30000)) {                                             \
                fprintf(stderr, "the tray host never took the system tray\n");                               \
                return 1;                                                                                    \
            }                                                                                                \
            TestObject test;                                                                                 \
            result = QTest::qExec(&test, argc, argv);                                                        \
        }                                                                                                    \
        return result;                                                                                       \
    }
