#include "layershell.h"

#include "overlay.h"

#include <LayerShellQt/Shell>
#include <LayerShellQt/Window>
#include <QEvent>
#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

namespace {

// Sets the input region of a window's surface whenever the surface is (again)
// shown: empty, so that every click and scroll reaches the window beneath, or
// the whole surface. Qt has no way to ask for an empty one.
class InputRegion : public QObject
{
public:
    InputRegion(QWindow *window, bool empty)
        : QObject(window)
        , empty_(empty)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose)
            apply(static_cast<QWindow *>(watched));
        return false;
    }

private:
    void apply(QWindow *window)
    {
        QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
        auto *surface = static_cast<wl_surface *>(native->nativeResourceForWindow("surface", window));
        auto *compositor = static_cast<wl_compositor *>(native->nativeResourceForIntegration("compositor"));
        if (!surface || !compositor)
            return;
        if (!empty_) {
            wl_surface_set_input_region(surface, nullptr);
            return;
        }
        wl_region *region = wl_compositor_create_region(compositor);
        wl_surface_set_input_region(surface, region);
        wl_region_destroy(region);
    }

    bool empty_;
};

} // namespace

void useLayerShell()
{
    // Qt 5 goes to Wayland by itself only where the login says so.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "wayland");
    LayerShellQt::Shell::useLayerShell();
}

void LayerShellBackend::prepareApplication()
{
    useLayerShell();
}

void LayerShellBackend::prepareOverlay(EffectOverlay *overlay)
{
    QWindow *window = overlay->windowHandle();
    LayerShellQt::Window *layer = LayerShellQt::Window::get(window);
    layer->setLayer(LayerShellQt::Window::LayerOverlay);
    layer->setAnchors(LayerShellQt::Window::Anchors(LayerShellQt::Window::AnchorTop)
        | LayerShellQt::Window::AnchorBottom | LayerShellQt::Window::AnchorLeft
        | LayerShellQt::Window::AnchorRight);
    // Panels do not push it aside: it covers the whole output.
    layer->setExclusiveZone(-1);
    layer->setKeyboardInteractivity(LayerShellQt::Window::KeyboardInteractivityNone);
    layer->setDesiredOutput(overlay->targetScreen());
    layer->setScope(QStringLiteral("quorvant-effect"));
    new InputRegion(window, passesPointer());
}

void prepareNoticeSurface(QWindow *window, int top)
{
    LayerShellQt::Window *layer = LayerShellQt::Window::get(window);
    layer->setLayer(LayerShellQt::Window::LayerOverlay);
    // Anchored to the top edge alone, it is centred across the output.
    layer->setAnchors(LayerShellQt::Window::AnchorTop);
    layer->setMargins(QMargins(0, top, 0, 0));
    // From the output's edge, whatever panel holds space there.
    layer->setExclusiveZone(-1);
    layer->setKeyboardInteractivity(LayerShellQt::Window::KeyboardInteractivityNone);
    layer->setScope(QStringLiteral("quorvant-notice"));
    new InputRegion(window, true);
}
