// sway and its kin. wlroots 0.15 tells no client where the pointer is but
// the one whose surface it is over, so the overlays take it while the effect
// is on: they follow it, the pen's keys still reach the focused window, and
// clicks stop at the overlay.
#include "layershell.h"
#include "overlay.h"
#include "screencopy.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QWindow>

namespace {

class WlrootsBackend : public LayerShellBackend
{
public:
    std::function<QPoint()> pointer() override
    {
        return [this] { return position_; };
    }

    std::unique_ptr<desktop::PointerMotion> watchPointer() override
    {
        auto motion = std::make_unique<desktop::PointerMotion>();
        motion_ = motion.get();
        return motion;
    }

    void prepareOverlay(EffectOverlay *overlay) override
    {
        LayerShellBackend::prepareOverlay(overlay);
        new Heard(overlay, this);
    }

    std::unique_ptr<desktop::ScreenReader> readScreen(EffectOverlay *overlay) override
    {
        return readThroughScreencopy(overlay);
    }

protected:
    bool passesPointer() const override { return false; }

private:
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

    QPoint position_;
    QPointer<desktop::PointerMotion> motion_;
};

} // namespace

std::unique_ptr<EffectBackend> wlrootsBackend()
{
    return std::make_unique<WlrootsBackend>();
}
