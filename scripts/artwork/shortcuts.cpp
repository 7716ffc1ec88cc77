#include "content.h"
#include "pen.h"
#include "pictures.h"

#include <QPainterPath>

// The main window stretches this picture over 781 x 601 pixels starting 50
// pixels above its 780 x 500 group box, so only rows 50 to 550 are seen, one
// to one. Everything that matters stays between rows 60 and 540.

namespace {

constexpr int pictureWidth = 781;
constexpr int pictureHeight = 601;
constexpr qreal seenTop = 50;
constexpr qreal seenBottom = 550;

void header(Canvas &c)
{
    QPainter &p = c.painter();
    p.fillRect(QRectF(0, seenTop, pictureWidth, 62), ink::paper);
    p.fillRect(QRectF(0, seenTop + 62, pictureWidth, 1), ink::line);
    const qreal titleEnd
        = c.run(QPointF(26, 94), QStringLiteral("激光笔快捷设置"), face(22, true), ink::navy, 400);
    c.run(QPointF(titleEnd + 12, 94), QStringLiteral("Shortcut Settings"), face(14), ink::muted, 500);
    p.fillRect(QRectF(26, seenTop + 59, titleEnd - 26, 3), ink::brand);

    // The factory mapping, which the receiver restores on reset.
    const QString cn = QStringLiteral("出厂默认");
    const QString en = QStringLiteral("Factory defaults");
    const QFont cnFace = face(13, true);
    const QFont enFace = face(11);
    const qreal w = c.advance(cn, cnFace) + 6 + c.advance(en, enFace) + 28;
    const QRectF pill(pictureWidth - 26 - w, 72, w, 26);
    c.roundRect(pill, 13, ink::tint, QColor(0xBF, 0xD8, 0xEE));
    const qreal end
        = c.run(QPointF(pill.left() + 14, pill.top() + 18), cn, cnFace, ink::brandDark, pill.right());
    c.run(QPointF(end + 6, pill.top() + 18), en, enFace, ink::muted, pill.right() - 12);
}

void actionCell(Canvas &c, qreal x, qreal midY, qreal limit, const KeyAction &a)
{
    const QFont chipFace = face(12, true);
    const qreal chipW = c.advance(a.chip, chipFace) + 18;
    const QRectF chip(x, midY - 12, chipW, 24);
    if (a.code)
        c.roundRect(chip, 5, QColor(0xF2, 0xF4, 0xF7), QColor(0xC3, 0xCC, 0xD6));
    else
        c.roundRect(chip, 5, ink::tint, QColor(0x9E, 0xC6, 0xE8));
    c.text(chip, a.chip, chipFace, a.code ? ink::text : ink::brandDark, Qt::AlignCenter);
    c.run(QPointF(chip.right() + 8, midY + 5), a.caption, face(12), QColor(0x4A, 0x57, 0x66), limit);
}

void table(Canvas &c)
{
    QPainter &p = c.painter();
    const QRectF card(196, 128, 558, 314);
    c.shadow(card, 8);
    c.roundRect(card, 8, ink::paper, ink::line);

    const qreal keyCol = card.left();
    const qreal clickCol = card.left() + 150;
    const qreal holdCol = card.left() + 354;
    const qreal headH = 32;
    QPainterPath headShape;
    headShape.addRoundedRect(QRectF(card.left(), card.top(), card.width(), headH + 8), 8, 8);
    p.save();
    p.setClipRect(QRectF(card.left(), card.top(), card.width(), headH));
    p.fillPath(headShape, ink::tint);
    p.restore();
    p.fillRect(QRectF(card.left(), card.top() + headH, card.width(), 1), ink::line);

    auto heading = [&](qreal x, const QString &cn, const QString &en, qreal limit) {
        const qreal end = c.run(QPointF(x + 14, card.top() + 21), cn, face(13, true), ink::navy, limit);
        c.run(QPointF(end + 6, card.top() + 21), en, face(11), ink::muted, limit);
    };
    heading(keyCol, QStringLiteral("按键"), QStringLiteral("Key"), clickCol);
    heading(clickCol, QStringLiteral("单击"), QStringLiteral("Click"), holdCol);
    heading(holdCol, QStringLiteral("长按"), QStringLiteral("Hold"), card.right());

    const QVector<KeyInfo> keys = penKeys();
    const qreal rowH = (card.height() - headH) / keys.size();
    for (int i = 0; i < keys.size(); ++i) {
        const KeyInfo &k = keys[i];
        const qreal top = card.top() + headH + i * rowH;
        const qreal mid = top + rowH / 2;
        if (i > 0)
            p.fillRect(QRectF(card.left() + 10, top, card.width() - 20, 1), QColor(0xEA, 0xEF, 0xF4));
        c.numberBadge(QPointF(keyCol + 26, mid), k.number, 11);
        c.run(QPointF(keyCol + 44, mid - 1), k.nameCn, face(14, true), ink::text, clickCol - 4);
        c.run(QPointF(keyCol + 44, mid + 14), k.nameEn, face(11), ink::muted, clickCol - 4);
        actionCell(c, clickCol + 14, mid, holdCol - 6, k.click);
        actionCell(c, holdCol + 14, mid, card.right() - 8, k.hold);
    }
    p.fillRect(QRectF(clickCol, card.top() + 6, 1, card.height() - 12), QColor(0xEA, 0xEF, 0xF4));
    p.fillRect(QRectF(holdCol, card.top() + 6, 1, card.height() - 12), QColor(0xEA, 0xEF, 0xF4));
}

void modes(Canvas &c)
{
    const QVector<ModeInfo> list = penModes();
    const qreal left = 196;
    const qreal width = 558;
    const qreal gap = 8;
    const qreal chipW = (width - gap * (list.size() - 1)) / list.size();
    for (int i = 0; i < list.size(); ++i) {
        const ModeInfo &m = list[i];
        const QRectF chip(left + i * (chipW + gap), 454, chipW, 50);
        c.roundRect(chip, 8, ink::paper, ink::line);
        c.glyphBadge(QPointF(chip.left() + 25, chip.center().y()), 15, m.colour, m.glyph, 16);
        c.run(QPointF(chip.left() + 48, chip.top() + 23), m.nameCn, face(14, true), ink::text,
            chip.right() - 6);
        c.run(QPointF(chip.left() + 48, chip.top() + 40), m.nameEn, face(11), ink::muted, chip.right() - 6);
    }
    const qreal y = 530;
    qreal x = c.run(QPointF(left + 2, y), QStringLiteral("单击模式键 ⑤ 依次切换四种模式"), face(13),
        QColor(0x3A, 0x47, 0x56), left + width);
    c.run(QPointF(x + 10, y), QStringLiteral("Press key 5 to step through the four modes."), face(11),
        ink::muted, left + width);
}

} // namespace

void paintShortcuts(const QString &path)
{
    Canvas c(pictureWidth, pictureHeight, path, QImage::Format_RGB32);
    QPainter &p = c.painter();
    p.fillRect(QRect(0, 0, pictureWidth, pictureHeight), ink::page);
    header(c);

    const PenKeys keys = drawPen(c, QRectF(108 - 26, 128, 52, 360));
    drawKeyCallouts(c, keys, 44, 190, 34, 11);
    table(c);
    modes(c);

    // Nothing may be drawn where the window never shows it.
    const QImage img = c.image();
    for (int y : { 0, int(seenTop) - 1, int(seenBottom) + 1, pictureHeight - 1 })
        for (int x = 0; x < pictureWidth; ++x)
            if (img.pixel(x, y) != ink::page.rgb()) {
                faults() << QStringLiteral("shortcuts: row %1 is outside the seen part but drawn on").arg(y);
                break;
            }
    c.save(path, "JPG", 92);
}
