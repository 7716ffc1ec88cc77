#include "desktop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>

#include <dwmapi.h>
#include <windows.h>

#include <algorithm>

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
    // magnifier and the spotlight work from a picture taken at their start
    // instead.
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

namespace {

QRect virtualDesktop()
{
    return QRect(GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
        GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
}

// The smallest rectangle that holds every pixel in which `a` and `b` differ.
QRect differences(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return QRect(QPoint(0, 0), b.size());
    int top = -1, bottom = -1, left = a.width(), right = -1;
    for (int y = 0; y < a.height(); ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        if (std::equal(p, p + a.width(), q))
            continue;
        if (top < 0)
            top = y;
        bottom = y;
        for (int x = 0; x < left; ++x)
            if (p[x] != q[x])
                left = x;
        for (int x = a.width() - 1; x > right; --x)
            if (p[x] != q[x])
                right = x;
    }
    return top < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// GDI's picture of the desktop, which leaves out the windows whose display
// affinity excludes them from capture. Windows does not tell when the screen
// changes, so the picture is compared with the one before a few times a
// second; nothing is told while the screen holds still.
class GdiReader : public ScreenReader
{
public:
    static constexpr int kLookMs = 200;

    GdiReader()
    {
        last_ = read(virtualDesktop());
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { look(); });
        timer_.start(kLookMs);
    }

    QImage read(const QRect &area) override
    {
        QImage image;
        if (area.isEmpty())
            return image;
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = area.width();
        info.bmiHeader.biHeight = -area.height(); // top row first, as QImage has it
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void *bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap) {
            HGDIOBJ previous = SelectObject(memory, bitmap);
            // CAPTUREBLT brings in layered windows, other programs' translucent ones.
            if (BitBlt(memory, 0, 0, area.width(), area.height(), screen, area.x(), area.y(),
                    SRCCOPY | CAPTUREBLT)) {
                GdiFlush();
                image = QImage(static_cast<const uchar *>(bits), area.width(), area.height(),
                    area.width() * 4, QImage::Format_RGB32)
                            .copy();
            }
            SelectObject(memory, previous);
            DeleteObject(bitmap);
        }
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        return image;
    }

private:
    void look()
    {
        const QRect desktop = virtualDesktop();
        QImage now = read(desktop);
        if (now.isNull())
            return;
        const QRect area = differences(last_, now);
        last_ = std::move(now);
        if (!area.isEmpty())
            emit changed(area.translated(desktop.topLeft()));
    }

    QTimer timer_;
    QImage last_;
};

} // namespace

std::unique_ptr<ScreenReader> readScreen()
{
    return std::make_unique<GdiReader>();
}

std::unique_ptr<PointerMotion> watchPointer()
{
    // A low-level mouse hook would hear of motion, but it sits in the path of
    // every mouse event of the system; looking at the pointer costs less.
    return nullptr;
}

} // namespace desktop
