#include "mainwindow/settings.h"

#include <QSettings>

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
