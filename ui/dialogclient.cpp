#include "ui/dialogclient.h"

#include "mainwindow/widget.h"

DialogClient::DialogClient(Widget *parent)
    : QDialog(parent)
    , mainWidget(parent)
{
}

DialogClient::~DialogClient() = default;

void DialogClient::onExit()
{
    hide();
    update();
}
