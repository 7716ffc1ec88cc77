#include "dotoverlay.h"
#include "effecthost.h"

int main(int argc, char **argv)
{
    return runEffect(argc, argv, "Dotrix", "Dotrix_shared", kDotDiameter,
        [](QScreen *screen, bool composited, FrameStats *stats) -> EffectOverlay * {
            return new DotOverlay(screen, composited, stats);
        });
}
