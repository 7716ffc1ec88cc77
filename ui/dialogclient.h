// The navigation window the tray opens.
#pragma once

#include <QDialog>

class Widget;

class DialogClient : public QDialog
{
    Q_OBJECT

public:
    explicit DialogClient(Widget *parent);
    ~DialogClient() override;

private slots:
    void onExit();

private:
    Widget *mainWidget = nullptr;
};
