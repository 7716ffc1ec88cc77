// A display of the test's own with a system tray host docked on it. Offscreen,
// Qt has no tray and shows no balloon, so tests of what the tray tells the
// user run here instead.
#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>
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

    // Before the QApplication exists: starts Xvfb on a free display and the
    // tray host on it, and points DISPLAY and QT_QPA_PLATFORM at them.
    bool start(QString *error);

private:
    pid_t server = 0;
    pid_t tray = 0;
};

// The title and text of the balloon on screen, or an empty list.
QStringList visibleBalloon();
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
            if (!QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 30000)) {          \
                fprintf(stderr, "the tray host never took the system tray\n");                               \
                return 1;                                                                                    \
            }                                                                                                \
            TestObject test;                                                                                 \
            result = QTest::qExec(&test, argc, argv);                                                        \
        }                                                                                                    \
        return result;                                                                                       \
    }
