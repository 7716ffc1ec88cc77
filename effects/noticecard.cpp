#include "noticecard.h"

#include "core/noticehelper.h"

#include <QPainter>
#include <QPixmap>

namespace notice {

Card::Card(const QString &text_)
    : text(text_)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    setFixedSize(noticehelper::kWidth, noticehelper::kHeight);
}

void Card::paintEvent(QPaintEvent *)
{
    // Drawn whole, then laid on half transparent: the text shows the card
    // through it as much as the card shows what lies beneath.
    QPixmap whole(size());
    whole.fill(QColor(0xef, 0xef, 0xef));
    QPainter card(&whole);
    card.setPen(Qt::red);
    card.setFont(QFont(QStringLiteral("Microsoft YaHei"), 16, QFont::Bold));
    card.drawText(whole.rect(), Qt::AlignCenter, text);
    card.end();

    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(0.5);
    painter.drawPixmap(0, 0, whole);
}

} // namespace notice
