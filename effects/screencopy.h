#pragma once

#include "desktop.h"

#include <memory>

class EffectOverlay;

// The screen beneath `overlay` on wlroots desktops, read through
// wlr-screencopy. The compositor cannot leave a surface out of its captures,
// so the overlay steps aside for the one frame each read takes. Nor does it
// tell a client when the screen changes: what lies under the effect is read
// again every `kScreencopyPollMs` while the effect is on the overlay's screen.
// Null where the compositor offers no screencopy.
constexpr int kScreencopyPollMs = 250;
std::unique_ptr<desktop::ScreenReader> readThroughScreencopy(EffectOverlay *overlay);
