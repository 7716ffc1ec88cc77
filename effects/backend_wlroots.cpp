// sway and its kin. Newer wlroots compositors tell any program where the
// pointer is through cursor sessions; where they do not (wlroots 0.15, sway
// 1.7), only the client whose surface the pointer is over learns it, so the
// overlays take it while the effect is on: they follow it, the pen's keys
// still reach the focused window, and clicks stop at the overlay.
#include "cursorsessions.h"
#include "layershell.h"
#include "overlay.h"
#include "screencopy.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

namespace {

class WlrootsBackend : public LayerShellBackend
{
public:
    std::function<QPoint()> pointer() override
    {
        if (CursorSessions *told = sessions())
            return [told] { return told->position(); };
        return [this] { return position_; };
    }

    std::unique_ptr<desktop::PointerMotion> watchPointer() override
    {
        auto motion = std::make_unique<desktop::PointerMotion>();
        motion_ = motion.get();
        if (CursorSessions *told = sessions())
            told->moved = [this] {
                if (motion_)
                    emit motion_->moved();
            };
        return motion;
    }

    void prepareOverlay(EffectOverlay *overlay) override
    {
        const bool told = sessions();
        LayerShellBackend::prepareOverlay(overlay);
        if (!told)
            new Heard(overlay, this);
    }

    std::unique_ptr<desktop::ScreenReader> readScreen(EffectOverlay *overlay) override
    {
        return readThroughScreencopy(overlay);
    }

protected:
    bool passesPointer() const override { return sessions_ != nullptr; }

private:
    // The compositor's cursor sessions, asked for once, on the screens there
    // are then; null where it offers none.
    CursorSessions *sessions()
    {
        if (!asked_) {
            asked_ = true;
            QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
            std::vector<CursorSessions::Output> outputs;
            for (QScreen *screen : QGuiApplication::screens())
                if (auto *output
                    = static_cast<wl_output *>(native->nativeResourceForScreen("output", screen)))
                    outputs.push_back({ output, screen->geometry(), screen->devicePixelRatio() });
            sessions_ = CursorSessions::open(
                static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display")),
                static_cast<wl_seat *>(native->nativeResourceForIntegration("wl_seat")), outputs);
        }
        return sessions_.get();
    }

    // The pointer over one overlay, in the whole desktop's coordinates.
    class Heard : public QObject
    {
    public:
        Heard(EffectOverlay *overlay, WlrootsBackend *backend)
            : QObject(overlay)
            , overlay_(overlay)
            , backend_(backend)
        {
            overlay->windowHandle()->installEventFilter(this);
        }

    protected:
        bool eventFilter(QObject *, QEvent *event) override
        {
            QPointF local;
            if (event->type() == QEvent::MouseMove)
                local = static_cast<QMouseEvent *>(event)->localPos();
            else if (event->type() == QEvent::Enter)
                local = static_cast<QEnterEvent *>(event)->localPos();
            else
                return false;
            backend_->heard(overlay_->targetScreen()->geometry().topLeft() + local.toPoint());
            return false;
        }

    private:
        EffectOverlay *overlay_;
        WlrootsBackend *backend_;
    };

    void heard(QPoint position)
    {
        if (position == position_)
            return;
        position_ = position;
        if (motion_)
            emit motion_->moved();
    }

    bool asked_ = false;
    std::unique_ptr<CursorSessions> sessions_;
    QPoint position_;
    QPointer<desktop::PointerMotion> motion_;
};

} // namespace

std::unique_ptr<EffectBackend> wlrootsBackend()
{
    return std::make_unique<WlrootsBackend>();
}
