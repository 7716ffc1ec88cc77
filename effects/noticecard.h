// The mode notice as quorvant-notice draws it: the text in red bold on a pale
// card, 300 by 100 pixels, all of it half transparent, as GNOME Shell draws
// it for the program too.
#pragma once

#include <QWidget>

namespace notice {

class Card : public QWidget
{
public:
    explicit Card(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString text;
};

} // namespace notice
