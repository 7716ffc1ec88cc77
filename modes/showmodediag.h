// The small notice naming the presentation mode chosen on the pen.
#pragma once

#include <QDialog>

class Widget;

class ShowModeDiag : public QDialog
{
    Q_OBJECT

public:
    explicit ShowModeDiag(Widget *parent);
    ~ShowModeDiag() override;

    void setModeText(const QString &text);

private:
    Widget *owner = nullptr;
};
