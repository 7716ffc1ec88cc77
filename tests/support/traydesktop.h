// Tests of what the tray tells the user run on a display of their own with a
// system tray host docked on it (python3 -m tests.support.desktops tray --
// TEST): offscreen, Qt has no tray and shows no balloon.
#pragma once

#include <QStringList>
#include <QSystemTrayIcon>
#include <QtTest>

namespace testsupport {

// The title and text of the balloon on screen, or an empty list.
QStringList visibleBalloon();
void dismissBalloons();

} // namespace testsupport

#define QUORVANT_TRAY_TEST_MAIN(TestObject)                                                                  \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        QApplication app(argc, argv);                                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        if (!QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 30000))                \
            qFatal("no system tray: run on the tests' tray desktop");                                        \
        TestObject test;                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
