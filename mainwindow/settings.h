// The settings file beside the executable: the three size levels handed to
// the effect programs.
#pragma once

#include <QString>

struct SizeLevels
{
    int magnifierSize = 3;
    int qyLightSize = 3;
    int redDotrixSize = 3;
};

// A missing file or key gives 3; a value that is not a number, or too large
// for an int, reads as 0.
// Values are taken as they are: the effect programs clamp them.
SizeLevels readSizeLevels(const QString &path);
