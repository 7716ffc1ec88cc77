#include "content.h"
#include "pen.h"
#include "pictures.h"

#include <QPainterPath>

// The navigation window shows this page unscaled below its 50-pixel title
// bar, in an area of exactly 850 x 500.

namespace {

constexpr int pageWidth = 850;
constexpr int pageHeight = 500;
constexpr qreal headerBottom = 60;
constexpr qreal footerTop = 432;

void header(Canvas &c)
{
    QPainter &p = c.painter();
    const QFont title = face(24, true);
    const qreal titleEnd = c.run(QPointF(24, 40), QStringLiteral("功能导航"), title, ink::navy, 200);
    c.run(QPointF(titleEnd + 12, 40), QStringLiteral("Function Navigation"), face(15), ink::muted, 420);

    const QFont brandFace = face(15, true);
    const QFont small = face(13);
    const QString brand = QStringLiteral("Quorvant");
    const QString product = QStringLiteral("激光演示笔 · 快速指南");
    const qreal right = pageWidth - 24;
    const qreal productStart = right - c.advance(product, small);
    c.run(QPointF(productStart, 39), product, small, ink::muted, right);
    c.run(QPointF(productStart - 8 - c.advance(brand, brandFace), 39), brand, brandFace, ink::brand,
        productStart - 8);

    p.fillRect(QRectF(0, headerBottom - 1, pageWidth, 1), ink::line);
    p.fillRect(QRectF(24, headerBottom - 3, titleEnd - 24, 3), ink::brand);
}

void sectionTitle(Canvas &c, qreal x, qreal baseline, const QString &cn, const QString &en, qreal limit)
{
    const qreal end = c.run(QPointF(x, baseline), cn, face(16, true), ink::navy, limit);
    c.run(QPointF(end + 8, baseline), en, face(12), ink::muted, limit);
}

void penPanel(Canvas &c)
{
    QPainter &p = c.painter();
    QLinearGradient g(0, headerBottom, 0, footerTop);
    g.setColorAt(0, ink::tint);
    g.setColorAt(1, QColor(0xF7, 0xFA, 0xFD));
    p.fillRect(QRectF(0, headerBottom, 190, footerTop - headerBottom), g);

    const PenKeys keys = drawPen(c, QRectF(100 - 25, 78, 50, 340));
    drawKeyCallouts(c, keys, 44, 150, 32, 10);
}

void keyChip(Canvas &c, const QPointF &centre, const KeyInfo &k)
{
    QPainter &p = c.painter();
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(ink::graphite);
    p.drawEllipse(centre, 12, 12);
    p.restore();
    if (k.glyph.isNull())
        c.text(QRectF(centre.x() - 12, centre.y() - 12, 24, 24), QStringLiteral("M"), face(13, true),
            Qt::white, Qt::AlignCenter);
    else
        c.icon(centre, k.glyph, k.glyph == glyph::dotCircle ? 15 : 11, Qt::white);
}

void keyList(Canvas &c)
{
    QPainter &p = c.painter();
    const qreal left = 206;
    const qreal right = 514;
    sectionTitle(c, left, 90, QStringLiteral("按键功能"), QStringLiteral("Keys"), right);

    const QVector<KeyInfo> keys = penKeys();
    const qreal top = 102;
    const qreal rowHeight = 54;
    for (int i = 0; i < keys.size(); ++i) {
        const KeyInfo &k = keys[i];
        const qreal y = top + i * rowHeight;
        if (i > 0)
            p.fillRect(QRectF(left, y, right - left, 1), QColor(0xEA, 0xEF, 0xF4));
        c.numberBadge(QPointF(left + 11, y + 17), k.number, 10);
        keyChip(c, QPointF(left + 40, y + 17), k);
        const qreal textX = left + 62;
        const qreal nameEnd = c.run(QPointF(textX, y + 22), k.nameCn, face(15, true), ink::text, right);
        c.run(QPointF(nameEnd + 8, y + 22), k.nameEn, face(12), ink::muted, right);
        c.run(QPointF(textX, y + 38), k.doesCn, face(13), QColor(0x3A, 0x47, 0x56), right);
        c.run(QPointF(textX, y + 51), k.doesEn, face(11), ink::muted, right);
    }
}

void modeCards(Canvas &c)
{
    QPainter &p = c.painter();
    const qreal left = 530;
    const qreal right = 826;
    sectionTitle(c, left, 90, QStringLiteral("演示模式"), QStringLiteral("Presentation modes"), right);

    const QVector<ModeInfo> modes = penModes();
    const qreal cardW = 144;
    const qreal cardH = 100;
    const qreal gap = right - left - 2 * cardW;
    for (int i = 0; i < modes.size(); ++i) {
        const ModeInfo &m = modes[i];
        const QRectF card(left + (i % 2) * (cardW + gap), 104 + (i / 2) * (cardH + 8), cardW, cardH);
        c.shadow(card, 8);
        c.roundRect(card, 8, ink::paper, ink::line);
        QPainterPath outline;
        outline.addRoundedRect(card, 8, 8);
        p.save();
        p.setClipPath(outline);
        p.fillRect(QRectF(card.left(), card.top(), card.width(), 3), m.colour);
        p.restore();
        c.glyphBadge(card.topLeft() + QPointF(26, 28), 16, m.colour, m.glyph, 17);
        c.run(card.topLeft() + QPointF(50, 26), m.nameCn, face(15, true), ink::text, card.right() - 6);
        c.run(card.topLeft() + QPointF(50, 43), m.nameEn, face(11), ink::muted, card.right() - 6);
        c.text(QRectF(card.left() + 10, card.top() + 52, card.width() - 20, 18), m.doesCn, face(12),
            QColor(0x3A, 0x47, 0x56));
        c.text(QRectF(card.left() + 10, card.top() + 70, card.width() - 20, 30), m.doesEn, face(11),
            ink::muted, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
    }

    // How to change mode, with the cycle drawn out.
    const QRectF box(left, 322, right - left, 100);
    c.roundRect(box, 8, ink::tint, QColor(0xCF, 0xE1, 0xF1));
    const qreal titleEnd = c.run(
        box.topLeft() + QPointF(12, 21), QStringLiteral("切换模式"), face(14, true), ink::navy, box.right());
    c.run(QPointF(titleEnd + 8, box.top() + 21), QStringLiteral("Switching modes"), face(11), ink::muted,
        box.right() - 10);

    qreal x = box.left() + 12;
    const qreal flowY = box.top() + 43;
    for (int i = 0; i < modes.size(); ++i) {
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(modes[i].colour);
        p.drawEllipse(QPointF(x + 4, flowY - 4.5), 4, 4);
        p.restore();
        x = c.run(QPointF(x + 11, flowY), modes[i].nameCn, face(12, true), ink::text, box.right() - 10);
        const QString arrow = i + 1 < modes.size() ? QStringLiteral("→") : QStringLiteral("↺");
        x = c.run(QPointF(x + 3, flowY), arrow, face(12), ink::muted, box.right() - 10) + 4;
    }
    c.run(QPointF(box.left() + 12, box.top() + 64),
        QStringLiteral("单击模式键 ⑤ 换到下一种，屏幕上方提示模式名称"), face(12), QColor(0x3A, 0x47, 0x56),
        box.right() - 8);
    c.text(QRectF(box.left() + 12, box.top() + 69, box.width() - 20, 28),
        QStringLiteral("Press key 5 for the next mode; its name shows at the top of the screen."), face(11),
        ink::muted, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap);
}

void footer(Canvas &c, const QString &absentIcon, const QString &presentIcon)
{
    QPainter &p = c.painter();
    const QRectF strip(0, footerTop, pageWidth, pageHeight - footerTop);
    p.fillRect(strip, QColor(0xF1, 0xF5, 0xF9));
    p.fillRect(QRectF(0, footerTop, pageWidth, 1), ink::line);

    const qreal mid = strip.center().y();
    c.run(QPointF(24, mid - 3), QStringLiteral("托盘图标"), face(14, true), ink::navy, 110);
    c.run(QPointF(24, mid + 15), QStringLiteral("Tray icon"), face(11), ink::muted, 110);

    auto state = [&](qreal x, const QString &iconPath, const QString &cn, const QString &en, qreal limit) {
        const QImage icon(iconPath);
        if (icon.isNull())
            faults() << QStringLiteral("guide: cannot read %1").arg(iconPath);
        p.drawImage(QRectF(x, mid - 16, 32, 32), icon);
        c.run(QPointF(x + 40, mid - 3), cn, face(13, true), ink::text, limit);
        c.run(QPointF(x + 40, mid + 15), en, face(11), ink::muted, limit);
    };
    state(118, presentIcon, QStringLiteral("接收器已插入"), QStringLiteral("Receiver plugged in"), 300);
    state(312, absentIcon, QStringLiteral("未检测到接收器"), QStringLiteral("Receiver not found"), 494);

    p.fillRect(QRectF(510, mid - 20, 1, 40), ink::line);
    c.run(QPointF(528, mid - 3), QStringLiteral("单击托盘图标打开本页，右键菜单可退出程序"), face(13),
        ink::text, 826);
    c.run(QPointF(528, mid + 15), QStringLiteral("Click the tray icon for this page; right-click to exit."),
        face(11), ink::muted, 826);
}

} // namespace

void paintGuide(const QString &path, const QString &absentIcon, const QString &presentIcon)
{
    Canvas c(pageWidth, pageHeight, path, QImage::Format_RGB32);
    c.painter().fillRect(QRect(0, 0, pageWidth, pageHeight), ink::paper);
    header(c);
    penPanel(c);
    keyList(c);
    modeCards(c);
    footer(c, absentIcon, presentIcon);
    c.save(path);
}
