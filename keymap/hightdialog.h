// The raw hexadecimal editor of the 48 mapping bytes. Where the main window's
// combo boxes offer only the named actions, this reaches every byte value.
// It is handed the mapping it edits and keeps nothing of its own but the form.
#pragma once

#include <QDialog>
#include <QList>

class KeyMapping;
class QLineEdit;

namespace Ui {
class HightDialog;
}

class HightDialog : public QDialog
{
    Q_OBJECT

public:
    HightDialog(KeyMapping *mapping, QWidget *parent = nullptr);
    ~HightDialog() override;

    // Shows the mapping's current bytes, dropping whatever was typed since.
    void showValues();

private slots:
    void onHightSetting();

private:
    Ui::HightDialog *ui = nullptr;
    KeyMapping *mapping = nullptr;
    QList<QLineEdit *> lineEditList;
};
