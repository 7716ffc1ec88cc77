// The raw hexadecimal editor of the 48 mapping bytes.
#pragma once

#include <QDialog>

class Widget;

class HightDialog : public QDialog
{
    Q_OBJECT

public:
    explicit HightDialog(Widget *parent);
    ~HightDialog() override;

    void showValues();

private slots:
    void onHightSetting();

private:
    Widget *mainWidget = nullptr;
};
