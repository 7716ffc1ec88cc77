// Which backend draws the effects and the mode notice, worked out once from
// the session the program runs in. Plain C++ on the C libraries of Wayland and
// D-Bus, so that quorvant-diagnose can print the same choice the effect
// programs and the program make.
#pragma once

#include <string>
#include <vector>

namespace backend {

enum class Kind {
    X11, // an X server draws: Xorg, or XWayland where nothing better is offered
    KWin, // layer-shell surfaces; KWin tells where the pointer is and lends its magnifier
    Wlroots, // layer-shell surfaces on sway and its kin
    Gnome, // GNOME Shell draws, through Quorvant's extension (gnome/)
};

// The environment variable that names a backend and so skips the choice.
inline constexpr const char *kOverride = "QUORVANT_EFFECTS_BACKEND";

// Its name, as the override takes it and diagnose prints it.
const char *name(Kind kind);

// What the choice is made from.
struct Session
{
    std::string override; // the override's value, empty when unset
    std::string qtPlatform; // QT_QPA_PLATFORM
    std::string waylandDisplay; // WAYLAND_DISPLAY
    bool waylandReached = false; // a compositor answered there
    std::vector<std::string> globals; // the interfaces it offers
    std::vector<std::string> busNames; // names owned on the session bus
};

struct Choice
{
    Kind kind;
    std::string reason; // one line, for diagnose
    // The effects take the pointer to learn where it is, and clicks stop at them.
    bool holdsPointer = false;
};

Choice choose(const Session &session);

// The session this process runs in. The compositor and the bus are asked only
// on a Wayland display that Qt is not kept from.
Session currentSession();

} // namespace backend
