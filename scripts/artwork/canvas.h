#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QStringList>

// One colour set for every picture, so the tray, the title bar and the two
// guide pages read as one product. The brand blue is the title bar's colour.
namespace ink {
inline const QColor brand { 0x4F, 0x94, 0xCD };
inline const QColor brandDark { 0x2F, 0x6F, 0xA8 };
inline const QColor navy { 0x1F, 0x4E, 0x79 };
inline const QColor text { 0x26, 0x32, 0x3F };
inline const QColor muted { 0x6B, 0x7A, 0x89 };
inline const QColor line { 0xDC, 0xE5, 0xEE };
inline const QColor tint { 0xEE, 0xF5, 0xFB };
inline const QColor paper { 0xFF, 0xFF, 0xFF };
inline const QColor page { 0xF6, 0xF9, 0xFC };
inline const QColor laser { 0xE5, 0x48, 0x4D };
inline const QColor magnifier { 0x4F, 0x94, 0xCD };
inline const QColor spotlight { 0xEE, 0x9B, 0x2B };
inline const QColor normal { 0x6E, 0x7C, 0x8B };
inline const QColor present { 0x2E, 0xB8, 0x5C };
inline const QColor absent { 0xD9, 0x3A, 0x3A };
inline const QColor denied { 0xF2, 0x9D, 0x12 };
inline const QColor graphite { 0x33, 0x39, 0x41 };
} // namespace ink

// Glyphs of the bundled icon font (Font Awesome 4.7).
namespace glyph {
inline const QChar play { 0xF04B };
inline const QChar chevronUp { 0xF077 };
inline const QChar chevronDown { 0xF078 };
inline const QChar dotCircle { 0xF192 };
inline const QChar square { 0xF0C8 };
inline const QChar searchPlus { 0xF00E };
inline const QChar sun { 0xF185 };
inline const QChar pointer { 0xF245 };
inline const QChar refresh { 0xF021 };
inline const QChar usb { 0xF287 };
} // namespace glyph

// Text face for Chinese and Latin alike; the icon face for glyphs.
QFont face(qreal pixels, bool bold = false);
QFont iconFace(qreal pixels);

// Problems found while painting: text that does not fit its box or characters
// that the face cannot draw. The painter refuses to write pictures with any.
QStringList &faults();

// A picture being painted, with the checks that keep text inside its boxes.
class Canvas
{
public:
    Canvas(int width, int height, const QString &name,
        QImage::Format format = QImage::Format_ARGB32_Premultiplied);
    ~Canvas();

    QPainter &painter() { return p; }
    QImage &image() { return img; }

    // Draws text inside box, wrapping when asked; records a fault when it would
    // spill out of the box or needs a character the face lacks.
    void text(const QRectF &box, const QString &s, const QFont &f, const QColor &c,
        int flags = Qt::AlignLeft | Qt::AlignVCenter);
    // One line of text set on a baseline from the left, for runs that mix
    // faces; records a fault when it reaches past limitX. Returns where it ends.
    qreal run(const QPointF &baseline, const QString &s, const QFont &f, const QColor &c, qreal limitX);
    // Width the text takes in the face; for laying out runs of text.
    qreal advance(const QString &s, const QFont &f) const;
    // An icon-font glyph centred on a point.
    void icon(const QPointF &centre, QChar g, qreal pixels, const QColor &c);

    void roundRect(const QRectF &r, qreal radius, const QBrush &fill, const QColor &border = QColor(),
        qreal borderWidth = 1.0);
    // A filled circle with a white number: the key callouts.
    void numberBadge(const QPointF &centre, int number, qreal radius, const QColor &fill = ink::brand);
    // A round coloured badge carrying an icon glyph: the mode symbols.
    void glyphBadge(const QPointF &centre, qreal radius, const QColor &fill, QChar g, qreal glyphPixels);
    // A soft drop shadow under a rounded card.
    void shadow(const QRectF &r, qreal radius, int depth = 4);

    bool save(const QString &path, const char *format = nullptr, int quality = -1);

private:
    QString name;
    QImage img;
    QPainter p;
};
