#include "core/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <limits>

namespace {

int sizeValue(const QVariant &value)
{
    // QVariant::toInt wraps a number too large for an int into another one
    // altogether (2147483648 reads as -2147483648, and says it converted);
    // such a value is no int, and reads as 0 as letters do.
    bool ok = false;
    const qlonglong wide = value.toLongLong(&ok);
    if (!ok || wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(wide);
}

// The file is saved whole into a new file beside it, which then takes its
// place: the folder must take new files even where the file itself may be
// written.
bool canWrite(const QString &file)
{
    const QFileInfo info(file);
    return QFileInfo(info.absolutePath()).isWritable()
        && (!info.exists() || (info.isFile() && info.isWritable()));
}

} // namespace

SizeLevels readSizeLevels(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    SizeLevels sizes;
    // "Magnifeer" is the key's spelling in files already written.
    sizes.magnifierSize = sizeValue(settings.value("/config/MagnifeerSize", QVariant(3)));
    sizes.qyLightSize = sizeValue(settings.value("/config/QyLightSize", QVariant(3)));
    sizes.redDotrixSize = sizeValue(settings.value("/config/redDotrixSize", QVariant(3)));
    return sizes;
}

bool writeSizeLevels(const QString &path, const SizeLevels &sizes)
{
    // The folder of a per-user file may not be there yet.
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue("/config/MagnifeerSize", sizes.magnifierSize);
    settings.setValue("/config/QyLightSize", sizes.qyLightSize);
    settings.setValue("/config/redDotrixSize", sizes.redDotrixSize);
    // Flushed now rather than when the object goes: whatever happens next,
    // the sizes are on disk.
    settings.sync();
    return settings.status() == QSettings::NoError;
}

namespace settings {

Location locate(const QString &appDir, const QString &userConfigDir)
{
    const QString beside = inFolder(appDir).writeTo;
    if (canWrite(beside))
        return { beside, beside };
    const QString own = inFolder(userConfigDir).writeTo;
    // A file beside a program the user may not change still gives the sizes
    // until the user's own file exists.
    return { QFileInfo::exists(own) || !QFileInfo(beside).isFile() ? own : beside, own };
}

Location locateForThisProgram()
{
    return locate(QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

} // namespace settings
