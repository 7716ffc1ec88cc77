// Runs a test from a folder of its own: the program keeps its settings file
// beside its executable, which would otherwise be shared by every test.
#pragma once

#include <QApplication>
#include <QtTest>

namespace testsupport {

// Call first in main. In the first run, runs a copy of the executable from a
// new temporary folder (with the data folder linked beside it) and returns
// its exit code. In the copy, returns -1 and the test goes on.
int runInPrivateFolder(int argc, char **argv);

// The folder the copy runs from, or empty outside a copy.
QString privateFolder();

} // namespace testsupport

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
