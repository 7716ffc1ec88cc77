#include "effecthost.h"
#include "spotoverlay.h"

#include <QScreen>

int main(int argc, char **argv)
{
    return runEffect(
        argc, argv, "Halvix", segment::kHalvixKey, kSpotRadius,
        [](QScreen *screen, bool composited, FrameStats *stats) -> EffectOverlay * {
            // Without a compositor the veil cannot be translucent; it dims a
            // picture taken before any overlay shows.
            return new SpotOverlay(
                screen, composited, stats, composited ? QPixmap() : settledPicture(screen));
        },
        150);
}
