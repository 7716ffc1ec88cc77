#include "modes/showmodediag.h"

#include "mainwindow/widget.h"

ShowModeDiag::ShowModeDiag(Widget *parent)
    : QDialog(parent)
    , owner(parent)
{
}

ShowModeDiag::~ShowModeDiag() = default;

void ShowModeDiag::setModeText(const QString &) {}
