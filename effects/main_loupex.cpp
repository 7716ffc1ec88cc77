#include "desktop.h"
#include "effecthost.h"
#include "lensoverlay.h"

#include <QScreen>

int main(int argc, char **argv)
{
    return runEffect(
        argc, argv, "Loupex", segment::kLoupexKey, kLensDiameter,
        [](QScreen *screen, bool composited, FrameStats *stats) -> EffectOverlay * {
            auto *lens = new LensOverlay(screen, composited, stats);
            // Taken before any overlay shows, so the picture holds no lens.
            if (!desktop::excludeFromCapture(lens))
                lens->setPicture(settledPicture(screen));
            return lens;
        },
        150);
}
