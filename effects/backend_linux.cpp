// The backends of Linux desktops, one of which the session's choice makes.
#include "backend.h"
#include "layershell.h"
#include "platform/backendchoice.h"
#include "shelleffect.h"

namespace {

// An X server draws: Xorg, or XWayland on a Wayland desktop that offers
// nothing better, where Qt must be kept from Wayland.
class X11Backend : public EffectBackend
{
public:
    void prepareApplication() override
    {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "xcb");
    }
};

std::unique_ptr<EffectBackend> make(backend::Kind kind)
{
    switch (kind) {
    case backend::Kind::KWin:
        return kwinBackend();
    case backend::Kind::Wlroots:
        return wlrootsBackend();
    case backend::Kind::Gnome:
        return gnomeBackend();
    case backend::Kind::X11:
        break;
    }
    return std::make_unique<X11Backend>();
}

} // namespace

EffectBackend &EffectBackend::current()
{
    static const std::unique_ptr<EffectBackend> chosen
        = make(backend::choose(backend::currentSession()).kind);
    return *chosen;
}
