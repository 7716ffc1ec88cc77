#include "geometry.h"

#include <limits>

namespace geometry {

static int placeAxis(int centre, int side, int low, int length)
{
    if (side >= length)
        return low + (length - side) / 2;
    int start = centre - side / 2;
    if (start < low)
        start = low;
    if (start + side > low + length)
        start = low + length - side;
    return start;
}

QRect keptInside(QPoint centre, int side, const QRect &bounds)
{
    return QRect(placeAxis(centre.x(), side, bounds.left(), bounds.width()),
        placeAxis(centre.y(), side, bounds.top(), bounds.height()), side, side);
}

QRect centredOn(QPoint centre, int side)
{
    return QRect(centre.x() - side / 2, centre.y() - side / 2, side, side);
}

static qint64 distanceSquared(QPoint p, const QRect &r)
{
    const qint64 dx = p.x() < r.left() ? r.left() - p.x() : (p.x() > r.right() ? p.x() - r.right() : 0);
    const qint64 dy = p.y() < r.top() ? r.top() - p.y() : (p.y() > r.bottom() ? p.y() - r.bottom() : 0);
    return dx * dx + dy * dy;
}

int screenIndexAt(QPoint point, const QVector<QRect> &screens)
{
    int best = -1;
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    for (int i = 0; i < screens.size(); ++i) {
        const qint64 d = distanceSquared(point, screens[i]);
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

} // namespace geometry
