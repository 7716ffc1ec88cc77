#pragma once

#include "desktop.h"

#include <memory>

class EffectOverlay;

// The screen beneath `overlay` on wlroots desktops, read through
// wlr-screencopy. The compositor cannot leave a surface out of its captures,
// so the overlay steps aside for the one frame each read takes.
//
// Nor does it tell a client where the screen changed, only where it was
// damaged, the overlay's own painting included: damage that reaches beyond
// what the overlay painted lately is taken for a change beneath it. Where the
// screen holds still, nothing is read and the overlay never steps aside.
// Null where the compositor offers no screencopy.
std::unique_ptr<desktop::ScreenReader> readThroughScreencopy(EffectOverlay *overlay);
