// The in-process spotlight overlay: a veil over the desktop with a clear
// circle that follows the pointer.
#pragma once

#include <QDialog>

class Widget;

class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(Widget *parent);
    ~Dialog() override;

private:
    Widget *owner = nullptr;
};
