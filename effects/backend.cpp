#include "backend.h"

#include "overlay.h"

#include <QCursor>

std::function<QPoint()> EffectBackend::pointer()
{
    return [] { return QCursor::pos(); };
}

std::unique_ptr<desktop::ScreenReader> EffectBackend::readScreen(EffectOverlay *overlay)
{
    if (!desktop::excludeFromCapture(overlay))
        return nullptr;
    return desktop::readScreen();
}
