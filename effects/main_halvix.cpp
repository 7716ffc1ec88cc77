#include "backdrop.h"
#include "effecthost.h"
#include "spotoverlay.h"

int main(int argc, char **argv)
{
    return runEffect(
        argc, argv, "Halvix", segment::kHalvixKey, kSpotRadius,
        [](QScreen *screen, bool composited, FrameStats *stats) -> EffectOverlay * {
            auto *spot = new SpotOverlay(screen, composited, stats);
            // Without a compositor the veil cannot be translucent; it dims
            // the screen beneath it instead.
            if (!composited)
                spot->setBackdrop(backdropFor(spot));
            return spot;
        },
        150);
}
