// The small notice naming the presentation mode chosen on the pen. It is
// built once, hidden, and brought up for about two seconds per notice.
#pragma once

#include <QDialog>
#include <QTimer>

class Widget;

namespace Ui {
class ShowModeDiag;
}

class ShowModeDiag : public QDialog
{
    Q_OBJECT

public:
    explicit ShowModeDiag(Widget *parent);
    ~ShowModeDiag() override;

    // Puts the text up in the notice's style and starts the count again. The
    // caller shows the notice.
    void setModeText(const QString &text);

public slots:
    void timerDone();

private:
    Ui::ShowModeDiag *ui = nullptr;
    Widget *owner = nullptr;
    // Runs only while a notice is up, so an idle program has no timer here.
    QTimer countdown;
};
