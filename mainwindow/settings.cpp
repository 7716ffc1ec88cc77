#include "mainwindow/settings.h"

#include <QSettings>

SizeLevels readSizeLevels(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    SizeLevels sizes;
    // "Magnifeer" is the key's spelling in files already written.
    sizes.magnifierSize = settings.value("/config/MagnifeerSize", QVariant(3)).toInt();
    sizes.qyLightSize = settings.value("/config/QyLightSize", QVariant(3)).toInt();
    sizes.redDotrixSize = settings.value("/config/redDotrixSize", QVariant(3)).toInt();
    return sizes;
}
