#include "pen.h"
#include "pictures.h"

#include <QtMath>

namespace {

enum class Receiver { Absent, Present, Denied };

// The status mark in the lower right corner of a tray icon. A ring of
// transparency is cut round it first so that it stays apart from the pen
// even at 16 pixels.
void statusMark(QPainter &p, const QPointF &centre, qreal r, Receiver state)
{
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(centre, r + 3.5, r + 3.5);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);

    const QColor base = state == Receiver::Present ? ink::present
        : state == Receiver::Absent                ? ink::absent
                                                   : ink::denied;
    QRadialGradient g(centre - QPointF(r * 0.3, r * 0.35), r * 1.4);
    g.setColorAt(0, base.lighter(125));
    g.setColorAt(1, base.darker(112));
    p.setBrush(g);
    p.setPen(QPen(base.darker(150), 1.2));
    p.drawEllipse(centre, r, r);

    if (state == Receiver::Absent) {
        // A white cross: "not there".
        const qreal a = r * 0.42;
        p.setPen(QPen(Qt::white, r * 0.32, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(centre + QPointF(-a, -a), centre + QPointF(a, a));
        p.drawLine(centre + QPointF(-a, a), centre + QPointF(a, -a));
    } else if (state == Receiver::Denied) {
        // A white padlock: there, but locked away from this user.
        const qreal w = r * 0.95, h = r * 0.72;
        const QRectF body(centre.x() - w / 2, centre.y() - h * 0.25, w, h);
        const qreal s = r * 0.36;
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::white, r * 0.2, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(QRectF(centre.x() - s, body.top() - s * 1.45, 2 * s, 2 * s * 1.2), 0, 180 * 16);
        p.drawLine(QPointF(centre.x() - s, body.top() - s * 0.25), QPointF(centre.x() - s, body.top()));
        p.drawLine(QPointF(centre.x() + s, body.top() - s * 0.25), QPointF(centre.x() + s, body.top()));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(body, r * 0.12, r * 0.12);
    } else {
        // A bright core keeps the dot reading as a lit lamp.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 120));
        p.drawEllipse(centre - QPointF(r * 0.3, r * 0.3), r * 0.28, r * 0.28);
    }
    p.restore();
}

void trayIcon(const QString &path, Receiver state)
{
    const bool present = state != Receiver::Absent;
    Canvas c(64, 64, path);
    QPainter &p = c.painter();
    PenSymbol s;
    if (present) {
        s.bodyLight = QColor(0x74, 0xB3, 0xE6);
        s.bodyDark = ink::brandDark;
        s.outline = QColor(0x1A, 0x4F, 0x80);
        s.cap = ink::navy;
        s.keys = Qt::white;
    } else {
        s.bodyLight = QColor(0xBE, 0xC4, 0xCA);
        s.bodyDark = QColor(0x86, 0x8D, 0x95);
        s.outline = QColor(0x59, 0x60, 0x68);
        s.cap = QColor(0x59, 0x60, 0x68);
        s.keys = QColor(0xF2, 0xF4, 0xF6);
    }
    s.outlineWidth = 2.0;
    drawPenSymbol(p, QPointF(29.5, 29.5), 70, 18, s);
    statusMark(p, QPointF(48.5, 48.5), 13.5, state);
    c.save(path);
}

} // namespace

void paintTrayIcons(const QString &absentPath, const QString &presentPath, const QString &deniedPath)
{
    trayIcon(absentPath, Receiver::Absent);
    trayIcon(presentPath, Receiver::Present);
    trayIcon(deniedPath, Receiver::Denied);
}

void paintTitleIcon(const QString &path)
{
    Canvas c(50, 50, path);
    QPainter &p = c.painter();
    const QPointF centre(20.5, 29.5);
    const qreal length = 38;
    const qreal width = 12.5;

    PenSymbol shade;
    shade.bodyLight = shade.bodyDark = shade.cap = shade.keys = QColor(0x10, 0x3A, 0x66, 70);
    drawPenSymbol(p, centre + QPointF(1.2, 1.4), length, width, shade);

    PenSymbol s;
    s.bodyLight = Qt::white;
    s.bodyDark = QColor(0xE2, 0xEE, 0xF8);
    s.cap = QColor(0xC4, 0xDC, 0xF1);
    s.keys = ink::brand;
    drawPenSymbol(p, centre, length, width, s);

    // Two waves off the laser end: the pen is wireless.
    const qreal reach = length / 2 - width / 2;
    const QPointF tip
        = centre + QPointF(reach * qSin(qDegreesToRadians(45.0)), -reach * qCos(qDegreesToRadians(45.0)));
    p.setBrush(Qt::NoBrush);
    for (const qreal r : { 9.0, 14.0 }) {
        p.setPen(QPen(QColor(255, 255, 255, r < 10 ? 255 : 190), 2.2, Qt::SolidLine, Qt::RoundCap));
        // Qt counts arc angles anticlockwise from three o'clock; the pen
        // points to 45 degrees.
        p.drawArc(QRectF(tip.x() - r, tip.y() - r, 2 * r, 2 * r), (45 - 38) * 16, 76 * 16);
    }
    c.save(path);
}

void paintComboArrow(const QString &path)
{
    Canvas c(12, 8, path);
    QPainter &p = c.painter();
    p.setPen(QPen(ink::muted, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({ QPointF(2, 2), QPointF(6, 6), QPointF(10, 2) }));
    c.save(path);
}
