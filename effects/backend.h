#pragma once

#include "desktop.h"
#include "sizemap.h"

#include <QObject>
#include <QPoint>
#include <functional>
#include <memory>

class EffectOverlay;

// What an effect is, whoever draws it.
struct EffectSpec
{
    const char *name; // the program's own: Dotrix, Loupex, Halvix
    const char *segmentKey;
    SizeMap sizes;
};

// One family of desktops: what draws an effect there and where the pointer's
// position comes from. Made once, as the effect program starts, from the
// session's choice (platform/backendchoice.h). By default the effect is drawn in this
// program's own windows, on the window system's own terms (desktop.h); a
// backend changes only what its desktop asks for.
class EffectBackend
{
public:
    virtual ~EffectBackend() = default;

    // The backend of this session; chosen at the first call.
    static EffectBackend &current();

    // Runs before the application object exists, which is when some desktops
    // are chosen for good.
    virtual void prepareApplication() { }

    // An effect that the desktop draws itself, kept up (sizes read from the
    // segment, the pointer followed) for as long as the object lives. Null:
    // the effect is drawn in this program's windows, by the calls below.
    virtual std::unique_ptr<QObject> drawnByDesktop(const EffectSpec &) { return nullptr; }

    // Whether translucent windows blend with what lies beneath them.
    virtual bool composites() { return desktop::composites(); }
    // The pointer's position on the whole desktop, and news of its motion;
    // null news: it is polled.
    virtual std::function<QPoint()> pointer();
    virtual std::unique_ptr<desktop::PointerMotion> watchPointer() { return desktop::watchPointer(); }
    // Makes `overlay` stay above every window and let input through; called
    // before it is first shown.
    virtual void prepareOverlay(EffectOverlay *) { }
    // The screen beneath `overlay`, kept live; null where it can only be
    // pictured once.
    virtual std::unique_ptr<desktop::ScreenReader> readScreen(EffectOverlay *overlay);
};
