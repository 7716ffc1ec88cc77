#include "backdrop.h"
#include "effecthost.h"
#include "lensoverlay.h"

int main(int argc, char **argv)
{
    return runEffect(
        argc, argv, "Loupex", segment::kLoupexKey, kLensDiameter,
        [](QScreen *screen, bool composited, FrameStats *stats) -> EffectOverlay * {
            auto *lens = new LensOverlay(screen, composited, stats);
            lens->setBackdrop(backdropFor(lens));
            return lens;
        },
        150);
}
