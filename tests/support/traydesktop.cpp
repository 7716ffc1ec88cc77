#include "support/traydesktop.h"

#include <QApplication>
#include <QLabel>

namespace testsupport {

namespace {

QWidget *balloonWidget()
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->isVisible() && qstrcmp(top->metaObject()->className(), "QBalloonTip") == 0)
            return top;
    return nullptr;
}

} // namespace

QStringList visibleBalloon()
{
    QStringList texts;
    if (QWidget *balloon = balloonWidget()) {
        // The title label comes first, then the message.
        for (const QLabel *label : balloon->findChildren<QLabel *>())
            if (!label->text().isEmpty())
                texts << label->text();
    }
    return texts;
}

void dismissBalloons()
{
    while (QWidget *balloon = balloonWidget())
        balloon->hide();
}

} // namespace testsupport
