// Whatever is left in the settings file: each input is a whole file, read as
// the program reads it at start-up.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "mainwindow/settings.h"

namespace {

QTemporaryDir *folder = nullptr;
quint64 serial = 0;

void tearDown()
{
    delete folder;
    folder = nullptr;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    folder = new QTemporaryDir;
    if (!folder->isValid()) {
        std::fprintf(stderr, "fuzz_settings: no temporary folder\n");
        std::abort();
    }
    std::atexit(tearDown);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // A new name for every input: files are cached by name, and one written
    // within the same moment with the same length would be taken as unchanged.
    const QString path = folder->filePath(QString("setting_%1.ini").arg(++serial));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size)) {
        std::fprintf(stderr, "fuzz_settings: cannot write %s\n", qPrintable(path));
        std::abort();
    }
    file.close();

    // Any integer is a size the effect programs clamp, so the values
    // themselves are not checked; reading must neither fail nor touch the
    // file, which holds the sizes of the last orderly exit.
    readSizeLevels(path);
    if (!file.open(QIODevice::ReadOnly)
        || file.readAll() != QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size))) {
        std::fprintf(stderr, "fuzz_settings: reading the sizes changed the file\n");
        std::abort();
    }
    file.close();
    QFile::remove(path);
    return 0;
}
