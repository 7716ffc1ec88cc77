// The settings file: the three size levels handed to the effect programs,
// kept from one orderly exit to the next start.
#pragma once

#include <QString>

struct SizeLevels
{
    int magnifierSize = 3;
    int qyLightSize = 3;
    int redDotrixSize = 3;
};

// A missing file or key gives 3; a value that is not a number, or too large
// for an int, reads as 0. Values are taken as they are: the effect programs
// clamp them.
SizeLevels readSizeLevels(const QString &path);

// False when the file could not be written.
bool writeSizeLevels(const QString &path, const SizeLevels &sizes);

namespace settings {

constexpr char kFileName[] = "setting_Quorvant.ini";

// Where the sizes are kept: the file beside the executable while it can be
// written there, as it always was; in an installed layout, whose folder the
// user cannot write, the same file name in the user's configuration folder.
struct Location
{
    QString readFrom; // where the sizes last saved are
    QString writeTo; // where they go at exit
};
Location locate(const QString &appDir, const QString &userConfigDir);

// The location for this program: its own folder and the user's
// configuration folder for it.
Location locateForThisProgram();

// One file, read from and written to.
inline Location inFolder(const QString &folder)
{
    const QString file = folder + QLatin1Char('/') + QLatin1String(kFileName);
    return { file, file };
}

} // namespace settings
