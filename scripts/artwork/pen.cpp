#include "pen.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

// A round key cap with a faint top light, as moulded rubber keys look.
void keyCap(QPainter &p, const QPointF &centre, qreal r, const QColor &base)
{
    QRadialGradient g(centre - QPointF(r * 0.35, r * 0.45), r * 1.5);
    g.setColorAt(0, base.lighter(135));
    g.setColorAt(0.6, base);
    g.setColorAt(1, base.darker(125));
    p.setPen(QPen(QColor(0x12, 0x15, 0x18), 1.0));
    p.setBrush(g);
    p.drawEllipse(centre, r, r);
}

} // namespace

PenKeys drawPen(Canvas &c, const QRectF &body)
{
    QPainter &p = c.painter();
    const qreal w = body.width();
    const qreal L = body.height();
    const qreal cx = body.center().x();
    const qreal y0 = body.top();
    auto at = [&](qreal f) { return y0 + f * L; };

    p.save();

    // Ground shadow, to the lower right: the light comes from the upper left.
    p.setPen(Qt::NoPen);
    for (int i = 6; i >= 1; --i) {
        p.setBrush(QColor(10, 30, 60, 9));
        p.drawRoundedRect(body.translated(3, 4).adjusted(-i, -i, i, i), w / 2 + i, w / 2 + i);
    }

    QPainterPath shell;
    shell.addRoundedRect(body, w / 2, w / 2);

    QLinearGradient metal(body.left(), 0, body.right(), 0);
    metal.setColorAt(0.00, QColor(0x3E, 0x44, 0x4C));
    metal.setColorAt(0.22, QColor(0x6A, 0x72, 0x7C));
    metal.setColorAt(0.55, QColor(0x30, 0x35, 0x3B));
    metal.setColorAt(1.00, QColor(0x1C, 0x20, 0x24));
    p.setBrush(metal);
    p.setPen(QPen(QColor(0x14, 0x17, 0x1A), 1.2));
    p.drawPath(shell);

    // Laser end: a brushed silver cap with the lens in it.
    p.save();
    p.setClipPath(shell);
    QLinearGradient silver(body.left(), 0, body.right(), 0);
    silver.setColorAt(0.00, QColor(0xA7, 0xAF, 0xB8));
    silver.setColorAt(0.28, QColor(0xF4, 0xF6, 0xF8));
    silver.setColorAt(0.70, QColor(0xB4, 0xBC, 0xC5));
    silver.setColorAt(1.00, QColor(0x86, 0x8F, 0x99));
    p.setPen(Qt::NoPen);
    p.setBrush(silver);
    p.drawRect(QRectF(body.left(), y0, w, 0.085 * L));
    p.setPen(QPen(QColor(0x22, 0x26, 0x2B, 160), 1.0));
    p.drawLine(QPointF(body.left(), at(0.085)), QPointF(body.right(), at(0.085)));
    // Gloss along the left flank.
    p.setPen(QPen(QColor(255, 255, 255, 46), w * 0.07, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(cx - w * 0.31, at(0.11)), QPointF(cx - w * 0.31, at(0.95)));
    p.restore();

    const QPointF lens(cx, at(0.034));
    QRadialGradient glow(lens, w * 0.2);
    glow.setColorAt(0, QColor(0xFF, 0x8A, 0x80));
    glow.setColorAt(0.45, ink::laser);
    glow.setColorAt(1, QColor(0x7A, 0x10, 0x14));
    p.setPen(QPen(QColor(0x55, 0x5C, 0x64), 1.0));
    p.setBrush(glow);
    p.drawEllipse(lens, w * 0.13, w * 0.13);

    // Link indicator.
    p.setPen(Qt::NoPen);
    QRadialGradient led(QPointF(cx, at(0.118)), w * 0.09);
    led.setColorAt(0, QColor(0xBF, 0xE0, 0xFF));
    led.setColorAt(0.5, ink::brand);
    led.setColorAt(1, QColor(0x4F, 0x94, 0xCD, 0));
    p.setBrush(led);
    p.drawEllipse(QPointF(cx, at(0.118)), w * 0.09, w * 0.09);

    // The key panel, a shallow recess down the front.
    const qreal pw = w * 0.74;
    const QRectF panel(cx - pw / 2, at(0.15), pw, 0.53 * L);
    p.setBrush(QColor(0x22, 0x26, 0x2B));
    p.setPen(QPen(QColor(0x4A, 0x51, 0x59), 1.0));
    p.drawRoundedRect(panel, pw / 2, pw / 2);

    PenKeys keys;
    const QColor capColour(0x3B, 0x41, 0x48);

    // Key 1, the effect key: the largest, ringed in the brand blue.
    const QPointF k1(cx, at(0.215));
    const qreal r1 = w * 0.29;
    keyCap(p, k1, r1, capColour);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink::brand, qMax<qreal>(1.5, w * 0.04)));
    p.drawEllipse(k1, r1 - w * 0.04, r1 - w * 0.04);
    keys.centres << k1;
    keys.radii << r1;

    // Keys 2 and 3 share one rocker.
    const qreal rw = w * 0.5;
    const QRectF rocker(cx - rw / 2, at(0.285), rw, 0.16 * L);
    QLinearGradient rg(rocker.left(), 0, rocker.right(), 0);
    rg.setColorAt(0, capColour.lighter(130));
    rg.setColorAt(0.5, capColour);
    rg.setColorAt(1, capColour.darker(125));
    p.setBrush(rg);
    p.setPen(QPen(QColor(0x12, 0x15, 0x18), 1.0));
    p.drawRoundedRect(rocker, rw / 2, rw / 2);
    p.setPen(QPen(QColor(0x18, 0x1B, 0x1F), 1.0));
    p.drawLine(
        QPointF(rocker.left() + 3, rocker.center().y()), QPointF(rocker.right() - 3, rocker.center().y()));
    const QPointF k2(cx, at(0.325));
    const QPointF k3(cx, at(0.405));
    keys.centres << k2 << k3;
    keys.radii << rw / 2 << rw / 2;

    const qreal rs = w * 0.19;
    const QPointF k4(cx, at(0.5));
    const QPointF k5(cx, at(0.565));
    const QPointF k6(cx, at(0.63));
    keyCap(p, k4, rs, capColour);
    keyCap(p, k5, rs, capColour);
    keyCap(p, k6, rs, capColour);
    keys.centres << k4 << k5 << k6;
    keys.radii << rs << rs << rs;
    p.restore();

    const QColor print(0xE4, 0xE8, 0xEC);
    c.icon(k1, glyph::dotCircle, r1 * 1.05, print);
    c.icon(k2, glyph::chevronUp, w * 0.2, print);
    c.icon(k3, glyph::chevronDown, w * 0.2, print);
    c.icon(k4 + QPointF(rs * 0.08, 0), glyph::play, rs * 0.8, print);
    c.text(QRectF(k5.x() - rs, k5.y() - rs, 2 * rs, 2 * rs), QStringLiteral("M"), face(rs * 1.05, true),
        print, Qt::AlignCenter);
    c.icon(k6, glyph::square, rs * 0.75, print);

    // The brand, printed up the lower body.
    p.save();
    p.translate(cx, at(0.84));
    p.rotate(-90);
    QFont brandFace = face(w * 0.2, true);
    brandFace.setLetterSpacing(QFont::AbsoluteSpacing, w * 0.035);
    const qreal span = 0.2 * L;
    c.text(QRectF(-span / 2, -w * 0.2, span, w * 0.4), QStringLiteral("Quorvant"), brandFace,
        QColor(0xA9, 0xB2, 0xBC), Qt::AlignCenter);
    p.restore();

    return keys;
}

void drawPenSymbol(QPainter &p, const QPointF &centre, qreal length, qreal width, const PenSymbol &s)
{
    p.save();
    p.translate(centre);
    p.rotate(45); // laser end towards the upper right
    const QRectF body(-width / 2, -length / 2, width, length);
    QPainterPath shell;
    shell.addRoundedRect(body, width / 2, width / 2);

    QLinearGradient g(body.left(), 0, body.right(), 0);
    g.setColorAt(0, s.bodyLight);
    g.setColorAt(1, s.bodyDark);
    p.setPen(s.outlineWidth > 0 ? QPen(s.outline, s.outlineWidth) : QPen(Qt::NoPen));
    p.setBrush(g);
    p.drawPath(shell);

    p.save();
    p.setClipPath(shell);
    p.setPen(Qt::NoPen);
    p.setBrush(s.cap);
    p.drawRect(QRectF(body.left(), body.top(), width, length * 0.2));
    p.restore();
    if (s.outlineWidth > 0) {
        p.setPen(QPen(s.outline, s.outlineWidth));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shell);
    }

    p.setPen(Qt::NoPen);
    p.setBrush(s.keys);
    const qreal big = width * 0.25;
    const qreal small = width * 0.16;
    p.drawEllipse(QPointF(0, -length / 2 + length * 0.34), big, big);
    p.drawEllipse(QPointF(0, -length / 2 + length * 0.52), small, small);
    p.drawEllipse(QPointF(0, -length / 2 + length * 0.65), small, small);
    p.restore();
}

void drawKeyCallouts(Canvas &c, const PenKeys &keys, qreal badgeX, qreal firstY, qreal step, qreal radius)
{
    QPainter &p = c.painter();
    for (int i = 0; i < keys.centres.size(); ++i) {
        const QPointF badge(badgeX, firstY + i * step);
        const QPointF key = keys.centres[i] - QPointF(keys.radii[i] + 2, 0);
        p.save();
        p.setPen(QPen(ink::brand, 1.2));
        p.drawLine(badge + QPointF(radius, 0), key);
        p.setPen(Qt::NoPen);
        p.setBrush(ink::brand);
        p.drawEllipse(key, 2.2, 2.2);
        p.restore();
        c.numberBadge(badge, i + 1, radius);
    }
}
