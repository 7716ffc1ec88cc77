// The small notice naming the presentation mode chosen on the pen. It is
// built once, hidden, and brought up for about two seconds per notice, on
// the screen that holds the pointer. It never takes the focus: the presenter
// keeps typing into the slide show while it is up.
#pragma once

#include <QDialog>
#include <QTimer>

namespace Ui {
class ShowModeDiag;
}

class ShowModeDiag : public QDialog
{
    Q_OBJECT

public:
    // Up for about two seconds; within 1.8 to 2.0, where a notice has always gone.
    static constexpr int kVisibleMs = 1900;

    explicit ShowModeDiag(QWidget *parent = nullptr);
    ~ShowModeDiag() override;

    // Puts the text up in the notice's style, on the pointer's screen, and
    // starts the count again.
    void setModeText(const QString &text);

    // Sets the text and shows the notice in front of whatever came up since
    // the last one.
    void showText(const QString &text);

public slots:
    void timerDone();

private:
    void setNoticeWindowKind();

    Ui::ShowModeDiag *ui = nullptr;
    // Runs only while a notice is up, so an idle program has no timer here.
    QTimer countdown;
};
