// Where the notice and the navigation window go: on one screen, the one that
// holds the pointer, else the primary one. On a single screen the positions
// are those the windows have always had.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

namespace placement {

// The screen of `pointer` among `screens`; `primary` when none holds it.
QRect screenAt(const QList<QRect> &screens, QPoint pointer, const QRect &primary);

// The mode notice, 300 pixels wide: centred, 200 pixels below the top.
QPoint noticePosition(const QRect &screen);

// The navigation window, placed as if it were 800 x 500 (it is 850 x 550).
QPoint navigationPosition(const QRect &screen);

// The screen of the pointer, asked of the running application.
QRect currentScreen();

} // namespace placement
