// Whatever is left in the settings file: each input is a whole file, read as
// the program reads it at start-up.
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#include "core/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir folder;
    static quint64 serial = 0;
    // A new name for every input: files are cached by name, and one written in
    // the same moment with the same length would be taken as unchanged.
    QFile file(folder.filePath(QString("setting_%1.ini").arg(++serial)));
    const QByteArray contents = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const bool written
        = file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size() && file.flush();
    file.close();
    // Any integer is a size the effect programs clamp, so the values are not
    // checked; reading must neither fail nor touch the file, which holds the
    // sizes of the last orderly exit.
    readSizeLevels(file.fileName());
    if (!written || !file.open(QIODevice::ReadOnly) || file.readAll() != contents) {
        std::fprintf(
            stderr, "fuzz_settings: %s not written, or changed by reading\n", qPrintable(file.fileName()));
        std::abort();
    }
    file.remove();
    return 0;
}
