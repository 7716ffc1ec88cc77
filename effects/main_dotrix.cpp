#include "dotoverlay.h"
#include "effecthost.h"

int main(int argc, char **argv)
{
    return runEffect(argc, argv, "Dotrix", segment::kDotrixKey, kDotDiameter,
        [](QScreen *screen, bool composited, FrameStats *stats) -> EffectOverlay * {
            return new DotOverlay(screen, composited, stats);
        });
}
