#pragma once

#include "backend.h"

class QWindow;

// Effects on desktops that offer layer-shell surfaces: each overlay lies on
// the overlay layer of its screen's output, above every window and panel,
// never tiled and never focused. Where the desktop tells where the pointer
// is, input passes through an empty input region.
class LayerShellBackend : public EffectBackend
{
public:
    void prepareApplication() override;
    bool composites() override { return true; }
    void prepareOverlay(EffectOverlay *overlay) override;

protected:
    // False where the overlays must take the pointer to learn where it is.
    virtual bool passesPointer() const { return true; }
};

// Before the application object exists: every window of this process a
// layer surface, on Wayland unless the user chose another platform.
void useLayerShell();

// The mode notice as a layer surface: on the overlay layer of the output the
// desktop picks, which is the one with the pointer, `top` pixels below its
// top edge and centred, taking no keys and letting clicks through.
void prepareNoticeSurface(QWindow *window, int top);

// KWin tells where the pointer is through a script of its own, and lends its
// own magnifier.
std::unique_ptr<EffectBackend> kwinBackend();

// sway and its kin: the overlays take the pointer while the effect is on.
std::unique_ptr<EffectBackend> wlrootsBackend();
