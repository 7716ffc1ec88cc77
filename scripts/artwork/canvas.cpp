#include "canvas.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QTextStream>

static const char *const textFamily = "WenQuanYi Micro Hei";
static const char *const iconFamily = "FontAwesome";

QFont face(qreal pixels, bool bold)
{
    QFont f(QString::fromLatin1(textFamily));
    f.setPixelSize(qRound(pixels));
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferAntialias);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QFont iconFace(qreal pixels)
{
    QFont f(QString::fromLatin1(iconFamily));
    f.setPixelSize(qRound(pixels));
    f.setStyleStrategy(QFont::PreferAntialias);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QStringList &faults()
{
    static QStringList list;
    return list;
}

Canvas::Canvas(int width, int height, const QString &name, QImage::Format format)
    : name(name)
    , img(width, height, format)
{
    img.fill(Qt::transparent);
    p.begin(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
}

Canvas::~Canvas()
{
    if (p.isActive())
        p.end();
}

void Canvas::text(const QRectF &box, const QString &s, const QFont &f, const QColor &c, int flags)
{
    const QFontMetricsF fm(f);
    for (const QChar ch : s) {
        if (!ch.isSpace() && !fm.inFont(ch))
            faults() << QStringLiteral("%1: \"%2\" needs U+%3, which the face lacks")
                            .arg(name, s)
                            .arg(ch.unicode(), 4, 16, QLatin1Char('0'));
    }
    const QRectF need = fm.boundingRect(box, flags, s);
    // Half a pixel of slack: the metrics round outward.
    if (need.width() > box.width() + 0.5 || need.height() > box.height() + 0.5)
        faults() << QStringLiteral("%1: \"%2\" needs %3x%4 but has %5x%6")
                        .arg(name, s)
                        .arg(need.width(), 0, 'f', 1)
                        .arg(need.height(), 0, 'f', 1)
                        .arg(box.width(), 0, 'f', 1)
                        .arg(box.height(), 0, 'f', 1);
    if (!QRectF(img.rect()).contains(p.transform().mapRect(box)))
        faults() << QStringLiteral("%1: \"%2\" lies partly outside the picture").arg(name, s);
    p.save();
    p.setFont(f);
    p.setPen(c);
    p.drawText(box, flags, s);
    p.restore();
}

qreal Canvas::run(const QPointF &baseline, const QString &s, const QFont &f, const QColor &c, qreal limitX)
{
    const QFontMetricsF fm(f);
    const qreal end = baseline.x() + fm.horizontalAdvance(s);
    // The box that run occupies, checked as any other text box.
    const QRectF box(
        baseline.x(), baseline.y() - fm.ascent(), qMax<qreal>(0, limitX - baseline.x()), fm.height());
    if (end > limitX + 0.5)
        faults() << QStringLiteral("%1: \"%2\" runs to x %3, past %4")
                        .arg(name, s)
                        .arg(end, 0, 'f', 1)
                        .arg(limitX);
    for (const QChar ch : s) {
        if (!ch.isSpace() && !fm.inFont(ch))
            faults() << QStringLiteral("%1: \"%2\" needs U+%3, which the face lacks")
                            .arg(name, s)
                            .arg(ch.unicode(), 4, 16, QLatin1Char('0'));
    }
    if (!QRectF(img.rect()).contains(p.transform().mapRect(box)))
        faults() << QStringLiteral("%1: \"%2\" lies partly outside the picture").arg(name, s);
    p.save();
    p.setFont(f);
    p.setPen(c);
    p.drawText(baseline, s);
    p.restore();
    return end;
}

qreal Canvas::advance(const QString &s, const QFont &f) const
{
    return QFontMetricsF(f).horizontalAdvance(s);
}

void Canvas::icon(const QPointF &centre, QChar g, qreal pixels, const QColor &c)
{
    const QFont f = iconFace(pixels);
    const QFontMetricsF fm(f);
    if (!fm.inFont(g))
        faults() << QStringLiteral("%1: icon glyph U+%2 missing").arg(name).arg(g.unicode(), 4, 16);
    // Centre on the glyph's ink, not its advance box, so glyphs of different
    // shapes sit at the same optical point.
    const QRectF ink = fm.tightBoundingRect(QString(g));
    p.save();
    p.setFont(f);
    p.setPen(c);
    p.drawText(centre - ink.center(), QString(g));
    p.restore();
}

void Canvas::roundRect(
    const QRectF &r, qreal radius, const QBrush &fill, const QColor &border, qreal borderWidth)
{
    p.save();
    if (border.isValid())
        p.setPen(QPen(border, borderWidth));
    else
        p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(r, radius, radius);
    p.restore();
}

void Canvas::numberBadge(const QPointF &centre, int number, qreal radius, const QColor &fill)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(centre, radius, radius);
    p.restore();
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    text(box, QString::number(number), face(radius * 1.25, true), Qt::white, Qt::AlignCenter);
}

void Canvas::glyphBadge(const QPointF &centre, qreal radius, const QColor &fill, QChar g, qreal glyphPixels)
{
    p.save();
    p.setPen(Qt::NoPen);
    QRadialGradient grad(centre - QPointF(radius * 0.3, radius * 0.4), radius * 1.4);
    grad.setColorAt(0, fill.lighter(118));
    grad.setColorAt(1, fill.darker(108));
    p.setBrush(grad);
    p.drawEllipse(centre, radius, radius);
    p.restore();
    icon(centre, g, glyphPixels, Qt::white);
}

void Canvas::shadow(const QRectF &r, qreal radius, int depth)
{
    p.save();
    p.setPen(Qt::NoPen);
    for (int i = depth; i >= 1; --i) {
        p.setBrush(QColor(20, 50, 80, 10));
        p.drawRoundedRect(r.adjusted(-i * 0.5, -i * 0.25, i * 0.5, i), radius + i * 0.5, radius + i * 0.5);
    }
    p.restore();
}

bool Canvas::save(const QString &path, const char *format, int quality)
{
    if (p.isActive())
        p.end();
    if (!img.save(path, format, quality)) {
        faults() << QStringLiteral("%1: cannot write %2").arg(name, path);
        return false;
    }
    return true;
}
