#include "overlay.h"

#include "framestats.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

EffectOverlay::EffectOverlay(QScreen *screen, bool composited, FrameStats *stats)
    : QWidget(nullptr,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput
            | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint)
    , screen_(screen)
    , composited_(composited)
    , stats_(stats)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    if (composited_) {
        setAttribute(Qt::WA_TranslucentBackground);
    } else {
        // Every pixel that shows is painted, so nothing needs erasing first.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    setWindowTitle(QCoreApplication::applicationName());
    setGeometry(screen_->geometry());
    createWinId();
    windowHandle()->setScreen(screen_);
}

void EffectOverlay::follow(QPoint global, int pixels, bool here)
{
    OverlayState next;
    next.here = here;
    next.pointer = here ? global - geometry().topLeft() : QPoint();
    next.pixels = pixels;
    if (next == state_)
        return;

    QRegion dirty;
    if (state_.here)
        dirty += footprint(state_);
    if (next.here)
        dirty += footprint(next);
    state_ = next;
    reveal(dirty);
}

void EffectOverlay::reveal(const QRegion &dirty)
{
    if (!shaped()) {
        update(dirty);
        return;
    }
    if (!presented_)
        return;
    if (!state_.here) {
        hide();
        return;
    }
    // Painting is clipped to the window's shape, so the shape moves first and
    // the new place is painted at once, before the window system has shown
    // anything of it.
    setMask(shape(state_));
    if (isVisible())
        repaint(footprint(state_));
    else
        show();
}

void EffectOverlay::fitScreen()
{
    setGeometry(screen_->geometry());
    update();
}

void EffectOverlay::present()
{
    presented_ = true;
    if (shaped()) {
        if (!state_.here)
            return;
        setMask(shape(state_));
    }
    show();
}

void EffectOverlay::stepAside(bool aside)
{
    if (aside == aside_)
        return;
    aside_ = aside;
    if (!state_.here || !isVisible())
        return;
    if (aside)
        repaint(footprint(state_));
    else
        update(footprint(state_));
}

QRegion EffectOverlay::shape(const OverlayState &s) const
{
    return QRegion(footprint(s), QRegion::Ellipse);
}

void EffectOverlay::refresh()
{
    if (state_.here)
        update(footprint(state_));
}

void EffectOverlay::paintEvent(QPaintEvent *event)
{
    if (aside_)
        return;
    QPainter painter(this);
    paintEffect(painter, event->region());
    if (stats_)
        stats_->record(event->region());
}

void EffectOverlay::closeEvent(QCloseEvent *event)
{
    // The system asked the effect's windows to close: the effect ends.
    event->accept();
    QCoreApplication::quit();
}
