// The X11 screen beneath this program's windows, read from the other
// windows' own pixmaps.
#pragma once

#include "desktop.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>

namespace desktop {

// Pixels of 32 bits in the order of QImage's, which the reader copies as they
// come: what the windows that the effects show over (depth 24, and 32 under a
// compositor) have on every common X server.
bool plainPixels(xcb_connection_t *connection, const xcb_screen_t *screen);

// A reader over a connection of its own, which it keeps and closes. The
// events are the first of the Damage and Shape extensions; 0 for Shape when
// the server lacks it.
std::unique_ptr<ScreenReader> readComposite(
    xcb_connection_t *connection, const xcb_screen_t *screen, uint8_t damageEvent, uint8_t shapeEvent);

} // namespace desktop
