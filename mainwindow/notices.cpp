#include "mainwindow/widget.h"

#include "modes/showmodediag.h"

void Widget::onSetLazer()
{
    showNotice(tr("Electronic laser"));
}

void Widget::onSetMagnify()
{
    showNotice(tr("Magnifier"));
}

void Widget::onSetSpotLight()
{
    showNotice(tr("Spotlight"));
}

void Widget::onSetNormalUse()
{
    showNotice(tr("Normal use"));
}

void Widget::showNotice(const QString &text)
{
    if (!modeDiag)
        modeDiag = new ShowModeDiag(this);
    // Setting the flags again hides a notice that is up; showing it after
    // brings it back in front of whatever came up meanwhile.
    modeDiag->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    modeDiag->setModeText(text);
    modeDiag->show();
    update();
}
