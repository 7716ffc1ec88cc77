// Runs a test executable from a folder of its own. The program keeps its
// settings file beside its executable, so tests that start and end the main
// window would otherwise share one file with every other test in the build's
// bin folder, and with each other when ctest runs them side by side.
#pragma once

#include <QApplication>
#include <QtTest>

namespace testsupport {

// Call first in main. In the first run, copies the executable into a new
// temporary folder (with a link to the data folder beside it), runs the copy
// with the same arguments, removes the folder and returns the copy's exit
// code. In the copy, returns -1 and the test goes on.
int runInPrivateFolder(int argc, char **argv);

// The folder the copy runs from, or empty outside a copy.
QString privateFolder();

} // namespace testsupport

// QTEST_MAIN for tests that run from a private folder.
#define QUORVANT_PRIVATE_TEST_MAIN(TestObject)                                                               \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        const int copyResult = testsupport::runInPrivateFolder(argc, argv);                                  \
        if (copyResult >= 0)                                                                                 \
            return copyResult;                                                                               \
        QApplication app(argc, argv);                                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        TestObject test;                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
