// Tests of what the tray tells the user run on a display of their own with a
// system tray host docked on it: offscreen, Qt has no tray and shows no
// balloon, and takes no picture of the desktop.
#pragma once

#include <QStringList>
#include <QtTest>

#include <functional>

namespace testsupport {

// Starts Xvfb on a free display and a tray host on it, makes the
// QApplication, waits for the tray and runs `test`; returns its result.
// Everything it started ends with it.
int runOnTrayDesktop(int argc, char **argv, const std::function<int()> &test);

// The title and text of the balloon on screen, or an empty list.
QStringList visibleBalloon();
void dismissBalloons();

} // namespace testsupport

#define QUORVANT_TRAY_TEST_MAIN(TestObject)                                                                  \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        return testsupport::runOnTrayDesktop(argc, argv, [&] {                                               \
            TestObject test;                                                                                 \
            return QTest::qExec(&test, argc, argv);                                                          \
        });                                                                                                  \
    }
