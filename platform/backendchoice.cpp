#include "platform/backendchoice.h"

#include "gnome/extensionstate.h"

#include <algorithm>
#include <iterator>

namespace backend {

namespace {

struct Named
{
    Kind kind;
    const char *name;
};
constexpr Named kNames[] = { { Kind::X11, "x11" }, { Kind::KWin, "kwin" }, { Kind::Wlroots, "wlroots" },
    { Kind::Gnome, "gnome" } };

bool has(const std::vector<std::string> &list, const char *item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

// What layer-shell surfaces need: a layer above every window, which passes
// input through and takes no focus.
constexpr const char *kLayerShell = "zwlr_layer_shell_v1";
constexpr const char *kKWinName = "org.kde.KWin";
// What tells a wlroots desktop's clients where the pointer is: cursor sessions
// on its outputs. Without them only the surface under the pointer learns it.
constexpr const char *kCursorCapture = "ext_image_copy_capture_manager_v1";
constexpr const char *kOutputSources = "ext_output_image_capture_source_manager_v1";

Choice wlroots(const Session &session, std::string reason)
{
    if (has(session.globals, kCursorCapture) && has(session.globals, kOutputSources))
        return { Kind::Wlroots, reason + "; its cursor sessions tell where the pointer is" };
    return { Kind::Wlroots, reason + "; it tells no program where the pointer is, so the effects hold it",
        true };
}
constexpr const char *kGnomeShellName = "org.gnome.Shell";

} // namespace

const char *name(Kind kind)
{
    for (const Named &named : kNames)
        if (named.kind == kind)
            return named.name;
    return "?";
}

Choice choose(const Session &session)
{
    std::string ignored;
    if (!session.override.empty()) {
        for (const Named &named : kNames)
            if (session.override == named.name)
                return named.kind == Kind::Wlroots
                    ? wlroots(session, std::string(kOverride) + " names it")
                    : Choice { named.kind, std::string(kOverride) + " names it" };
        ignored = std::string("; ") + kOverride + "=" + session.override + " names no backend";
    }
    // The Shell's drawing needs no window of ours, on whatever platform Qt is.
    if (!session.waylandDisplay.empty() && has(session.busNames, gnome::kService))
        return { Kind::Gnome,
            std::string("GNOME Shell runs Quorvant's extension: ") + gnome::kService
                + " is on the session bus" + ignored };
    // Qt kept to another platform sees no Wayland window, whatever the session.
    if (!session.qtPlatform.empty() && session.qtPlatform.compare(0, 7, "wayland") != 0)
        return { Kind::X11, "QT_QPA_PLATFORM is " + session.qtPlatform + ignored };
    if (session.waylandDisplay.empty())
        return { Kind::X11, "no Wayland display" + ignored };
    const std::string display = "Wayland display " + session.waylandDisplay;
    if (!session.waylandReached)
        return { Kind::X11, display + " does not answer" + ignored };
    if (has(session.busNames, kGnomeShellName))
        return { Kind::X11,
            display + " is GNOME Shell's, without Quorvant's extension, so through XWayland" + ignored };
    if (!has(session.globals, kLayerShell))
        return { Kind::X11, display + " offers no " + kLayerShell + ", so through XWayland" + ignored };
    if (has(session.busNames, kKWinName))
        return { Kind::KWin,
            display + " offers " + kLayerShell + " and " + kKWinName + " is on the session bus" + ignored };
    return wlroots(session,
        display + " offers " + kLayerShell + ", and " + kKWinName + " is not on the session bus" + ignored);
}

} // namespace backend
