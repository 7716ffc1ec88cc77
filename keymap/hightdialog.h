// The raw hexadecimal editor of the 48 mapping bytes. Where the main window's
// combo boxes offer only the named actions, this reaches every byte value.
// It edits the main window's mapping image directly and keeps nothing of its
// own but the form.
#pragma once

#include <QDialog>
#include <QList>

class QLineEdit;
class Widget;

namespace Ui {
class HightDialog;
}

class HightDialog : public QDialog
{
    Q_OBJECT

public:
    explicit HightDialog(Widget *parent);
    ~HightDialog() override;

    // Shows the image's current bytes, dropping whatever was typed since.
    void showValues();

    // The 48 fields in mapping-slot order.
    const QList<QLineEdit *> &fields() const { return lineEditList; }

private slots:
    void onHightSetting();

private:
    Ui::HightDialog *ui = nullptr;
    Widget *mainWidget = nullptr;
    QList<QLineEdit *> lineEditList;
};
