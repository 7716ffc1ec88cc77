#include "desktop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QWidget>

#include <dwmapi.h>
#include <windows.h>

#ifndef WDA_EXCLUDEFROMCAPTURE
#define WDA_EXCLUDEFROMCAPTURE 0x00000011
#endif

namespace desktop {

bool composites()
{
    // Always on from Windows 8; Windows 7 can switch it off.
    BOOL enabled = FALSE;
    return SUCCEEDED(DwmIsCompositionEnabled(&enabled)) && enabled;
}

bool excludeFromCapture(QWidget *window)
{
    // Granted from Windows 10 version 2004 on; older systems refuse it and the
    // magnifier works from a picture taken at its start instead.
    const HWND handle = reinterpret_cast<HWND>(window->winId());
    return SetWindowDisplayAffinity(handle, WDA_EXCLUDEFROMCAPTURE) != FALSE;
}

static BOOL WINAPI onConsoleEvent(DWORD)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
    return TRUE;
}

void quitOnTermination()
{
    // "taskkill /f" ends the process outright, which the effects tolerate.
    // A plain "taskkill" closes the windows, which the overlays answer by
    // quitting; console control events are the remaining polite request.
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

std::unique_ptr<PointerMotion> watchPointer()
{
    // A low-level mouse hook would hear of motion, but it sits in the path of
    // every mouse event of the system; looking at the pointer costs less.
    return nullptr;
}

} // namespace desktop
