#include "mainwindow/widget.h"

#include "platform/platform.h"

// The pointer roles put back to the standard Aero cursors at every start, and
// the file each one gets, entry for entry. "Arrow" is written in capitals as
// Windows itself writes it; both spellings name the same file.
void Widget::restoreCursors()
{
    cursorNames << "AppStarting"
                << "Arrow"
                << "Hand"
                << "Help"
                << "No"
                << "NWPen"
                << "SizeAll"
                << "SizeNESW"
                << "SizeNS"
                << "SizeNWSE"
                << "SizeWE"
                << "UpArrow"
                << "Wait";
    cursorFiles << "%SystemRoot%\\cursors\\aero_working.ani"
                << "%SYSTEMROOT%\\Cursors\\aero_arrow.cur"
                << "%SystemRoot%\\cursors\\aero_link.cur"
                << "%SystemRoot%\\cursors\\aero_helpsel.cur"
                << "%SystemRoot%\\cursors\\aero_unavail.cur"
                << "%SystemRoot%\\cursors\\aero_pen.cur"
                << "%SystemRoot%\\cursors\\aero_move.cur"
                << "%SystemRoot%\\cursors\\aero_nesw.cur"
                << "%SystemRoot%\\cursors\\aero_ns.cur"
                << "%SystemRoot%\\cursors\\aero_nwse.cur"
                << "%SystemRoot%\\cursors\\aero_ew.cur"
                << "%SystemRoot%\\cursors\\aero_up.cur"
                << "%SystemRoot%\\cursors\\aero_busy.ani";

    // Whether the system took the scheme is not looked at: start-up goes on
    // with whatever pointers the user has.
    platform->resetCursorScheme();
}
